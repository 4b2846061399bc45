#include "PipelineHarness.h"

#include <QTest>
#include <QtEndian>

// A game file is saved in the form it was read in, and the working folder is
// left without any file Vestrel put there.
class ContainerFormTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QVERIFY2(QFileInfo(ToolFolder::builtTool()).isExecutable(), "zlibtool has not been built");
    }

    void everySaveKeepsTheForm_data() {
        QTest::addColumn<bool>("container");
        QTest::newRow("container") << true;
        QTest::newRow("bare stream") << false;
    }
    void everySaveKeepsTheForm() {
        QFETCH(bool, container);
        PipelineHarness h;
        QVERIFY(h.tools.isValid());
        const compression::Form form = container ? containerForm() : compression::Form{};
        std::vector<TestBall> balls = variedBalls(30);
        const QString path = h.game("unnamed_1964.bin", ballFileBytes(balls), form);
        QVERIFY(!path.isEmpty());
        QCOMPARE(h.openPath(path), GameFilePipeline::OpenOutcome::Loaded);

        // Unchanged, then with one ball renamed: the second save of the run
        // has no working copy to look at any more.
        for (int round = 0; round < 2; ++round) {
            if (round == 1) {
                QVERIFY(h.table.Zmien_Dane(7, balls[7].id, "Renamed", balls[7].mode, balls[7].mode2));
                balls[7].name = "Renamed";
            }
            QCOMPARE(h.pipeline.save(), GameFilePipeline::SaveOutcome::Saved);
            const QByteArray saved = BallFileBytes::readFile(path);
            const compression::FormResult savedForm = compression::formOf(bytesOf(saved));
            QCOMPARE(int(savedForm.error), int(compression::Error::None));
            QVERIFY(savedForm.form == form);
            const compression::Result table = compression::decompress(bytesOf(saved));
            QCOMPARE(qtBytes(table.data), ballFileBytes(balls));
            if (container) {
                QCOMPARE(qFromLittleEndian<quint32>(saved.constData() + 8), quint32(saved.size() - 16));
                QCOMPARE(qFromLittleEndian<quint32>(saved.constData() + 12), quint32(table.data.size()));
            }
        }
    }

    // A dot makes the working copies hidden; they go all the same, and
    // what Vestrel did not make stays.
    void dotNamedGameFileLeavesNoCopies() {
        PipelineHarness h;
        QVERIFY(h.tools.isValid());
        QVERIFY(BallFileBytes::writeFile(h.tools.workingFolder() + ".someone-elses", "kept"));
        QVERIFY(QDir().mkpath(h.tools.workingFolder() + "folder"));
        const QString path = h.game(".x.bin", ballFileBytes(numberedBalls(4)), containerForm());
        const QStringList untouched{".someone-elses", "folder"};

        QCOMPARE(h.openPath(path), GameFilePipeline::OpenOutcome::Loaded);
        QCOMPARE(h.pipeline.save(), GameFilePipeline::SaveOutcome::Saved);
        QCOMPARE(h.everyWorkingEntry(), untouched);

        QCOMPARE(h.openPath(path), GameFilePipeline::OpenOutcome::Loaded);
        QVERIFY(h.everyWorkingEntry().contains(".x.bin.unzlib"));
        h.pipeline.Clear_Temp();
        QCOMPARE(h.everyWorkingEntry(), untouched);
    }
};

QTEST_GUILESS_MAIN(ContainerFormTest)
#include "container_form_test.moc"
