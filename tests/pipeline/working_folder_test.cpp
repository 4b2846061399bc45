#include "PipelineHarness.h"

#include <QElapsedTimer>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTest>
#include <QTimer>

#include <memory>
#include <optional>

using OpenOutcome = GameFilePipeline::OpenOutcome;
using SaveOutcome = GameFilePipeline::SaveOutcome;

namespace {

// One editor window's pipeline, on an application folder shared with others.
struct Window {
    explicit Window(const QString& appPath) : pipeline(table, fake.platform, nullptr, appPath) {}
    FakePlatform fake;
    Baza table;
    GameFilePipeline pipeline;

    OpenOutcome open(const QString& path) {
        fake.fileDialog.answers.push_back(path);
        return pipeline.open();
    }
    QString lastMessage() const {
        return fake.messages.shown.empty() ? QString() : fake.messages.shown.back().text;
    }
    // File > Quit: the working files go, then the window.
    static void quit(std::unique_ptr<Window>& window) {
        window->pipeline.Clear_Temp();
        window.reset();
    }
};

// Renames a ball of the table, keeping its numbers.
bool renameBall(Baza& table, int index, const QString& name) {
    return table.Zmien_Dane(index, table.Get_ID(index), name, table.Get_Mode(index), table.Get_Mode2(index));
}

std::vector<TestBall> renamed(std::vector<TestBall> balls, int index, const QByteArray& name) {
    balls[std::size_t(index)].name = name;
    return balls;
}

} // namespace

// Several windows share one working folder: they take turns, keep their
// same-named working copies apart and clean only what is theirs.
class WorkingFolderTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QVERIFY2(QFileInfo(ToolFolder::builtTool()).isExecutable(), "zlibtool has not been built");
        QStandardPaths::setTestModeEnabled(true);
    }
    void init() { QVERIFY(QDir(WorkingFolder::userFolder()).removeRecursively()); }

    void interleavedWindowsLoseNothing() {
        ToolFolder tools;
        QVERIFY(tools.isValid());
        QVERIFY(QDir().mkpath(tools.scratch() + "a") && QDir().mkpath(tools.scratch() + "b"));
        const QString gameA = tools.scratch() + "a/unnamed_1964.bin";
        const QString gameB = tools.scratch() + "b/unnamed_1964.bin";
        const QString other = tools.scratch() + "a/unnamed_1815.bin";
        QVERIFY(tools.makeGameFile(gameA, ballFileBytes(numberedBalls(5))));
        QVERIFY(tools.makeGameFile(gameB, ballFileBytes(numberedBalls(7))));
        QVERIFY(tools.makeGameFile(other, ballFileBytes(numberedBalls(2))));
        auto a = std::make_unique<Window>(tools.appPath());
        auto b = std::make_unique<Window>(tools.appPath());

        // The same name from two folders, open at once.
        QCOMPARE(a->open(gameA), OpenOutcome::Loaded);
        QCOMPARE(b->open(gameB), OpenOutcome::Loaded);
        QCOMPARE(a->table.Path(), tools.workingFolder() + "unnamed_1964.bin.unzlib");
        QCOMPARE(b->table.Path(), tools.workingFolder() + "unnamed_1964.bin~2.unzlib");
        QCOMPARE(a->table.Count(), 5);
        QCOMPARE(b->table.Count(), 7);

        // A saves, opens another file and quits while B holds its working files.
        QVERIFY(renameBall(a->table, 0, "Saved by A"));
        QCOMPARE(a->pipeline.save(), SaveOutcome::Saved);
        QVERIFY(QFile::exists(b->table.Path()));
        QCOMPARE(a->open(other), OpenOutcome::Loaded);
        Window::quit(a);
        QVERIFY(QFile::exists(b->table.Path()));
        QCOMPARE(tools.workingFiles(), (QStringList{"unnamed_1964.bin~2", "unnamed_1964.bin~2.unzlib"}));

        // A new window gets the name B does not hold; B saves twice.
        a = std::make_unique<Window>(tools.appPath());
        QCOMPARE(a->open(gameA), OpenOutcome::Loaded);
        QCOMPARE(a->table.Path(), tools.workingFolder() + "unnamed_1964.bin.unzlib");
        QVERIFY(renameBall(b->table, 6, "Saved by B"));
        QCOMPARE(b->pipeline.save(), SaveOutcome::Saved);
        QVERIFY(QFile::exists(a->table.Path()));
        QVERIFY(renameBall(b->table, 0, "Again by B"));
        QCOMPARE(b->pipeline.save(), SaveOutcome::Saved);
        Window::quit(b);
        QVERIFY2(a->pipeline.save() == SaveOutcome::Saved, qPrintable(a->lastMessage()));
        Window::quit(a);

        QCOMPARE(tools.unpackGameFile(gameA).value_or(QByteArray()),
                 ballFileBytes(renamed(numberedBalls(5), 0, "Saved by A")));
        QCOMPARE(tools.unpackGameFile(gameB).value_or(QByteArray()),
                 ballFileBytes(renamed(renamed(numberedBalls(7), 6, "Saved by B"), 0, "Again by B")));
        QCOMPARE(tools.unpackGameFile(other).value_or(QByteArray()), ballFileBytes(numberedBalls(2)));
        QCOMPARE(
            QDir(tools.workingFolder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList());
    }

    // A window that ended without cleaning (killed, or its Quit found the
    // folder held) leaves its files to the next window that cleans.
    void filesOfAnEndedWindowAreCleanedByTheNext() {
        ToolFolder tools;
        QVERIFY(tools.isValid());
        const QString game = tools.scratch() + ".hidden.bin";
        QVERIFY(tools.makeGameFile(game, ballFileBytes(numberedBalls(3))));
        auto ended = std::make_unique<Window>(tools.appPath());
        QCOMPARE(ended->open(game), OpenOutcome::Loaded);
        ended.reset();
        QVERIFY(QFile::exists(tools.workingFolder() + ".hidden.bin.unzlib"));
        // And one killed while it wrote its list anew.
        QVERIFY(BallFileBytes::writeFile(
            tools.workingFolder() + ".vestrel-window-0123456789abcdef.names.Xy12Zq", "[\"unnamed_"));

        // Its name is free again, and its files and list go with the next clean.
        Window next(tools.appPath());
        QCOMPARE(next.open(game), OpenOutcome::Loaded);
        QCOMPARE(next.table.Path(), tools.workingFolder() + ".hidden.bin.unzlib");
        next.pipeline.Clear_Temp();
        QStringList left =
            QDir(tools.workingFolder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        QCOMPARE(left.filter(".names").size(), 1); // next's own
        left.removeIf([](const QString& entry) { return entry.startsWith(".vestrel-window-"); });
        QCOMPARE(left, QStringList());
    }

    void secondWindowWaitsWhileTheFirstWorks() {
        ToolFolder tools;
        QVERIFY(tools.isValid());
        const QString game = tools.scratch() + "unnamed_1964.bin";
        QVERIFY(tools.makeGameFile(game, ballFileBytes(numberedBalls(4))));
        const QByteArray before = BallFileBytes::readFile(game);
        WorkingFolder first(tools.appPath());
        Window second(tools.appPath());

        // The first ends its turn while the second waits.
        std::optional<WorkingFolder::Turn> turn(first.take());
        QVERIFY(turn->held());
        QTimer::singleShot(300, [&] { turn.reset(); });
        QElapsedTimer waited;
        waited.start();
        QCOMPARE(second.open(game), OpenOutcome::Loaded);
        QVERIFY(waited.elapsed() >= 250);

        // One that does not end it in time is named, and nothing changes.
        turn.emplace(first.take());
        second.pipeline.folder().setWaitLimit(std::chrono::milliseconds(200));
        QVERIFY(renameBall(second.table, 0, "Not saved"));
        QCOMPARE(second.pipeline.save(), SaveOutcome::Failed);
        const QString pid = QString::number(QCoreApplication::applicationPid());
        QVERIFY2(second.lastMessage().contains("Another Vestrel window (process " + pid + ")"),
                 qPrintable(second.lastMessage()));
        QVERIFY(second.lastMessage().contains(QString("\"%1\" was not changed.").arg(game)));
        QCOMPARE(second.open(game), OpenOutcome::Refused);
        QVERIFY2(second.lastMessage().contains("Inne okno programu Vestrel (proces " + pid + ")") &&
                     second.lastMessage().contains(game),
                 qPrintable(second.lastMessage()));
        QCOMPARE(second.table.Get_Nazwa(0), QString("Not saved"));
        QCOMPARE(BallFileBytes::readFile(game), before);

        // A window killed between making the lock file and writing its name
        // in it, or a crash that cut the file short, left a lock of this
        // machine that names no holder and that nobody holds: it keeps
        // nobody out.
        turn.reset();
        const QByteArray host = QSysInfo::machineHostName().toUtf8();
        for (const QByteArray& left : {QByteArray(), "5508\nvestrel\n" + host + "\n3d1219c7"}) {
            QVERIFY(BallFileBytes::writeFile(tools.workingFolder() + ".vestrel-turn.lock", left));
            QCOMPARE(second.open(game), OpenOutcome::Loaded);
        }
    }

    // A window's messages and questions wait for the user with the folder free.
    void folderIsFreeWhileTheUserIsAsked() {
        ToolFolder tools;
        QVERIFY(tools.isValid());
        const QString gameA = tools.scratch() + "a.bin";
        const QString gameB = tools.scratch() + "b.bin";
        QVERIFY(tools.makeGameFile(gameA, ballFileBytes(numberedBalls(3))));
        QVERIFY(tools.makeGameFile(gameB, ballFileBytes(numberedBalls(4))));
        Window a(tools.appPath());
        Window b(tools.appPath());
        b.pipeline.folder().setWaitLimit(std::chrono::milliseconds(200));
        QCOMPARE(a.open(gameA), OpenOutcome::Loaded);
        QCOMPARE(b.open(gameB), OpenOutcome::Loaded);
        // Changed by another program, so that A's save asks first.
        QVERIFY(tools.makeGameFile(gameA, ballFileBytes(numberedBalls(5))));
        std::vector<SaveOutcome> savesOfB;
        a.fake.messages.answers = {true};
        a.fake.messages.onAsk = [&](const QString&) { savesOfB.push_back(b.pipeline.save()); };
        a.fake.messages.onShow = [&](const ShownMessage&) { savesOfB.push_back(b.pipeline.save()); };
        QVERIFY(renameBall(a.table, 1, "Asked first"));
        QCOMPARE(a.pipeline.save(), SaveOutcome::Saved);
        QCOMPARE(a.fake.messages.asked.size(), 1);
        QCOMPARE(savesOfB, (std::vector<SaveOutcome>{SaveOutcome::Saved, SaveOutcome::Saved}));
        QCOMPARE(tools.unpackGameFile(gameA).value_or(QByteArray()),
                 ballFileBytes(renamed(numberedBalls(3), 1, "Asked first")));
        QCOMPARE(tools.unpackGameFile(gameB).value_or(QByteArray()), ballFileBytes(numberedBalls(4)));
    }

    // Where App_Path's working folder cannot be used, the user's own is, in
    // silence, with the tool run from App_Path; where neither can, both are
    // named.
    void unusableAppFolderFallsBackToTheUsersOwn() {
        ToolFolder tools;
        QVERIFY(tools.isValid());
        const QString game = tools.scratch() + "unnamed_1964.bin";
        QVERIFY(tools.makeGameFile(game, ballFileBytes(numberedBalls(4))));
        QVERIFY(QDir(tools.workingFolder()).removeRecursively());
        const QString user = WorkingFolder::userFolder();

        {
            Window window(tools.appPath());
            QCOMPARE(window.open(game), OpenOutcome::Loaded);
            QVERIFY(window.fake.messages.shown.empty());
            QCOMPARE(window.fake.processes.runs.at(0).program, tools.toolPath());
            QCOMPARE(window.fake.processes.runs.at(0).arguments,
                     (QStringList{user + "unnamed_1964.bin", "-d"}));
            QVERIFY(renameBall(window.table, 3, "Saved elsewhere"));
            QCOMPARE(window.pipeline.save(), SaveOutcome::Saved);
            QCOMPARE(tools.unpackGameFile(game).value_or(QByteArray()),
                     ballFileBytes(renamed(numberedBalls(4), 3, "Saved elsewhere")));
            QCOMPARE(QDir(user).entryList(QDir::Files), QStringList());
            QVERIFY(!QFileInfo::exists(tools.workingFolder()));
        }
        const QString userZlib = QFileInfo(QDir::cleanPath(user)).path();
        QVERIFY(QDir(userZlib).removeRecursively());
        QVERIFY(BallFileBytes::writeFile(userZlib, "a file where the folder would go"));
        Window stranded(tools.appPath());
        QCOMPARE(stranded.open(game), OpenOutcome::Refused);
        for (const QString& named : {tools.workingFolder(), user, game})
            QVERIFY2(stranded.lastMessage().contains(named), qPrintable(stranded.lastMessage()));
        QVERIFY(stranded.fake.processes.runs.empty());
        QVERIFY(QFile::remove(userZlib));
    }
};

QTEST_GUILESS_MAIN(WorkingFolderTest)
#include "working_folder_test.moc"
