#include "ball_table/Baza.h"
#include "common/FakePlatform.h"
#include "common/ToolFolder.h"
#include "pipeline/GameFilePipeline.h"

#include <QCoreApplication>
#include <QTest>

// One application folder with the real tool, recording platform, a table and
// the pipeline under test.
struct Harness {
    ToolFolder tools;
    FakePlatform fake;
    Baza table;
    GameFilePipeline pipeline{table, fake.platform, nullptr, tools.appPath()};

    QString game(const QString& name, const std::vector<TestBall>& balls) const {
        const QString path = tools.scratch() + name;
        return tools.makeGameFile(path, ballFileBytes(balls)) ? path : QString();
    }
    GameFilePipeline::OpenOutcome openPath(const QString& path) {
        fake.fileDialog.answers.push_back(path);
        return pipeline.open();
    }
    // Lets the tool run normally unless the test's function takes the run.
    void replaceRuns(std::function<int(const QString&, const QStringList&)> run) {
        fake.processes.replacement = std::move(run);
    }
    int realRun(const QString& program, const QStringList& arguments) {
        return defaultPlatform().processes->runAndWait(program, arguments).code();
    }
};

using Outcome = GameFilePipeline::OpenOutcome;
using SaveOutcome = GameFilePipeline::SaveOutcome;

class GameFilePipelineTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void buildsExactCommandLines();
    void opensThroughToolAndLoads();
    void cancelAndMissingFileChangeNothing();
    void failedOpenEmptiesTable_data();
    void failedOpenEmptiesTable();
    void refusedOpenChangesNothing_data();
    void refusedOpenChangesNothing();
    void saveWritesCompressedTableAndEmptiesWorkingFolder();
    void saveThroughLinkReplacesItsTarget();
    void failedToolLeavesGameFileUntouched_data();
    void failedToolLeavesGameFileUntouched();
    void saveWithoutTableOrReadOnlyGameFileWritesNothing();
    void secondCommandWhileToolRunsIsRefused();
    void clearTempDeletesOnlyOrdinaryFiles();
};

void GameFilePipelineTest::initTestCase() {
    QVERIFY2(QFileInfo(ToolFolder::builtTool()).isExecutable(), "zlibtool has not been built");
}

void GameFilePipelineTest::buildsExactCommandLines() {
    Baza table;
    FakePlatform fake;
#ifdef Q_OS_WIN
    GameFilePipeline pipeline(table, fake.platform, nullptr, R"(C:\Tools\Ed)");
    QCOMPARE(pipeline.App_Path(), QString(R"(C:\Tools\Ed\)"));
    QCOMPARE(pipeline.decompressCommandLine("unnamed_1964.bin"),
             QString(R"("C:\Tools\Ed\zlib\zlibtool.exe" "C:\Tools\Ed\zlib\temp\unnamed_1964.bin" -d)"));
    table.setPath(R"(C:\Tools\Ed\zlib\temp\unnamed_1964.bin.unzlib)");
    QCOMPARE(pipeline.compressCommandLine(),
             QString(R"("C:\Tools\Ed\zlib\zlibtool.exe" "C:\Tools\Ed\zlib\temp\unnamed_1964.bin.unzlib")"));
    QCOMPARE(GameFilePipeline(table, fake.platform, nullptr, R"(C:\)").App_Path(), QString(R"(C:\)"));
    QCOMPARE(GameFilePipeline::applicationPath(),
             QDir::toNativeSeparators(QCoreApplication::applicationDirPath()) + "\\");
#else
    GameFilePipeline pipeline(table, fake.platform, nullptr, "/opt/Ed");
    QCOMPARE(pipeline.App_Path(), QString("/opt/Ed/"));
    QCOMPARE(pipeline.decompressCommandLine("unnamed_1964.bin"),
             QString(R"("/opt/Ed/zlib/zlibtool" "/opt/Ed/zlib/temp/unnamed_1964.bin" -d)"));
    table.setPath("/opt/Ed/zlib/temp/unnamed_1964.bin.unzlib");
    QCOMPARE(pipeline.compressCommandLine(),
             QString(R"("/opt/Ed/zlib/zlibtool" "/opt/Ed/zlib/temp/unnamed_1964.bin.unzlib")"));

    // A folder that already ends in its separator gets no second one.
    QCOMPARE(GameFilePipeline(table, fake.platform, nullptr, "/").App_Path(), QString("/"));
    QCOMPARE(GameFilePipeline::applicationPath(), QCoreApplication::applicationDirPath() + "/");
#endif
}

void GameFilePipelineTest::opensThroughToolAndLoads() {
    Harness h;
    QVERIFY(h.tools.isValid());
    const QString first =
        h.game("unnamed_1964.bin", {{"Training", 3, 1, 16, 7}, {"", -1, 2, 3, 0}, {"Final", 9, 5, 1, 2}});
    QCOMPARE(h.openPath(first), Outcome::Loaded);

    QCOMPARE(h.fake.fileDialog.lastTitle, QString("unnamed_1964.bin"));
    QCOMPARE(h.fake.fileDialog.lastStartFolder, h.tools.appPath());
    QCOMPARE(h.fake.fileDialog.lastFilters,
             (std::vector<std::pair<QString, QString>>{{"unnamed_1815.bin(*.bin)", "*.bin"},
                                                       {"All Files (*.*)", "*.*"}}));
    QCOMPARE(h.fake.processes.runs.size(), std::size_t(1));
    QCOMPARE(h.fake.processes.runs[0].program, h.tools.toolPath());
    QCOMPARE(h.fake.processes.runs[0].arguments,
             (QStringList{h.tools.workingFolder() + "unnamed_1964.bin", "-d"}));
    QVERIFY(h.fake.messages.shown.empty());

    QCOMPARE(h.table.Count(), 3);
    QCOMPARE(h.table.Get_Nazwa(0), QString("Training"));
    QCOMPARE(h.table.Get_Nazwa(1), QString());
    QCOMPARE(h.table.Get_ID(1), std::int16_t(-1));
    QCOMPARE(h.table.Path(), h.tools.workingFolder() + "unnamed_1964.bin.unzlib");
    QCOMPARE(h.pipeline.Game_File(), first);
    QCOMPARE(h.tools.workingFiles(), (QStringList{"unnamed_1964.bin", "unnamed_1964.bin.unzlib"}));
    QVERIFY(!h.pipeline.busy());

    // A second file replaces the table completely.
    const QString second = h.game("unnamed_1815.bin", numberedBalls(2));
    QCOMPARE(h.openPath(second), Outcome::Loaded);
    QCOMPARE(h.table.Count(), 2);
    QCOMPARE(h.table.Get_Nazwa(1), QString("Ball 2"));
    QCOMPARE(h.pipeline.Game_File(), second);
}

void GameFilePipelineTest::cancelAndMissingFileChangeNothing() {
    Harness h;
    QVERIFY(h.tools.isValid());
    const QString path = h.game("unnamed_1964.bin", numberedBalls(4));
    QCOMPARE(h.openPath(path), Outcome::Loaded);
    const auto runsBefore = h.fake.processes.runs.size();

    QCOMPARE(h.openPath(QString()), Outcome::Cancelled);
    QVERIFY(h.fake.messages.shown.empty());

    QCOMPARE(h.openPath(h.tools.scratch() + "no such file.bin"), Outcome::NotFound);
    QCOMPARE(h.fake.messages.shown.size(), std::size_t(1));
    QCOMPARE(h.fake.messages.shown[0].text, QString("Nie wybrano pliku !!"));
    QCOMPARE(h.fake.messages.shown[0].caption, QString("Błąd wczytywania pliku"));
    QCOMPARE(h.fake.messages.shown[0].icon, MessageIcon::Information);

    QCOMPARE(h.fake.processes.runs.size(), runsBefore);
    QCOMPARE(h.table.Count(), 4);
    QCOMPARE(h.pipeline.Game_File(), path);
}

enum class BadTool {
    ExitsNonZero,
    ExitsNonZeroAfterWriting,
    WritesGarbage,
    WritesNothing,
    WritesAnotherTable,
    Missing
};

void GameFilePipelineTest::failedOpenEmptiesTable_data() {
    QTest::addColumn<BadTool>("tool");
    QTest::newRow("exits non-zero, writes nothing") << BadTool::ExitsNonZero;
    QTest::newRow("exits non-zero after a good result") << BadTool::ExitsNonZeroAfterWriting;
    QTest::newRow("writes an invalid ball file") << BadTool::WritesGarbage;
    QTest::newRow("writes nothing over a stale result") << BadTool::WritesNothing;
    // As a program that does not take turns in the working folder may.
    QTest::newRow("another table in the working copy") << BadTool::WritesAnotherTable;
    QTest::newRow("tool missing") << BadTool::Missing;
}

void GameFilePipelineTest::failedOpenEmptiesTable() {
    QFETCH(BadTool, tool);
    Harness h;
    QVERIFY(h.tools.isValid());
    // The earlier file has the same name, so its result would be picked up if
    // it were not deleted before the run.
    const QString earlier = h.game("unnamed_1964.bin", numberedBalls(5));
    QCOMPARE(h.openPath(earlier), Outcome::Loaded);
    QDir(h.tools.scratch()).mkdir("other");
    const QString chosen = h.tools.scratch() + "other/unnamed_1964.bin";
    QVERIFY(h.tools.makeGameFile(chosen, ballFileBytes(numberedBalls(3))));
    const QByteArray chosenBytes = BallFileBytes::readFile(chosen);

    h.replaceRuns([&](const QString& program, const QStringList& arguments) {
        const QString result = arguments.value(0) + ".unzlib";
        switch (tool) {
        case BadTool::ExitsNonZero:
            return 1;
        case BadTool::ExitsNonZeroAfterWriting:
            h.realRun(program, arguments);
            return 1;
        case BadTool::WritesGarbage:
            BallFileBytes::writeFile(result, "not a ball file at all, certainly not 32 bytes of header");
            return 0;
        case BadTool::WritesNothing:
            return 0;
        case BadTool::WritesAnotherTable:
            h.realRun(program, arguments);
            BallFileBytes::writeFile(result, ballFileBytes(numberedBalls(4)));
            return 0;
        case BadTool::Missing:
            QFile::remove(h.tools.toolPath());
            return h.realRun(program, arguments);
        }
        return 0;
    });
    QCOMPARE(h.openPath(chosen), Outcome::Failed);
    QCOMPARE(h.fake.messages.shown.size(), std::size_t(1));
    QVERIFY2(h.fake.messages.shown[0].text.startsWith("Wystąpił błąd"),
             qPrintable(h.fake.messages.shown[0].text));
    QCOMPARE(h.fake.messages.shown[0].caption, QString("Vestrel"));
    QCOMPARE(h.fake.messages.shown[0].icon, MessageIcon::None);
    QCOMPARE(h.table.Count(), 0);
    QCOMPARE(h.pipeline.Game_File(), QString());

    // Nothing can be saved now: neither file is touched.
    h.replaceRuns({});
    QCOMPARE(h.pipeline.save(), SaveOutcome::Failed);
    QCOMPARE(h.fake.messages.shown.back().text, QString("Error"));
    QCOMPARE(h.fake.messages.shown.back().icon, MessageIcon::Critical);
    QCOMPARE(h.fake.processes.runs.size(), std::size_t(2));
    QCOMPARE(BallFileBytes::readFile(chosen), chosenBytes);
    QCOMPARE(h.tools.unpackGameFile(earlier).value_or(QByteArray()), ballFileBytes(numberedBalls(5)));
}

enum class Refusal { NoWorkingFolder, InWorkingFolder, Folder, QuoteInName, BackslashAtEnd };

void GameFilePipelineTest::refusedOpenChangesNothing_data() {
    QTest::addColumn<Refusal>("refusal");
    QTest::newRow("working folder missing") << Refusal::NoWorkingFolder;
    QTest::newRow("file inside the working folder") << Refusal::InWorkingFolder;
    QTest::newRow("a folder") << Refusal::Folder;
    QTest::newRow("double quote in the name") << Refusal::QuoteInName;
    QTest::newRow("backslash ending the name") << Refusal::BackslashAtEnd;
}

void GameFilePipelineTest::refusedOpenChangesNothing() {
    QFETCH(Refusal, refusal);
    Harness h;
    QVERIFY(h.tools.isValid());
    const QString current = h.game("unnamed_1964.bin", numberedBalls(6));
    QCOMPARE(h.openPath(current), Outcome::Loaded);
    const QStringList workingBefore = h.tools.workingFiles();

    QString chosen;
    switch (refusal) {
    case Refusal::NoWorkingFolder:
        chosen = h.game("other.bin", numberedBalls(2));
        QVERIFY(QDir(h.tools.appPath() + "zlib").rename("temp", "temp.away"));
        break;
    case Refusal::InWorkingFolder:
        chosen = h.tools.workingFolder() + "unnamed_1964.bin";
        break;
    case Refusal::Folder:
        chosen = h.tools.scratch();
        QVERIFY(QDir().mkpath(chosen + "x.bin"));
        chosen += "x.bin";
        break;
    case Refusal::QuoteInName:
#ifdef Q_OS_WIN
        QSKIP("Windows file names cannot hold a double quote");
#endif
        chosen = h.game(R"(my "best" balls.bin)", numberedBalls(2));
        break;
    case Refusal::BackslashAtEnd:
#ifdef Q_OS_WIN
        QSKIP("a backslash separates names on Windows");
#endif
        chosen = h.game(R"(balls\)", numberedBalls(2));
        break;
    }
    QVERIFY(!chosen.isEmpty());
    QCOMPARE(h.openPath(chosen), Outcome::Refused);
    QCOMPARE(h.fake.messages.shown.size(), std::size_t(1));
    QCOMPARE(h.fake.messages.shown[0].caption, QString("Vestrel"));
    QCOMPARE(h.fake.messages.shown[0].icon, MessageIcon::Critical);
    QVERIFY2(h.fake.messages.shown[0].text.contains(chosen), qPrintable(h.fake.messages.shown[0].text));
    QCOMPARE(h.fake.processes.runs.size(), std::size_t(1));
    QCOMPARE(h.table.Count(), 6);
    QCOMPARE(h.pipeline.Game_File(), current);
    if (refusal != Refusal::NoWorkingFolder)
        QCOMPARE(h.tools.workingFiles(), workingBefore);
}

void GameFilePipelineTest::saveWritesCompressedTableAndEmptiesWorkingFolder() {
    Harness h;
    QVERIFY(h.tools.isValid());
    std::vector<TestBall> balls = numberedBalls(40);
    const QString path = h.game("unnamed_1964.bin", balls);
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    QCOMPARE(h.openPath(path), Outcome::Loaded);
    QVERIFY(h.table.Zmien_Dane(7, 1234, "Changed", 261, 1024));
    balls[7] = {"Changed", 1234, 261, 1024, balls[7].pole};

    QCOMPARE(h.pipeline.save(), SaveOutcome::Saved);
    QCOMPARE(h.fake.messages.shown.size(), std::size_t(1));
    QCOMPARE(h.fake.messages.shown[0].text, QString("Save File"));
    QCOMPARE(h.fake.messages.shown[0].caption, QString("Vestrel"));
    QCOMPARE(h.fake.messages.shown[0].icon, MessageIcon::None);

    const QString written = h.tools.workingFolder() + "unnamed_1964.bin.unzlib";
    // The tool's two runs, and no other: what it wrote is checked in memory.
    QCOMPARE(h.fake.processes.runs.size(), std::size_t(2));
    QCOMPARE(h.fake.processes.runs[1].program, h.tools.toolPath());
    QCOMPARE(h.fake.processes.runs[1].arguments, QStringList{written});

    QCOMPARE(h.tools.unpackGameFile(path).value_or(QByteArray()), ballFileBytes(balls));
    QVERIFY(h.tools.workingFiles().isEmpty());
#ifndef Q_OS_WIN // Windows files have no such permission bits
    QCOMPARE(QFileInfo(path).permissions() & (QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                              QFile::WriteGroup | QFile::ReadOther),
             QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
#endif
    QCOMPARE(QDir(h.tools.scratch()).entryList(QDir::Files), QStringList{"unnamed_1964.bin"});

    // The table stays; a second save writes everything anew.
    QVERIFY(h.table.Zmien_Dane(0, 1, "Again", 1, 1));
    balls[0] = {"Again", 1, 1, 1, balls[0].pole};
    QCOMPARE(h.pipeline.save(), SaveOutcome::Saved);
    QCOMPARE(h.tools.unpackGameFile(path).value_or(QByteArray()), ballFileBytes(balls));
    QVERIFY(h.tools.workingFiles().isEmpty());
}

void GameFilePipelineTest::saveThroughLinkReplacesItsTarget() {
#ifdef Q_OS_WIN
    QSKIP("ordinary Windows users cannot make symbolic links");
#endif
    Harness h;
    QVERIFY(h.tools.isValid());
    const QString real = h.game("real.bin", numberedBalls(5));
    const QString link = h.tools.scratch() + "link.bin";
    QVERIFY(QFile::link(real, link));
    QCOMPARE(h.openPath(link), Outcome::Loaded);
    QVERIFY(h.table.Zmien_Dane(1, 2, "Linked", 3, 4));
    QCOMPARE(h.pipeline.save(), SaveOutcome::Saved);

    std::vector<TestBall> expected = numberedBalls(5);
    expected[1] = {"Linked", 2, 3, 4, expected[1].pole};
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(h.tools.unpackGameFile(real).value_or(QByteArray()), ballFileBytes(expected));
}

enum class BadSave { ExitsNonZero, WritesGarbage, WritesNothing, WritesOtherTable, WritesTruncated };

void GameFilePipelineTest::failedToolLeavesGameFileUntouched_data() {
    QTest::addColumn<BadSave>("tool");
    QTest::newRow("compress exits non-zero after writing") << BadSave::ExitsNonZero;
    QTest::newRow("compress writes garbage") << BadSave::WritesGarbage;
    QTest::newRow("compress writes nothing") << BadSave::WritesNothing;
    QTest::newRow("compress writes another table") << BadSave::WritesOtherTable;
    QTest::newRow("compress writes a cut stream") << BadSave::WritesTruncated;
}

void GameFilePipelineTest::failedToolLeavesGameFileUntouched() {
    QFETCH(BadSave, tool);
    Harness h;
    QVERIFY(h.tools.isValid());
    // A placeholder-like "%1" in the name must reach the messages as it is.
    const QString name = "unnamed %1 1964.bin";
    const QString path = h.game(name, numberedBalls(10));
    const QByteArray original = BallFileBytes::readFile(path);
    QCOMPARE(h.openPath(path), Outcome::Loaded);
    QVERIFY(h.table.Zmien_Dane(2, 77, "Edited", 2, 3));

    const QString otherGame = h.game("other.bin", numberedBalls(11));
    h.replaceRuns([&](const QString& program, const QStringList& arguments) {
        const bool checking = arguments.size() == 2;
        const QString result = arguments.value(0) + (checking ? ".unzlib" : ".zlib");
        switch (tool) {
        case BadSave::ExitsNonZero:
            if (!checking) {
                h.realRun(program, arguments);
                return 2;
            }
            break;
        case BadSave::WritesGarbage:
            if (!checking) {
                BallFileBytes::writeFile(result, QByteArray(100, 'x'));
                return 0;
            }
            break;
        case BadSave::WritesNothing:
            if (!checking)
                return 0;
            break;
        case BadSave::WritesOtherTable:
            if (!checking) {
                QFile::copy(otherGame, result);
                return 0;
            }
            break;
        case BadSave::WritesTruncated:
            if (!checking) {
                h.realRun(program, arguments);
                QFile packed(result);
                if (!packed.resize(packed.size() - 3))
                    return 3;
                return 0;
            }
            break;
        }
        return h.realRun(program, arguments);
    });
    QCOMPARE(h.pipeline.save(), SaveOutcome::Failed);
    QCOMPARE(BallFileBytes::readFile(path), original);
    QCOMPARE(h.fake.messages.shown.size(), std::size_t(1));
    QCOMPARE(h.fake.messages.shown[0].icon, MessageIcon::Critical);
    QCOMPARE(h.fake.messages.shown[0].caption, QString("Vestrel"));
    QVERIFY(h.fake.messages.shown[0].text.contains(QString("\"%1\" was not changed.").arg(path)));
    QVERIFY(h.fake.messages.shown[0].text != "Save File");
    if (tool == BadSave::ExitsNonZero)
        QVERIFY2(h.fake.messages.shown[0].text.contains(
                     QString("\"%1\" (exit code 2)").arg(h.tools.workingFolder() + name + ".unzlib")),
                 qPrintable(h.fake.messages.shown[0].text));
    QCOMPARE(h.tools.workingFiles(), (QStringList{name, name + ".unzlib"}));

    // With a working tool, the same table saves.
    h.replaceRuns({});
    QCOMPARE(h.pipeline.save(), SaveOutcome::Saved);
    std::vector<TestBall> expected = numberedBalls(10);
    expected[2] = {"Edited", 77, 2, 3, expected[2].pole};
    QCOMPARE(h.tools.unpackGameFile(path).value_or(QByteArray()), ballFileBytes(expected));
}

void GameFilePipelineTest::saveWithoutTableOrReadOnlyGameFileWritesNothing() {
    Harness h;
    QVERIFY(h.tools.isValid());
    QCOMPARE(h.pipeline.save(), SaveOutcome::Failed);
    QCOMPARE(h.fake.messages.shown.size(), std::size_t(1));
    QCOMPARE(h.fake.messages.shown[0].text, QString("Error"));
    QCOMPARE(h.fake.messages.shown[0].caption, QString("Vestrel"));
    QCOMPARE(h.fake.messages.shown[0].icon, MessageIcon::Critical);
    QVERIFY(h.fake.processes.runs.empty());

    const QString path = h.game("unnamed_1964.bin", numberedBalls(3));
    const QByteArray original = BallFileBytes::readFile(path);
    QCOMPARE(h.openPath(path), Outcome::Loaded);
    QVERIFY(h.table.Zmien_Dane(0, 5, "Edited", 1, 1));
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    QCOMPARE(h.pipeline.save(), SaveOutcome::Failed);
    QVERIFY(h.fake.messages.shown.back().text.contains("read-only"));
    QCOMPARE(BallFileBytes::readFile(path), original);
    QCOMPARE(h.fake.processes.runs.size(), std::size_t(1));
}

void GameFilePipelineTest::secondCommandWhileToolRunsIsRefused() {
    Harness h;
    QVERIFY(h.tools.isValid());
    const QString first = h.game("unnamed_1964.bin", numberedBalls(3));
    const QString second = h.game("unnamed_1815.bin", numberedBalls(8));
    std::vector<Outcome> nestedOpens;
    std::vector<SaveOutcome> nestedSaves;
    h.replaceRuns([&](const QString& program, const QStringList& arguments) {
        // The window processes events while the tool runs: a click on Open or
        // Save arrives here.
        h.fake.fileDialog.answers.push_back(second);
        nestedOpens.push_back(h.pipeline.open());
        h.fake.fileDialog.answers.clear();
        nestedSaves.push_back(h.pipeline.save());
        return h.realRun(program, arguments);
    });
    QCOMPARE(h.openPath(first), Outcome::Loaded);
    QCOMPARE(h.fake.fileDialog.calls, 1);
    QCOMPARE(h.table.Count(), 3);
    QCOMPARE(h.pipeline.save(), SaveOutcome::Saved);

    QCOMPARE(nestedOpens, (std::vector<Outcome>{Outcome::Busy, Outcome::Busy}));
    QCOMPARE(nestedSaves, (std::vector<SaveOutcome>{SaveOutcome::Busy, SaveOutcome::Busy}));
    QCOMPARE(h.fake.processes.runs.size(), std::size_t(2));
    QCOMPARE(h.fake.messages.shown.size(), std::size_t(1));
    QCOMPARE(h.tools.unpackGameFile(first).value_or(QByteArray()), ballFileBytes(numberedBalls(3)));
    QCOMPARE(h.pipeline.open(), Outcome::Cancelled);
}

void GameFilePipelineTest::clearTempDeletesOnlyOrdinaryFiles() {
    Harness h;
    QVERIFY(h.tools.isValid());
    const QString folder = h.tools.workingFolder();
    for (const QString name : {"a.bin", "a.bin.unzlib", ".hidden", "sub/inner.bin"}) {
        QVERIFY(QDir().mkpath(QFileInfo(folder + name).path()));
        QVERIFY(BallFileBytes::writeFile(folder + name, "x"));
    }
    h.pipeline.Clear_Temp();
    QVERIFY(h.tools.workingFiles().isEmpty());
    QVERIFY(QFile::exists(folder + ".hidden"));
    QVERIFY(QFile::exists(folder + "sub/inner.bin"));

    // Asked for while the tool runs (the window is being closed), it waits
    // until the open has finished with its files.
    bool presentAfterRequest = false;
    h.replaceRuns([&](const QString& program, const QStringList& arguments) {
        const int code = h.realRun(program, arguments);
        h.pipeline.Clear_Temp();
        presentAfterRequest = h.tools.workingFiles().size() == 2;
        return code;
    });
    QCOMPARE(h.openPath(h.game("unnamed_1964.bin", numberedBalls(2))), Outcome::Loaded);
    QVERIFY(presentAfterRequest);
    QCOMPARE(h.table.Count(), 2);
    QVERIFY(h.tools.workingFiles().isEmpty());

    // A missing working folder is no failure. It is moved away rather than
    // removed: Windows removes no file that is open, and the window holds
    // its own lock there for its whole life.
    QVERIFY(QDir(h.tools.appPath() + "zlib").rename("temp", "temp.away"));
    h.pipeline.Clear_Temp();
    QVERIFY(h.fake.messages.shown.empty());
}

QTEST_MAIN(GameFilePipelineTest)
#include "game_file_pipeline_test.moc"
