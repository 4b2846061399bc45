#include "common/FakePlatform.h"
#include "common/ProgramFile.h"
#include "pipeline/Scn_Process.h"

#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

// The real runs start a program of the suite that does the steps it is given.
QString probe() {
    return QStringLiteral("\"%1\"").arg(
        programFile(qEnvironmentVariable("VESTREL_BUILD_DIR") + "/tests/process_probe"));
}

} // namespace

class ScnProcessTest : public QObject {
    Q_OBJECT
private slots:
    void splitsLikeWindows_data();
    void splitsLikeWindows();
    void runsProgramWithItsArgumentsAndGivesExitCode();
    void startsNothingForAnEmptyCommandLine();
    void runsRealProgramsWithoutShell();
    // Last: once told to quit, the application runs no further event loops.
    void waitsForTheProgramEvenWhenTheApplicationQuits();
};

void ScnProcessTest::splitsLikeWindows_data() {
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QStringList>("pieces");

    QTest::newRow("decompress line") << R"("/opt/Ed/zlib/zlibtool" "/opt/Ed/zlib/temp/unnamed_1964.bin" -d)"
                                     << QStringList{"/opt/Ed/zlib/zlibtool",
                                                    "/opt/Ed/zlib/temp/unnamed_1964.bin", "-d"};
    QTest::newRow("windows backslashes stay")
        << R"("C:\Tools\Ed\zlib\zlibtool.exe" "C:\Tools\Ed\zlib\temp\unnamed_1964.bin.unzlib")"
        << QStringList{R"(C:\Tools\Ed\zlib\zlibtool.exe)",
                       R"(C:\Tools\Ed\zlib\temp\unnamed_1964.bin.unzlib)"};
    QTest::newRow("blanks inside quotes")
        << R"("/my tools/zlibtool" "/my games/ball file.bin" -d)"
        << QStringList{"/my tools/zlibtool", "/my games/ball file.bin", "-d"};
    QTest::newRow("unquoted program, tabs and runs of blanks")
        << "tool \t a   b\t" << QStringList{"tool", "a", "b"};
    QTest::newRow("program name knows no escapes")
        << R"("C:\dir\"x y)" << QStringList{R"(C:\dir\)", "x", "y"};
    QTest::newRow("backslash before closing quote escapes it")
        << R"(p "C:\dir\" next)" << QStringList{"p", R"(C:\dir" next)"};
    QTest::newRow("two backslashes before a quote give one")
        << R"(p "C:\dir\\" next)" << QStringList{"p", R"(C:\dir\)", "next"};
    QTest::newRow("three backslashes give one and a quote") << R"(p a\\\"b)" << QStringList{"p", R"(a\"b)"};
    QTest::newRow("backslashes without quote are literal") << R"(p a\\b\)" << QStringList{"p", R"(a\\b\)"};
    QTest::newRow("doubled quote inside quotes") << R"(p "a""b" c)" << QStringList{"p", R"(a"b)", "c"};
    QTest::newRow("quoted part inside an argument") << R"(p a"b c"d)" << QStringList{"p", "ab cd"};
    QTest::newRow("empty quoted argument") << R"(p "" x)" << QStringList{"p", "", "x"};
    QTest::newRow("unclosed quote runs to the end") << R"(p "a b)" << QStringList{"p", "a b"};
    QTest::newRow("shell characters are plain text")
        << R"(p $(rm -rf x) ; `y` | z > w)"
        << QStringList{"p", "$(rm", "-rf", "x)", ";", "`y`", "|", "z", ">", "w"};
    QTest::newRow("empty") << "" << QStringList{};
    QTest::newRow("only blanks") << "   " << QStringList{};
}

void ScnProcessTest::splitsLikeWindows() {
    QFETCH(QString, commandLine);
    QFETCH(QStringList, pieces);
    QCOMPARE(Scn_Process::splitCommandLine(commandLine), pieces);
}

void ScnProcessTest::runsProgramWithItsArgumentsAndGivesExitCode() {
    RecordingProcessRunner runner;
    runner.replacement = [](const QString&, const QStringList&) { return 3; };
    Scn_Process process(runner);
    QCOMPARE(process.Run_Process(R"("/a b/tool" "/c d/file" -d)", 0), 3);
    QCOMPARE(runner.runs.size(), std::size_t(1));
    QCOMPARE(runner.runs[0].program, QString("/a b/tool"));
    QCOMPARE(runner.runs[0].arguments, (QStringList{"/c d/file", "-d"}));
}

void ScnProcessTest::startsNothingForAnEmptyCommandLine() {
    RecordingProcessRunner runner;
    runner.replacement = [](const QString&, const QStringList&) { return 0; };
    Scn_Process process(runner);
    QCOMPARE(process.Run_Process("", 0), -1);
    QCOMPARE(process.Run_Process(R"("" -d)", 0), -1);
    QVERIFY(runner.runs.empty());
}

void ScnProcessTest::runsRealProgramsWithoutShell() {
    RecordingProcessRunner runner(defaultPlatform().processes);
    Scn_Process process(runner);

    // The exit code comes back, and the window's events run while it waits.
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(10);
    QCOMPARE(process.Run_Process(probe() + " sleep 200 exit 7", 0), 7);
    timer.stop();
    QVERIFY(ticks > 0);

    // A missing program starts nothing.
    QCOMPARE(process.Run_Process(R"("/no/such/folder/zlibtool" "x" -d)", 0), -1);
    // A program killed by a signal has no exit code to report as a success.
    QCOMPARE(process.Run_Process(probe() + " crash", 0), -1);
    QCOMPARE(process.run(probe() + " crash").end, ProcessOutcome::End::Crashed);
    QCOMPARE(process.run(R"("/no/such/folder/zlibtool" "x" -d)").end, ProcessOutcome::End::NotStarted);
    // The program's error output comes back with its exit code; only its
    // end is kept when there is a lot of it. Its lines end in '\n' alone,
    // and UTF-8 letters arrive as they are, on Windows too.
    const ProcessOutcome failed = process.run(probe() + R"( stderr 100000 "zlibtool: no room" exit 3)");
    QCOMPARE(failed.code(), 3);
    QVERIFY2(failed.errorOutput.endsWith("zlibtool: no room\n"), qPrintable(failed.errorOutput.right(30)));
    QVERIFY(failed.errorOutput.size() <= 4096);
    QCOMPARE(process.run(probe() + " accented exit 1").errorOutput,
             QString("zlibtool: cannot open piłka żółta.bin\n"));

    // Arguments reach the program as they are: nothing is run by a shell,
    // neither a POSIX one nor Windows' cmd.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString marker = dir.filePath("marker");
    QCOMPARE(process.Run_Process(
                 probe() + QString(R"x( exit 0 "$(touch %1)" ; touch %1 & type nul > "%1")x").arg(marker), 0),
             0);
    QVERIFY(!QFile::exists(marker));

    // A file that cannot be run fails to start, and the wait ends at once.
    const QString notAProgram = programFile(dir.filePath("zlibtool"));
    QFile file(notAProgram);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("not a program");
    file.close();
    QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
    QCOMPARE(process.Run_Process(QString(R"("%1" "x" -d)").arg(notAProgram), 0), -1);
}

void ScnProcessTest::waitsForTheProgramEvenWhenTheApplicationQuits() {
    RecordingProcessRunner runner(defaultPlatform().processes);
    Scn_Process process(runner);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString done = dir.filePath("done");
    // A quit arriving while the tool runs ends the wait's event loop early;
    // the call must still return only once the program has ended, with its
    // own exit code rather than a success it never reported.
    QTimer::singleShot(50, [] { QCoreApplication::exit(0); });
    QCOMPARE(process.Run_Process(probe() + QString(R"( sleep 400 touch "%1" exit 5)").arg(done), 0), 5);
    QVERIFY(QFile::exists(done));
}

QTEST_GUILESS_MAIN(ScnProcessTest)
#include "scn_process_test.moc"
