#include "PipelineHarness.h"
#include "pipeline/storage/FileCalls.h"

#include <QRegularExpression>
#include <QTest>

#include <cerrno>
#include <vector>

#ifndef Q_OS_WIN
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

using OpenOutcome = GameFilePipeline::OpenOutcome;
using SaveOutcome = GameFilePipeline::SaveOutcome;

namespace {

QStringList entriesBeside(const QString& path) {
    return QDir(QFileInfo(path).path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

ProcessOutcome crashed() {
    return {ProcessOutcome::End::Crashed, -1, {}};
}

} // namespace

// Every failure of Open and Save names its real cause and leaves the game
// file as it was.
class FailureCausesTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QVERIFY2(QFileInfo(ToolFolder::builtTool()).isExecutable(), "zlibtool has not been built");
    }

    void storageFailuresOfTheReplace_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("error");
        QTest::addColumn<qint64>("partialBytes");
        QTest::addColumn<QString>("stepWords");
        QTest::newRow("write EIO") << int(FailingFileCalls::Write) << EIO << qint64(-1) << "written";
        QTest::newRow("disk full") << int(FailingFileCalls::Write) << ENOSPC << qint64(-1) << "written";
        QTest::newRow("disk full halfway")
            << int(FailingFileCalls::Write) << ENOSPC << qint64(100) << "written";
        QTest::newRow("file-size limit") << int(FailingFileCalls::Write) << EFBIG << qint64(-1) << "written";
        QTest::newRow("sync EIO") << int(FailingFileCalls::Sync) << EIO << qint64(-1) << "synced";
        QTest::newRow("close EIO") << int(FailingFileCalls::Close) << EIO << qint64(-1) << "closed";
        QTest::newRow("rename EIO") << int(FailingFileCalls::Rename) << EIO << qint64(-1) << "renamed";
    }
    void storageFailuresOfTheReplace() {
        QFETCH(int, kind);
        QFETCH(int, error);
        QFETCH(qint64, partialBytes);
        QFETCH(QString, stepWords);
#ifdef Q_OS_WIN
        // Windows writes every file in place, after a copy of its old bytes:
        // the first call of each kind is the copy's.
        stepWords = QStringLiteral("a copy of the old bytes could not be kept");
#endif
        PipelineHarness h;
        QVERIFY(h.tools.isValid());
        const QString path = h.game("unnamed_1964.bin", ballFileBytes(variedBalls(50)), containerForm());
        const QByteArray original = BallFileBytes::readFile(path);
        QCOMPARE(h.openPath(path), OpenOutcome::Loaded);
        QVERIFY(h.table.Zmien_Dane(0, 1, "Changed", 2, 3));
        h.fake.files.failOn(FailingFileCalls::Kind(kind), 1, error, partialBytes);

        QCOMPARE(h.pipeline.save(), SaveOutcome::Failed);
        const QString message = h.lastMessage();
        QVERIFY2(message.contains(stepWords) &&
                     message.contains(QString::fromStdString(storage::errorText(error))) &&
                     message.contains(QString("\"%1\" was not changed.").arg(path)),
                 qPrintable(message));
        QCOMPARE(BallFileBytes::readFile(path), original);
        QCOMPARE(entriesBeside(path), QStringList{"unnamed_1964.bin"});

        // Once the storage works again, the same table saves.
        h.fake.files.failOn(FailingFileCalls::Kind(kind), 0, 0);
        QCOMPARE(h.pipeline.save(), SaveOutcome::Saved);
        QVERIFY(BallFileBytes::readFile(path) != original);
    }

    // The tool's run on Save: a killed run says so, a failed one shows the
    // tool's own reason, and neither is taken for a table that does not
    // give back what was saved.
    void toolFailuresOnSave_data() {
        QTest::addColumn<bool>("killed");
        QTest::addColumn<QString>("expected");
        const QString full = "zlibtool: cannot write \"x.unzlib\": No space left on device";
        QTest::newRow("compress killed") << true << "killed";
        QTest::newRow("compress fails") << false << full;
    }
    void toolFailuresOnSave() {
        QFETCH(bool, killed);
        QFETCH(QString, expected);
        PipelineHarness h;
        QVERIFY(h.tools.isValid());
        const QString path = h.game("unnamed_1964.bin", ballFileBytes(numberedBalls(5)));
        const QByteArray original = BallFileBytes::readFile(path);
        QCOMPARE(h.openPath(path), OpenOutcome::Loaded);
        h.fake.processes.fullReplacement = [&](const QString& program, const QStringList& arguments) {
            if (arguments.size() == 2) // the Open
                return defaultPlatform().processes->runAndWait(program, arguments);
            return killed ? crashed() : ProcessOutcome::exited(1, "some detail\n" + expected + "\n");
        };
        QCOMPARE(h.pipeline.save(), SaveOutcome::Failed);
        QVERIFY2(h.lastMessage().contains(expected) && !h.lastMessage().contains("does not give back"),
                 qPrintable(h.lastMessage()));
        QCOMPARE(BallFileBytes::readFile(path), original);
        QCOMPARE(entriesBeside(path), QStringList{"unnamed_1964.bin"});
    }

    // A failed decompression names its cause in Polish, with the tool's own
    // line below it, and leaves no copy behind.
    void toolFailuresOnOpen_data() {
        QTest::addColumn<bool>("killed");
        QTest::addColumn<QString>("toolLine");
        QTest::addColumn<QString>("cause");
        QTest::newRow("killed") << true << ""
                                << "przerwany";
        QTest::newRow("unknown reason") << false << "zlibtool: the file is damaged"
                                        << "nie rozpakował pliku.";
        QTest::newRow("not zlib") << false << "zlibtool: /g/a.bin: not a valid zlib stream"
                                  << "nie jest poprawnym strumieniem zlib";
        QTest::newRow("sizes") << false
                               << "zlibtool: /g/a.bin: the sizes in the header do not match the zlib stream"
                               << "rozmiary zapisane w nagłówku";
        QTest::newRow("disk full") << false
                                   << "zlibtool: cannot write /g/a.bin.unzlib: No space left on device"
                                   << "nie udało się zapisać rozpakowanej tabeli";
        QTest::newRow("unreadable") << false << "zlibtool: cannot open /g/a.bin: Permission denied"
                                    << "nie udało się odczytać kopii pliku";
        QTest::newRow("the real tool") << false << ""
                                       << "nie jest poprawnym strumieniem zlib";
    }
    void toolFailuresOnOpen() {
        QFETCH(bool, killed);
        QFETCH(QString, toolLine);
        QFETCH(QString, cause);
        PipelineHarness h;
        QVERIFY(h.tools.isValid());
        QString path = h.game("unnamed_1964.bin", ballFileBytes(numberedBalls(5)));
        if (!killed && toolLine.isEmpty()) {
            path = h.tools.scratch() + "not_a_game.bin";
            QVERIFY(BallFileBytes::writeFile(path, "no zlib stream in here"));
        } else {
            h.fake.processes.fullReplacement = [&](const QString& program, const QStringList& arguments) {
                // Leaves a partial result, as a tool stopped halfway might.
                BallFileBytes::writeFile(arguments[0] + ".unzlib", "partial");
                Q_UNUSED(program);
                return killed ? crashed() : ProcessOutcome::exited(1, "some detail\n" + toolLine + "\n");
            };
        }
        QCOMPARE(h.openPath(path), OpenOutcome::Failed);
        const QString message = h.lastMessage();
        const qsizetype causeAt = message.indexOf(cause);
        QVERIFY2(message.startsWith("Wystąpił błąd") && causeAt > 0, qPrintable(message));
        // The tool's own line, in full and after the Polish words.
        if (!killed)
            QVERIFY2(message.lastIndexOf(QRegularExpression("\nzlibtool: .+$")) > causeAt,
                     qPrintable(message));
        if (!toolLine.isEmpty())
            QVERIFY2(message.endsWith("\n" + toolLine), qPrintable(message));
        QCOMPARE(h.everyWorkingEntry(), QStringList());
    }

    // With the file descriptors all but used up, the tool cannot be started,
    // and the message says why in the system's words.
    void tooManyOpenFilesIsNamed() {
#ifdef Q_OS_WIN
        QSKIP("Windows has no small limit of open files");
#else
        PipelineHarness h;
        QVERIFY(h.tools.isValid());
        const QString path = h.game("unnamed_1964.bin", ballFileBytes(numberedBalls(5)));
        const QByteArray original = BallFileBytes::readFile(path);
        QCOMPARE(h.openPath(path), OpenOutcome::Loaded);
        std::vector<int> taken;
        for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
            taken.push_back(fd);
        for (int i = 0; i < 3 && !taken.empty(); ++i) {
            ::close(taken.back());
            taken.pop_back();
        }
        const SaveOutcome saved = h.pipeline.save();
        for (const int fd : taken)
            ::close(fd);
        QCOMPARE(saved, SaveOutcome::Failed);
        QVERIFY2(h.lastMessage().contains(qt_error_string(EMFILE)), qPrintable(h.lastMessage()));
        QCOMPARE(BallFileBytes::readFile(path), original);
#endif
    }

    // A file that does not fit in the memory left is refused with that
    // reason, and the table already open stays.
    void lackOfMemoryKeepsTheTable() {
#if defined(Q_OS_WIN) || defined(__SANITIZE_ADDRESS__)
        QSKIP("needs a POSIX address-space limit, which the sanitizers do not bear");
#else
        PipelineHarness h;
        QVERIFY(h.tools.isValid());
        const QString path = h.game("unnamed_1964.bin", ballFileBytes(numberedBalls(5)));
        QCOMPARE(h.openPath(path), OpenOutcome::Loaded);
        QFile large(h.tools.scratch() + "large.bin");
        QVERIFY(large.open(QIODevice::WriteOnly));
        QVERIFY(large.resize(qint64(compression::maxInputSize) - (1 << 20))); // sparse: costs no disk
        large.close();
        QFile status("/proc/self/status");
        QVERIFY(status.open(QIODevice::ReadOnly));
        const QByteArray text = status.readAll();
        const qsizetype at = text.indexOf("VmSize:");
        QVERIFY(at >= 0);
        const rlim_t used =
            rlim_t(text.mid(at + 7, text.indexOf('\n', at) - at - 7).trimmed().split(' ')[0].toLongLong())
            << 10;
        rlimit previous{};
        QCOMPARE(getrlimit(RLIMIT_AS, &previous), 0);
        rlimit limited = previous;
        limited.rlim_cur = used + (40 << 20);
        QCOMPARE(setrlimit(RLIMIT_AS, &limited), 0);
        const OpenOutcome outcome = h.openPath(large.fileName());
        setrlimit(RLIMIT_AS, &previous);
        QCOMPARE(outcome, OpenOutcome::Refused);
        QVERIFY2(h.lastMessage().contains("pamięci"), qPrintable(h.lastMessage()));
        QCOMPARE(h.table.Count(), 5);
        QCOMPARE(h.pipeline.Game_File(), path);
#endif
    }

    // Nothing larger than any game file can be is copied or read.
    void oversizedFileIsRefusedAtOnce() {
        PipelineHarness h;
        QVERIFY(h.tools.isValid());
        QFile huge(h.tools.scratch() + "movie.bin");
        QVERIFY(huge.open(QIODevice::WriteOnly));
        QVERIFY(huge.resize(qint64(compression::maxInputSize) + 1)); // sparse: costs no disk
        huge.close();
        QCOMPARE(h.openPath(huge.fileName()), OpenOutcome::Refused);
        QVERIFY2(h.lastMessage().contains("81 MB") && h.lastMessage().contains("80 MB"),
                 qPrintable(h.lastMessage()));
        QVERIFY(h.fake.processes.runs.empty());
        QCOMPARE(h.everyWorkingEntry(), QStringList());
    }

    // Names as long as the file system allows open and save; the working
    // names built on them stay within the limit.
    void longestNamesOpenAndSave() {
        PipelineHarness h;
        QVERIFY(h.tools.isValid());
        const QString longest = QString(251, u'n') + ".bin";
        const QString accented = QString(120, u'ł') + ".bin"; // 244 bytes
        for (const QString& name : {longest, accented}) {
            const QString path = h.game(name, ballFileBytes(numberedBalls(3)), containerForm());
            QVERIFY(!path.isEmpty());
            QCOMPARE(h.openPath(path), OpenOutcome::Loaded);
            QVERIFY(h.table.Zmien_Dane(2, 9, "Long", 1, 1));
            QVERIFY2(h.pipeline.save() == SaveOutcome::Saved, qPrintable(h.lastMessage()));
            std::vector<TestBall> expected = numberedBalls(3);
            expected[2] = {"Long", 9, 1, 1, expected[2].pole};
            const compression::Result table = compression::decompress(bytesOf(BallFileBytes::readFile(path)));
            QCOMPARE(qtBytes(table.data), ballFileBytes(expected));
            QCOMPARE(h.everyWorkingEntry(), QStringList());
        }
        QCOMPARE(WorkingFolder::nameFor("unnamed_1964.bin"), QString("unnamed_1964.bin"));
        QVERIFY(WorkingFolder::nameFor(longest) != WorkingFolder::nameFor(longest + "x"));
    }
};

QTEST_GUILESS_MAIN(FailureCausesTest)
#include "failure_causes_test.moc"
