// vestrel-table's export and import of a full table (32,767 balls) in a
// compressed game file, run in-process, against the floor of the same work
// done with zlib alone. Export: read the game file, decompress it, write the
// decompressed bytes with one plain call. Import: compress the table, write
// the compressed bytes with one call and fdatasync them, since an import
// replaces the game file durably and no import can be faster than a synced
// write. Target: each within 2x. Both sides run alternately in the same
// iterations. Export also reports `synced_ratio` against a synced floor, and
// import `plain_ratio` against an unsynced one, to show what the sync costs.

#include "ball_table/BallFile.h"
#include "bench/FullBallTable.h"
#include "pipeline/compression/ZlibStream.h"
#include "tools/vestrel_table/Commands.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <string>

#include <unistd.h>

namespace {

constexpr double targetRatio = 2.0;
using Clock = std::chrono::steady_clock;

struct Fixture {
    QTemporaryDir dir;
    QByteArray table;
    QByteArray game;
    QString gamePath;
    QString csvPath;
    Fixture() {
        table = *BallFile::encode(fullBallTable());
        const auto packed = compression::compress(
            {reinterpret_cast<const unsigned char*>(table.constData()), std::size_t(table.size())});
        game = QByteArray(reinterpret_cast<const char*>(packed.data.data()), qsizetype(packed.data.size()));
        gamePath = dir.filePath("unnamed_1964.bin");
        csvPath = dir.filePath("balls.csv");
        vestrel_table::Output output;
        if (!write(gamePath, game, false) ||
            vestrel_table::run({"export", gamePath, "-o", csvPath}, output) != 0)
            std::abort();
    }
    static bool write(const QString& path, const QByteArray& bytes, bool sync) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered) &&
               file.write(bytes) == bytes.size() && (!sync || ::fdatasync(file.handle()) == 0);
    }
    static QByteArray read(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly | QIODevice::Unbuffered) ? file.readAll() : QByteArray();
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// `floor` is what the ratio is taken against; `other` is the same floor with
// the sync the other way round, reported under `otherName`.
void report(benchmark::State& state, double ours, double floor, double other, const char* floorText,
            const char* otherName) {
    const double ratio = ours / floor;
    const double n = double(state.iterations());
    state.counters["floor_ms"] = floor * 1e3 / n;
    state.counters["ratio"] = ratio;
    state.counters[std::string(otherName) + "_floor_ms"] = other * 1e3 / n;
    state.counters[std::string(otherName) + "_ratio"] = ours / other;
    char label[112];
    std::snprintf(label, sizeof label, "%.2fx of %s (target <= %.0fx): %s", ratio, floorText, targetRatio,
                  ratio <= targetRatio ? "ok" : "OVER");
    state.SetLabel(label);
}

// One round of the floor, written plainly and then synced: `work` is the
// zlib step, whose output goes to `plainOut` or `syncedOut`.
template <typename Work>
void timeFloors(benchmark::State& state, const Work& work, const QString& plainOut, const QString& syncedOut,
                double& plain, double& synced) {
    for (const bool sync : {false, true}) {
        const auto t0 = Clock::now();
        const compression::Result result = work();
        if (!result.ok() ||
            !Fixture::write(sync ? syncedOut : plainOut,
                            QByteArray::fromRawData(reinterpret_cast<const char*>(result.data.data()),
                                                    qsizetype(result.data.size())),
                            sync))
            state.SkipWithError("floor failed");
        (sync ? synced : plain) += seconds(Clock::now() - t0);
    }
}

void BM_TableExport(benchmark::State& state) {
    Fixture& f = fixture();
    const QString out = f.dir.filePath("export.csv");
    const QString floorOut = f.dir.filePath("floor.unzlib");
    const QString syncedOut = f.dir.filePath("synced.unzlib");
    double ours = 0, plain = 0, synced = 0;
    for (auto _ : state) {
        timeFloors(
            state,
            [&f] {
                const QByteArray packed = Fixture::read(f.gamePath);
                return compression::decompress(
                    {reinterpret_cast<const unsigned char*>(packed.constData()), std::size_t(packed.size())});
            },
            floorOut, syncedOut, plain, synced);
        const auto t1 = Clock::now();
        vestrel_table::Output output;
        if (vestrel_table::run({"export", f.gamePath, "-o", out}, output) != 0)
            state.SkipWithError("export failed");
        const auto t2 = Clock::now();
        ours += seconds(t2 - t1);
        state.SetIterationTime(seconds(t2 - t1));
    }
    report(state, ours, plain, synced, "zlib and one plain write", "synced");
}

void BM_TableImport(benchmark::State& state) {
    Fixture& f = fixture();
    const QString floorOut = f.dir.filePath("floor.bin");
    const QString syncedOut = f.dir.filePath("synced.bin");
    double ours = 0, plain = 0, synced = 0;
    for (auto _ : state) {
        timeFloors(
            state,
            [&f] {
                return compression::compress({reinterpret_cast<const unsigned char*>(f.table.constData()),
                                              std::size_t(f.table.size())});
            },
            floorOut, syncedOut, plain, synced);
        const auto t1 = Clock::now();
        vestrel_table::Output output;
        if (vestrel_table::run({"import", f.gamePath, f.csvPath}, output) != 0)
            state.SkipWithError("import failed");
        const auto t2 = Clock::now();
        ours += seconds(t2 - t1);
        state.SetIterationTime(seconds(t2 - t1));
    }
    if (Fixture::read(f.gamePath) != f.game)
        state.SkipWithError("the import changed the table");
    report(state, ours, synced, plain, "zlib and one synced write", "plain");
}

} // namespace

BENCHMARK(BM_TableExport)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TableImport)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
