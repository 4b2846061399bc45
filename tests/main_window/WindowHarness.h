#pragma once

#include "ball_table/Baza.h"
#include "common/BallFileBytes.h"
#include "common/FakePlatform.h"
#include "common/ProgramFile.h"
#include "main_window/BallList.h"
#include "main_window/FrmMain.h"
#include "pipeline/compression/ZlibStream.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

// The real main window on a throw-away application folder, with recording
// message boxes, a scripted open dialog and, unless a test asks for the real
// zlibtool, a stand-in tool that runs in the test's own process.
class WindowHarness {
    // First, so that they go last: the window holds files in its working
    // folder while it lives, and Windows removes no folder with a file open.
    QTemporaryDir m_appDir;
    QTemporaryDir m_gameDir;

public:
    enum class Tool { Scripted, Real };

    explicit WindowHarness(Tool tool = Tool::Scripted) {
        QDir(m_appDir.path()).mkpath(QStringLiteral("zlib/temp"));
        if (tool == Tool::Scripted) {
            fake.processes.replacement = &scriptedTool;
        } else {
            // The built tool, copied beside a window of the test's own, so
            // that tests running at once never share a working folder.
            const QString tool = QStringLiteral("/zlib/") + QFileInfo(builtTool()).fileName();
            if (!QFile::copy(builtTool(), m_appDir.path() + tool))
                qWarning("zlibtool could not be copied from %s", qPrintable(builtTool()));
        }
        window = std::make_unique<FrmMain>(fake.platform, appPath());
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            qWarning("the window was not exposed");
    }

    static QString builtTool() {
        return programFile(qEnvironmentVariable("VESTREL_BUILD_DIR") + QStringLiteral("/zlib/zlibtool"));
    }
    // A copy of the sample game file that tests may change.
    QString copySample(const QString& name) {
        const QString path = m_gameDir.filePath(name);
        QFile::copy(qEnvironmentVariable("VESTREL_SOURCE_DIR") + QStringLiteral("/samples/unnamed_1964.bin"),
                    path);
        return path;
    }

    QString appPath() const { return QDir::toNativeSeparators(m_appDir.path()) + QDir::separator(); }
    QString workingFolder() const { return m_appDir.path() + QStringLiteral("/zlib/temp"); }

    template <class Widget> Widget* find(const char* name) const {
        auto* widget = window->findChild<Widget*>(QLatin1String(name));
        if (!widget)
            qFatal("no control named %s", name);
        return widget;
    }
    QLineEdit* txt(int index) const {
        return find<QLineEdit>(qPrintable(QStringLiteral("Txt%1").arg(index)));
    }
    QLineEdit* textId() const { return find<QLineEdit>("TextID"); }
    QString label1() const { return find<QLabel>("Label1")->text(); }
    QString label2() const { return find<QLabel>("Label2")->text(); }
    QAction* action(const char* name) const { return find<QAction>(name); }
    BallListView* list() const { return find<BallListView>("List1"); }

    QStringList listLines() const {
        QStringList lines;
        for (int row = 0; row < window->ListCount(); ++row)
            lines << window->ListItem(row);
        return lines;
    }

    // A game file as the scripted tool reads it.
    QString writeGameFile(const QString& name, const std::vector<Ball>& balls) {
        QByteArray unpacked = BallFileBytes::header(static_cast<std::int32_t>(balls.size() * 72));
        for (const Ball& ball : balls)
            unpacked +=
                BallFileBytes::record(ball.Nazwa.toLatin1(), ball.ID, ball.Mode, ball.Mode2, ball.Pole);
        return writeRawGameFile(name, packed(unpacked));
    }
    QString writeRawGameFile(const QString& name, const QByteArray& bytes) {
        const QString path = m_gameDir.filePath(name);
        BallFileBytes::writeFile(path, bytes);
        return path;
    }
    // The table inside a game file written by the scripted tool.
    Baza readGameFile(const QString& path) const {
        const QString unpacked = m_gameDir.filePath(QStringLiteral("check.unzlib"));
        BallFileBytes::writeFile(unpacked, unpack(BallFileBytes::readFile(path)));
        Baza table;
        table.Wczytaj(unpacked);
        return table;
    }

    // File > Open with the dialog answering `path` (an empty text cancels).
    void open(const QString& path) {
        fake.fileDialog.answers.push_back(path);
        action("MnuFileOpen")->trigger();
    }

    void clickRow(int row, Qt::MouseButton button = Qt::LeftButton) const {
        BallListView* view = list();
        const QRect item = view->visualRect(view->model()->index(row, 0));
        QTest::mouseClick(view->viewport(), button, Qt::NoModifier, item.center());
    }

    // Replaces a box's text the way a user does: select all, then type.
    static void retype(QLineEdit* box, const QString& text) {
        box->setFocus();
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Delete);
        QTest::keyClicks(box, text);
    }

    std::vector<ShownMessage>& messages() { return fake.messages.shown; }

    FakePlatform fake;
    std::unique_ptr<FrmMain> window;

    // A game file's bytes and back, as the stand-in tool makes and reads them.
    static QByteArray packed(const QByteArray& bytes) {
        const compression::Result stream = compression::compress(
            {reinterpret_cast<const unsigned char*>(bytes.constData()), std::size_t(bytes.size())});
        return QByteArray(reinterpret_cast<const char*>(stream.data.data()), qsizetype(stream.data.size()));
    }
    static QByteArray unpack(const QByteArray& bytes) {
        const compression::Result table = compression::decompress(
            {reinterpret_cast<const unsigned char*>(bytes.constData()), std::size_t(bytes.size())});
        return QByteArray(reinterpret_cast<const char*>(table.data.data()), qsizetype(table.data.size()));
    }

private:
    // "zlibtool": `<file> -d` unpacks <file> into <file>.unzlib, `<file>`
    // packs it into <file>.zlib, with the stream code the real tool uses; a
    // file it cannot unpack fails with 1.
    static int scriptedTool(const QString&, const QStringList& arguments) {
        if (arguments.isEmpty())
            return 2;
        const QByteArray input = BallFileBytes::readFile(arguments.first());
        if (arguments.size() == 2 && arguments.at(1) == QLatin1String("-d")) {
            const QByteArray unpacked = unpack(input);
            if (unpacked.isEmpty())
                return 1;
            return BallFileBytes::writeFile(arguments.first() + QStringLiteral(".unzlib"), unpacked) ? 0 : 1;
        }
        return BallFileBytes::writeFile(arguments.first() + QStringLiteral(".zlib"), packed(input)) ? 0 : 1;
    }
};

inline Ball ball(const QString& name, std::int16_t id, std::int16_t producer, std::int16_t mode,
                 std::int16_t pole = 0) {
    return Ball{name, id, producer, mode, pole};
}
