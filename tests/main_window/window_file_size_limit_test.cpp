#include "WindowHarness.h"

#include "button_control/model/Button_XP.h"

#include <sys/resource.h>

// Under a file-size limit a save fails like any other failed write: Vestrel
// goes on, says so, and the game file stays as it was. The click sound is the
// real one, so that its back-end is on the click's path as in the editor.
class WindowFileSizeLimitTest : public QObject {
    Q_OBJECT
private slots:
    void aSaveBeyondTheLimitFailsAndVestrelGoesOn() {
        ignoreFileSizeSignal(); // as the editor does at start-up
        WindowHarness h;
        h.fake.platform.sound = defaultPlatform().sound;
        QDir(h.appPath()).mkpath(QStringLiteral("resources"));
        QFile::copy(qEnvironmentVariable("VESTREL_BUILD_DIR") + QStringLiteral("/resources/click.wav"),
                    h.appPath() + QStringLiteral("resources/click.wav"));
        std::vector<Ball> balls;
        for (std::int16_t id = 1; id <= 200; ++id)
            balls.push_back(ball(QStringLiteral("Ball %1").arg(id), id, 5, 1));
        const QString game = h.writeGameFile(QStringLiteral("unnamed_1964.bin"), balls);
        const QByteArray before = BallFileBytes::readFile(game);
        h.open(game);
        QCOMPARE(h.window->ListCount(), 200);

        rlimit previous{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
        rlimit limit = previous;
        limit.rlim_cur = 8192; // less than the table
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limit), 0);
        auto* save = h.find<Button_XP>("Cmd_Zapisz");
        QTest::mouseClick(save, Qt::LeftButton, Qt::NoModifier, save->rect().center());
        QTest::keyClick(h.window.get(), Qt::Key_S, Qt::ControlModifier);
        setrlimit(RLIMIT_FSIZE, &previous);

        QCOMPARE(h.messages().size(), std::size_t(2));
        for (const ShownMessage& shown : h.messages()) {
            QCOMPARE(shown.icon, MessageIcon::Critical);
            QVERIFY2(shown.text.contains(QStringLiteral("File too large")), qPrintable(shown.text));
        }
        QCOMPARE(BallFileBytes::readFile(game), before);
        QTest::mouseClick(save, Qt::LeftButton, Qt::NoModifier, save->rect().center());
        QCOMPARE(h.messages().back().text, QStringLiteral("Save File"));
    }
};

QTEST_MAIN(WindowFileSizeLimitTest)
#include "window_file_size_limit_test.moc"
