#include "platform/Platform.h"

#include <QApplication>
#include <QTest>

// The buttons' click and hover sounds go through the platform's own player:
// Qt Multimedia where Qt has it, the system's PlaySound on Windows without it.
class SoundPlayerTest : public QObject {
    Q_OBJECT
private slots:
    void playsTheBuiltSoundsAndNothingElse() {
#if !defined(VESTREL_HAVE_MULTIMEDIA) && !defined(Q_OS_WIN)
        QSKIP("this build has no sound player");
#endif
        SoundPlayer& player = *defaultPlatform().sound;
        const QString resources = qEnvironmentVariable("VESTREL_BUILD_DIR") + QStringLiteral("/resources/");
        QVERIFY(player.playAsync(resources + QStringLiteral("click.wav")));
        QVERIFY(player.playAsync(resources + QStringLiteral("over.wav"))); // replaces the click
        for (const QString& notASound : {resources + QStringLiteral("missing.wav"), resources, QString()})
            QVERIFY2(!player.playAsync(notASound), qPrintable(notASound));
        QTest::qWait(300);
    }
};

QTEST_MAIN(SoundPlayerTest)
#include "sound_player_test.moc"
