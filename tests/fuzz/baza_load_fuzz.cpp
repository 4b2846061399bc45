// Feeds arbitrary bytes to the ball table as a .unzlib file. Whatever loads
// must survive a save and load again to the same table; whatever does not
// load must leave the table empty.

#include "ball_table/Baza.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

namespace {

const QString& workFolder() {
    // A folder in memory where the system has one: a file is written per run.
    static QTemporaryDir dir(QDir("/dev/shm").exists()
                                 ? QStringLiteral("/dev/shm/vestrel-fuzz-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/vestrel-fuzz-XXXXXX"));
    static const QString path = dir.path();
    return path;
}

void require(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString in = workFolder() + QStringLiteral("/in.unzlib");
    const QString out = workFolder() + QStringLiteral("/out.unzlib");
    {
        QFile file(in);
        require(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        require(file.write(reinterpret_cast<const char*>(data), qint64(size)) == qint64(size));
    }

    Baza baza;
    const bool loaded = baza.Wczytaj(in);
    require(baza.Loaded());
    if (!loaded) {
        require(baza.Count() == 0);
        require(!baza.Zapisz(out));
        return 0;
    }
    require(baza.Count() > 0);
    require(size >= 32 + std::size_t(baza.Count()) * 72);

    require(baza.Zapisz(out));
    require(QFileInfo(out).size() == 32 + qint64(baza.Count()) * 72);
    Baza again;
    require(again.Wczytaj(out));
    require(again.Count() == baza.Count());
    for (std::int32_t i = 0; i < baza.Count(); ++i) {
        require(again.Get_ID(i) == baza.Get_ID(i));
        require(again.Get_Mode(i) == baza.Get_Mode(i));
        require(again.Get_Mode2(i) == baza.Get_Mode2(i));
        require(again.Get_Pole(i) == baza.Get_Pole(i));
        // Every name byte comes back, the code page's holes included.
        require(again.Get_Nazwa(i) == baza.Get_Nazwa(i));
    }
    // Queries clamp whatever the index.
    require(baza.Get_ID(-1) == baza.Get_ID(0));
    require(baza.Get_ID(baza.Count() + 7) == baza.Get_ID(baza.Count() - 1));
    return 0;
}
