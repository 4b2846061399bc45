#include "TableTool.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <windows.h>

#include <string>

// What vestrel-table and zlibtool show in a Windows console, as a user in
// cmd sees it: Polish letters right whatever the console's code page, in
// names and in file names. (Written as UTF-8 bytes, code page 852 showed
// "Złota Piłka" as "Z┼éota Pi┼éka" and 1250 as "ZĹ‚ota PiĹ‚ka".) The test
// opens a console of its own, which needs a desktop: under wine, an X
// display.
class VestrelTableConsoleTest : public QObject {
    Q_OBJECT

    HANDLE m_console = INVALID_HANDLE_VALUE;
    static constexpr SHORT width = 300;
    static constexpr SHORT height = 50;

    static QString quoted(const QString& path) { return u'"' + QDir::toNativeSeparators(path) + u'"'; }

    // Runs a command line with its output going to the console, and gives
    // back what the console then shows, one line per row.
    QString shown(const QString& commandLine) {
        DWORD done = 0;
        FillConsoleOutputCharacterW(m_console, L' ', DWORD(width) * height, {0, 0}, &done);
        SetConsoleCursorPosition(m_console, {0, 0});
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = m_console;
        startup.hStdError = m_console;
        PROCESS_INFORMATION process{};
        std::wstring line = commandLine.toStdWString();
        if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
            return QStringLiteral("cannot start: ") + commandLine;
        WaitForSingleObject(process.hProcess, 60000);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
        QString text;
        for (SHORT row = 0; row < height; ++row) {
            std::wstring cells(std::size_t(width), L' ');
            ReadConsoleOutputCharacterW(m_console, cells.data(), DWORD(width), {0, row}, &done);
            const QString shownRow = QString::fromStdWString(cells).trimmed();
            if (!shownRow.isEmpty())
                text += shownRow + u'\n';
        }
        return text;
    }

private slots:
    void initTestCase() {
        QVERIFY(QFileInfo(TableTool::program()).isExecutable());
        // The test's own output stays where it goes; only the programs it
        // starts write to the console.
        FreeConsole();
        QVERIFY2(AllocConsole(), "no console: a desktop (an X display under wine) is needed");
        SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
        m_console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                &inherited, OPEN_EXISTING, 0, nullptr);
        QVERIFY(m_console != INVALID_HANDLE_VALUE);
        QVERIFY(SetConsoleScreenBufferSize(m_console, {width, height}));
    }

    void cleanupTestCase() {
        if (m_console != INVALID_HANDLE_VALUE)
            CloseHandle(m_console);
        FreeConsole();
    }

    void polishLettersShowInAnyCodePage_data() {
        QTest::addColumn<uint>("codePage");
        QTest::newRow("1250 (Windows' Central European)") << 1250u;
        QTest::newRow("852 (the console's Central European)") << 852u;
    }
    void polishLettersShowInAnyCodePage() {
        QFETCH(uint, codePage);
        QVERIFY(SetConsoleOutputCP(codePage));
        const QTemporaryDir dir;
        const QString game = dir.filePath(QStringLiteral("Łódź.bin"));
        // Names in the file's code page, Windows-1250.
        QVERIFY(BallFileBytes::writeFile(game, TableTool::table({{"Z\xB3ota Pi\xB3ka", 1}, {"\xAF\xF3\xB3w", 2}})));
        const QString tool = QDir::toNativeSeparators(TableTool::program());
        const QString list = shown(quoted(tool) + QStringLiteral(" list ") + quoted(game));
        QVERIFY2(list.startsWith(QStringLiteral("1 : Złota Piłka")) && list.contains(QStringLiteral("2 : Żółw")),
                 qPrintable(list));

        const QString missing = dir.filePath(QStringLiteral("Żółta Piłka.bin"));
        const QString refused = shown(quoted(tool) + QStringLiteral(" list ") + quoted(missing));
        QVERIFY2(refused.contains(QStringLiteral("Żółta Piłka.bin: no such file")), qPrintable(refused));
        const QString zlibtool = QDir::toNativeSeparators(
            programFile(qEnvironmentVariable("VESTREL_BUILD_DIR") + QStringLiteral("/zlib/zlibtool")));
        const QString toolRefused = shown(quoted(zlibtool) + u' ' + quoted(missing) + QStringLiteral(" -d"));
        QVERIFY2(toolRefused.startsWith(QStringLiteral("zlibtool: ")) &&
                     toolRefused.contains(QStringLiteral("Żółta Piłka.bin")),
                 qPrintable(toolRefused));
    }
};

QTEST_GUILESS_MAIN(VestrelTableConsoleTest)
#include "vestrel_table_console_test.moc"
