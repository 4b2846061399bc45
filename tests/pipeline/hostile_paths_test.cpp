#include "ball_table/Baza.h"
#include "common/FakePlatform.h"
#include "common/ToolFolder.h"
#include "pipeline/GameFilePipeline.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QTest>

#include <map>

using Outcome = GameFilePipeline::OpenOutcome;
using SaveOutcome = GameFilePipeline::SaveOutcome;

namespace {

// Every file and folder below root with a digest of its contents, leaving out
// what lies in the working folder, where the pipeline may write.
std::map<QString, QByteArray> snapshot(const QString& root, const QString& workingFolder) {
    std::map<QString, QByteArray> entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (!workingFolder.isEmpty() && path.startsWith(workingFolder))
            continue;
        const QFileInfo info = it.fileInfo();
        entries[path] =
            info.isDir() ? QByteArray("<folder>")
                         : QCryptographicHash::hash(BallFileBytes::readFile(path), QCryptographicHash::Sha1);
    }
    return entries;
}

QStringList changedEntries(const std::map<QString, QByteArray>& before,
                           const std::map<QString, QByteArray>& after) {
    QStringList changed;
    for (const auto& [path, digest] : after) {
        const auto old = before.find(path);
        if (old == before.end() || old->second != digest)
            changed << path;
    }
    for (const auto& [path, digest] : before)
        if (!after.count(path))
            changed << path + " (removed)";
    return changed;
}

#ifdef Q_OS_WIN
// Names Windows cannot hold: these letters, control characters, or a
// backslash, which separates names there.
bool windowsCannotHold(const QString& name) {
    for (const QChar c : name)
        if (c.unicode() < 0x20 || QStringLiteral("\"<>|*?:\\").contains(c))
            return true;
    return false;
}
#endif

} // namespace

class HostilePathsTest : public QObject {
    Q_OBJECT
private slots:
    void opensAndSavesOrRefuses_data();
    void opensAndSavesOrRefuses();
};

void HostilePathsTest::opensAndSavesOrRefuses_data() {
    QTest::addColumn<QString>("appFolder");
    QTest::addColumn<QString>("gameFolder");
    QTest::addColumn<QString>("gameName");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("blanks") << "Vestrel Editor"
                            << "My Games"
                            << " ball file .bin " << true;
    QTest::newRow("non-ASCII letters") << "Edytor ąę"
                                       << "Gry piłkarskie"
                                       << "piłka żółta ĄĘ€.bin" << true;
    QTest::newRow("leading dash") << "-app"
                                  << "-d"
                                  << "-d" << true;
    QTest::newRow("looks like an option") << "app"
                                          << "games"
                                          << "--help" << true;
    QTest::newRow("shell characters") << "a;b&c"
                                      << "$(touch pwned)"
                                      << "`touch pwned`;|&>x $HOME *.bin" << true;
    QTest::newRow("single quote") << "it's"
                                  << "o'games"
                                  << "it's.bin" << true;
    QTest::newRow("tab and new line") << "app"
                                      << "games"
                                      << "tab\tnew\nline.bin" << true;
    QTest::newRow("backslashes inside") << R"(app\)"
                                        << R"(g\\ames)"
                                        << R"(a\b\\c.bin)" << true;
    QTest::newRow("double quote in the name") << "app"
                                              << "games"
                                              << R"(the "best".bin)" << false;
    QTest::newRow("double quote in the folder") << "app"
                                                << R"(my "games")"
                                                << "unnamed_1964.bin" << true;
    QTest::newRow("double quote in the application folder") << R"(my "app")"
                                                            << "games"
                                                            << "unnamed_1964.bin" << false;
    QTest::newRow("name ending in a backslash") << "app"
                                                << "games"
                                                << R"(balls\)" << false;
}

void HostilePathsTest::opensAndSavesOrRefuses() {
    QFETCH(QString, appFolder);
    QFETCH(QString, gameFolder);
    QFETCH(QString, gameName);
    QFETCH(bool, accepted);
#ifdef Q_OS_WIN
    for (const QString& name : {appFolder, gameFolder, gameName})
        if (windowsCannotHold(name))
            QSKIP("Windows cannot hold these names");
    // Windows drops the blanks ending a name; those in front and inside still
    // test the command line.
    while (gameName.endsWith(u' '))
        gameName.chop(1);
#endif

    ToolFolder tools(appFolder);
    QVERIFY(tools.isValid());
    const QString folder = tools.root() + u'/' + gameFolder + u'/';
    QVERIFY(QDir().mkpath(folder));
    const QString game = folder + gameName;
    std::vector<TestBall> balls = numberedBalls(12);
    QVERIFY(tools.makeGameFile(game, ballFileBytes(balls)));
    const QByteArray original = BallFileBytes::readFile(game);

    // Anything a shell would run lands in the throw-away folder, and shows up.
    const QString previousCurrent = QDir::currentPath();
    QVERIFY(QDir::setCurrent(tools.root()));
    const auto before = snapshot(tools.root(), {});

    FakePlatform fake;
    Baza table;
    GameFilePipeline pipeline(table, fake.platform, nullptr, tools.appPath());
    fake.fileDialog.answers.push_back(game);
    const Outcome opened = pipeline.open();

    if (!accepted) {
        QDir::setCurrent(previousCurrent);
        QCOMPARE(opened, Outcome::Refused);
        QCOMPARE(fake.messages.shown.size(), std::size_t(1));
        QVERIFY(fake.messages.shown[0].text.contains(game));
        // The message points at what the user must change: the game file's
        // name, or the folder Vestrel itself lies in.
        const bool appFolderAtFault = appFolder.contains(u'"');
        QCOMPARE(fake.messages.shown[0].text.contains("Zmień nazwę pliku"), !appFolderAtFault);
        QCOMPARE(fake.messages.shown[0].text.contains(tools.appPath()), appFolderAtFault);
        QVERIFY(fake.processes.runs.empty());
        // The window's own list and lock stay in the working folder while it lives.
        QStringList changed = changedEntries(before, snapshot(tools.root(), {}));
        changed.removeIf(
            [](const QString& path) { return QFileInfo(path).fileName().startsWith(".vestrel-window-"); });
        QCOMPARE(changed, QStringList());
        QCOMPARE(pipeline.save(), SaveOutcome::Failed);
        QCOMPARE(BallFileBytes::readFile(game), original);
        return;
    }

    QCOMPARE(opened, Outcome::Loaded);
    QCOMPARE(table.Count(), 12);
    QCOMPARE(fake.processes.runs.at(0).arguments, (QStringList{tools.workingFolder() + gameName, "-d"}));
    QVERIFY(table.Zmien_Dane(3, 99, "Hostile", 2, 16));
    balls[3] = {"Hostile", 99, 2, 16, balls[3].pole};
    QCOMPARE(pipeline.save(), SaveOutcome::Saved);
    QDir::setCurrent(previousCurrent);

    QCOMPARE(
        changedEntries(before, snapshot(tools.root(), QDir::fromNativeSeparators(tools.workingFolder()))),
        QStringList{game});
    QVERIFY(tools.workingFiles().isEmpty());
    QCOMPARE(tools.unpackGameFile(game).value_or(QByteArray()), ballFileBytes(balls));
}

QTEST_GUILESS_MAIN(HostilePathsTest)
#include "hostile_paths_test.moc"
