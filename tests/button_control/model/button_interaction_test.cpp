#include "ButtonEventLog.h"
#include "button_control/model/Button_XP.h"
#include "common/FakePlatform.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

#include <memory>

// Drives a real button in a shown window and checks what it reports, and in
// which order, for each way of pressing it.
class ButtonInteractionTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QWidget> window;
    QPointer<Button_XP> button;
    QPointer<QLineEdit> otherWidget;
    std::unique_ptr<ButtonEventLog> log;

    QString clickSoundPath() const {
        return QDir::cleanPath(QDir::current().absoluteFilePath("resources/click.wav"));
    }

    // A pointer move with no button held (QTest only moves the real cursor for those).
    void moveTo(QPointF at, Qt::MouseButtons held = Qt::NoButton) {
        QMouseEvent move(QEvent::MouseMove, at, button->mapToGlobal(at), Qt::NoButton, held, Qt::NoModifier);
        QApplication::sendEvent(button, &move);
    }
    void sendKey(QEvent::Type type, Qt::Key key, const QString& text, bool autoRepeat = false) {
        QKeyEvent event(type, key, Qt::NoModifier, text, autoRepeat);
        QApplication::sendEvent(button, &event);
    }
    static QStringList eventsOnly(const QStringList& entries) {
        QStringList result;
        for (const QString& entry : entries)
            if (!entry.startsWith("redraw") && !entry.startsWith("sound"))
                result << entry;
        return result;
    }

private slots:
    void init() {
        window = std::make_unique<QWidget>();
        window->resize(220, 80);
        button = new Button_XP(window.get());
        button->setObjectName("Cmd_Zapisz");
        button->setGeometry(10, 10, 153, 25);
        otherWidget = new QLineEdit(window.get());
        otherWidget->setGeometry(10, 45, 100, 20);
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        button->setFocus();
        QTRY_VERIFY(button->hasFocus());
        log = std::make_unique<ButtonEventLog>(*button);
        log->pointer.widgetUnderPointer = button;
    }
    void cleanup() {
        log.reset();
        window.reset();
    }

    void clickRaisesDownClickUpAroundTheSoundAndLink() {
        button->setURL("http://example.org/");
        log->take();
        QTest::mouseClick(button, Qt::LeftButton, Qt::ShiftModifier, QPoint(5, 6));
        QCOMPARE(log->take(), QStringList({"redraw(pressed=1,hover=0)", "MouseDown(1,1,5,6)",
                                           "redraw(pressed=0,hover=0)", "sound(" + clickSoundPath() + ")",
                                           "Click", "browse(http://example.org/)", "MouseUp(1,1,5,6)"}));
    }

    void doubleClickClicksTwiceWithTheFirstPressValues() {
        QTest::mousePress(button, Qt::LeftButton, {}, QPoint(5, 6));
        QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(5, 6));
        QTest::mouseDClick(button, Qt::LeftButton, {}, QPoint(9, 9));
        QCOMPARE(QWidget::mouseGrabber(), button.data()); // held until the release
        QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(9, 9));
        QCOMPARE(QWidget::mouseGrabber(), nullptr);
        QCOMPARE(eventsOnly(log->take()), QStringList({"MouseDown(1,0,5,6)", "Click", "MouseUp(1,0,5,6)",
                                                       "MouseDown(1,0,5,6)", "Click", "MouseUp(1,0,9,9)"}));
    }

    void rightButtonOnlyReportsDownAndUp() {
        QTest::mouseClick(button, Qt::RightButton, {}, QPoint(5, 6));
        QCOMPARE(log->take(), QStringList({"MouseDown(2,0,5,6)", "MouseUp(2,0,5,6)"}));
        QVERIFY(!button->state().IsPressed);
    }

    void middleButtonClicksToo() {
        QTest::mouseClick(button, Qt::MiddleButton, {}, QPoint(5, 6));
        QCOMPARE(eventsOnly(log->take()), QStringList({"MouseDown(4,0,5,6)", "Click", "MouseUp(4,0,5,6)"}));
    }

    void hoverEntersOnceAndLeavesByThePoll() {
        moveTo({5, 5});
        QCOMPARE(log->take(), QStringList({"MouseIn(0)", "redraw(pressed=0,hover=1)", "MouseMove(0,0,5,5)"}));
        QVERIFY(button->state().overTimerRunning);
        moveTo({6, 5});
        QTest::qWait(40); // several ticks with the pointer still over the button
        QCOMPARE(log->take(), QStringList({"MouseMove(0,0,6,5)"}));

        log->pointer.widgetUnderPointer = window.get();
        QTRY_VERIFY(!button->state().overTimerRunning);
        QCOMPARE(log->take(), QStringList({"MouseOut(0)", "redraw(pressed=0,hover=0)"}));
        QTest::qWait(30);
        QVERIFY(log->take().isEmpty());
    }

    void dragOutShowsReleasedFaceAndReleaseOutsideDoesNotClick() {
        moveTo({5, 5});
        QTest::mousePress(button, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseMove(button, QPoint(-8, 5));
        log->take();

        log->pointer.widgetUnderPointer = window.get();
        QTRY_VERIFY(!button->state().overTimerRunning);
        QCOMPARE(log->take(),
                 QStringList({"MouseOut(0)", "redraw(pressed=1,hover=0)", "redraw(pressed=0,hover=0)"}));
        QVERIFY(button->state().IsPressed); // still held

        QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(-8, 5));
        QCOMPARE(log->take(), QStringList({"redraw(pressed=0,hover=0)", "MouseUp(1,0,-8,5)"}));
    }

    void dragBackInShowsPressedFaceAndClicks() {
        moveTo({5, 5});
        QTest::mousePress(button, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseMove(button, QPoint(-8, 5));
        log->pointer.widgetUnderPointer = window.get();
        QTRY_VERIFY(!button->state().overTimerRunning);
        log->take();

        log->pointer.widgetUnderPointer = button;
        moveTo({4, 5}, Qt::LeftButton);
        QCOMPARE(log->take(), QStringList({"MouseIn(0)", "redraw(pressed=1,hover=1)", "MouseMove(1,0,4,5)"}));
        QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(4, 5));
        QCOMPARE(eventsOnly(log->take()), QStringList({"Click", "MouseUp(1,0,4,5)"}));
    }

    void spaceHeldRepeatsKeyDownAndClicksOnceOnRelease() {
        button->setURL("http://example.org/");
        log->take();
        sendKey(QEvent::KeyPress, Qt::Key_Space, " ");
        sendKey(QEvent::KeyRelease, Qt::Key_Space, " ", true);
        sendKey(QEvent::KeyPress, Qt::Key_Space, " ", true);
        sendKey(QEvent::KeyRelease, Qt::Key_Space, " ", true);
        sendKey(QEvent::KeyPress, Qt::Key_Space, " ", true);
        QCOMPARE(log->take(),
                 QStringList({"redraw(pressed=1,hover=1)", "KeyDown(32,0)", "KeyPress(32)", "KeyDown(32,0)",
                              "KeyPress(32)", "KeyDown(32,0)", "KeyPress(32)"}));
        QVERIFY(!button->state().overTimerRunning); // the keyboard does not start the poll

        sendKey(QEvent::KeyRelease, Qt::Key_Space, " ");
        QCOMPARE(log->take(),
                 QStringList({"redraw(pressed=0,hover=0)", "redraw(pressed=0,hover=0)",
                              "sound(" + clickSoundPath() + ")", "Click", "browse(http://example.org/)",
                              "MouseUp(1,0,0,0)", "KeyUp(32,0)"}));
        QVERIFY(!button->state().KeyLatch);
    }

    void spaceAfterAnotherKeyStillClicks() {
        sendKey(QEvent::KeyPress, Qt::Key_A, "a");
        sendKey(QEvent::KeyPress, Qt::Key_Space, " ");
        QCOMPARE(log->take(),
                 QStringList({"KeyDown(65,0)", "KeyPress(97)", "KeyDown(32,0)", "KeyPress(32)"}));
        sendKey(QEvent::KeyRelease, Qt::Key_Space, " ");
        QCOMPARE(eventsOnly(log->take()), QStringList({"Click", "MouseUp(1,0,0,0)", "KeyUp(32,0)"}));
        sendKey(QEvent::KeyRelease, Qt::Key_A, "a");
        QCOMPARE(log->take(), QStringList({"KeyUp(65,0)"}));
    }

    void spaceReleasedAfterFocusLossStillClicks() {
        sendKey(QEvent::KeyPress, Qt::Key_Space, " ");
        otherWidget->setFocus();
        QTRY_VERIFY(!button->hasFocus());
        QVERIFY(!button->state().IsPressed);
        QVERIFY(button->state().KeyLatch);
        log->take();
        sendKey(QEvent::KeyRelease, Qt::Key_Space, " ");
        QCOMPARE(eventsOnly(log->take()), QStringList({"Click", "MouseUp(1,0,0,0)", "KeyUp(32,0)"}));
    }

    void focusRedrawsAndLosingItReleasesTheFace() {
        QTest::mousePress(button, Qt::LeftButton, {}, QPoint(5, 5));
        log->take();
        otherWidget->setFocus();
        QTRY_VERIFY(!button->hasFocus());
        QCOMPARE(log->take(), QStringList({"redraw(pressed=0,hover=0)"}));
        QVERIFY(!button->faceInputs().HasFocus);
        button->setFocus();
        QTRY_VERIFY(button->hasFocus());
        QCOMPARE(log->take(), QStringList({"redraw(pressed=0,hover=0)"}));
        // A release inside clicks even though the focus change cleared the pressed face.
        QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(eventsOnly(log->take()), QStringList({"Click", "MouseUp(1,0,5,5)"}));
    }

    void accessKeyRules_data() {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("key");
        QTest::newRow("Sa&ve") << "Sa&ve"
                               << "v";
        QTest::newRow("A&&B&c") << "A&&B&c"
                                << "c";
        QTest::newRow("A&&B&&C&d") << "A&&B&&C&d"
                                   << "";
        QTest::newRow("&&Save") << "&&Save"
                                << "";
        QTest::newRow("Save&") << "Save&"
                               << "";
        QTest::newRow("&Add") << "&Add"
                              << "a";
        QTest::newRow("upper case") << "&SAVE"
                                    << "s";
        QTest::newRow("A&&") << "A&&"
                             << "";
        QTest::newRow("&&&x") << "&&&x"
                              << "x";
        QTest::newRow("one character") << "&"
                                       << "";
        QTest::newRow("empty") << ""
                               << "";
    }
    void accessKeyRules() {
        QFETCH(QString, caption);
        QFETCH(QString, key);
        button->setCaption(caption);
        QCOMPARE(button->AccessKey().isNull() ? QString() : QString(button->AccessKey()), key);
    }

    void accessKeyClicksWithoutSoundOrPressedFace() {
        button->setCaption("Sa&ve");
        button->setURL("mailto:someone@example.org");
        otherWidget->setFocus();
        QTRY_VERIFY(!button->hasFocus());
        log->take();
        QTest::keyClick(otherWidget, Qt::Key_V, Qt::AltModifier);
        QCOMPARE(log->take(), QStringList({"Click", "shell(open,mailto:someone@example.org,,,1)"}));

        button->setCaption("Save"); // no key any more
        log->take();
        QTest::keyClick(otherWidget, Qt::Key_V, Qt::AltModifier);
        QCOMPARE(eventsOnly(log->take()), QStringList());
    }

    void disabledButtonIgnoresItsAccessKey() {
        button->setCaption("&Add");
        button->setEnabled(false);
        log->take();
        QTest::keyClick(otherWidget, Qt::Key_A, Qt::AltModifier);
        QCOMPARE(eventsOnly(log->take()), QStringList());
        button->setEnabled(true);
        log->take();
        QTest::keyClick(otherWidget, Qt::Key_A, Qt::AltModifier);
        QCOMPARE(eventsOnly(log->take()), QStringList({"Click"}));
    }

    void resizeKeepsTenPixelsEachWay() {
        button->resize(5, 40);
        QCOMPARE(button->size(), QSize(10, 40));
        QCOMPARE(button->focusRect(), QRect(4, 4, 2, 32));
        button->resize(60, 3);
        QCOMPARE(button->size(), QSize(60, 10));
        QCOMPARE(button->face().size(), QSize(60, 10));
        button->resize(153, 25);
        QCOMPARE(button->focusRect(), QRect(QPoint(4, 4), QPoint(148, 20)));
    }

    void styleThreeCutsTheCornersAndOtherStylesDoNot() {
        button->setButtonStyle(3);
        QVERIFY(!button->mask().isEmpty());
        QCOMPARE(button->mask(), MakeRoundRegion(153, 25));
        // A press on a cut corner goes to what lies behind the button; the
        // clicks go through the window so that the window system places them.
        QSignalSpy clicks(button, &Button_XP::Click);
        const auto clickAt = [this](QPoint inButton) {
            QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {},
                              button->mapTo(window.get(), inButton));
        };
        for (QPoint corner : {QPoint(0, 0), QPoint(152, 1), QPoint(1, 24)})
            clickAt(corner);
        QCOMPARE(clicks.size(), 0);
        clickAt(QPoint(1, 1));
        QCOMPARE(clicks.size(), 1);
        button->resize(89, 25);
        QCOMPARE(button->mask(), MakeRoundRegion(89, 25));
        button->setButtonStyle(1);
        QVERIFY(button->mask().isEmpty());
    }

    void linkTargets_data() {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("mailto") << "mailto:a@b.org" << QStringList{"shell(open,mailto:a@b.org,,,1)"};
        QTest::newRow("MAILTO goes to the browser")
            << "MAILTO:a@b.org" << QStringList{"browse(MAILTO:a@b.org)"};
        QTest::newRow("web page") << "http://example.org" << QStringList{"browse(http://example.org)"};
        QTest::newRow("empty") << "" << QStringList{};
        QTest::newRow("mailto: alone") << "mailto:" << QStringList{"shell(open,mailto:,,,1)"};
    }
    void linkTargets() {
        QFETCH(QString, url);
        QFETCH(QStringList, expected);
        button->setURL(url);
        log->take();
        button->GoToURL();
        QCOMPARE(log->take(), expected);
    }

    void clickWithoutASoundFileIsSilent() {
        FakePlatform fake;
        button->setPlatform(fake.platform);
        QSignalSpy clicks(button, &Button_XP::Click);
        button->setSoundClick(".\\resources\\no-such-sound.wav");
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(clicks.size(), 1);
        QCOMPARE(fake.sound.played, QStringList{QDir::cleanPath(
                                        QDir::current().absoluteFilePath("resources/no-such-sound.wav"))});

        button->setSoundClick(QString());
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(clicks.size(), 2);
        QCOMPARE(fake.sound.played.size(), 1); // nothing to play

        // The program's own player starts nothing for a missing file and says so.
        QVERIFY(!defaultPlatform().sound->playAsync(fake.sound.played.front()));
        button->setPlatform(defaultPlatform());
        button->setSoundClick(".\\resources\\no-such-sound.wav");
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(clicks.size(), 3);
    }

    void hoverPictureShowsOnlyWhileHovering() {
        const PictureRef normal = Picture::bitmap(QImage(16, 16, QImage::Format_RGB32));
        QImage hoverImage(16, 16, QImage::Format_RGB32);
        hoverImage.fill(Qt::red);
        const PictureRef hover = Picture::bitmap(hoverImage);
        button->setPicture(normal);
        button->setPictureHover(hover);
        moveTo({5, 5});
        QCOMPARE(button->Picture(), hover);
        QCOMPARE(button->faceInputs().picture, hover);
        log->pointer.widgetUnderPointer = nullptr;
        QTRY_VERIFY(!button->state().overTimerRunning);
        QCOMPARE(button->Picture(), normal);
    }

    void emptyHoverPictureKeepsThePicture() {
        // A new button's hover picture holds no image; hovering must not blank the face.
        const PictureRef normal = Picture::bitmap(QImage(16, 16, QImage::Format_RGB32));
        button->setPicture(normal);
        QCOMPARE(button->PictureHover(), PictureRef(Picture{}));
        moveTo({5, 5});
        QCOMPARE(button->Picture(), normal);
    }

    void buttonWithoutPictureHasNoneAgainAfterHover() {
        // A new button shows no picture; leaving it must not bring in a
        // picture that takes room beside the caption.
        button->setCaption("Save");
        QCOMPARE(button->Picture(), std::nullopt);
        const QImage before = button->face();
        moveTo({5, 5});
        log->pointer.widgetUnderPointer = window.get();
        QTRY_VERIFY(!button->state().overTimerRunning);
        QCOMPARE(button->Picture(), std::nullopt);
        QCOMPARE(button->faceInputs().picture, std::nullopt);
        QCOMPARE(button->face(), before);
    }

    void handlerMayDeleteTheButton() {
        connect(button, &Button_XP::Click, button, [this] { delete button; });
        button->setURL("http://example.org/");
        QTest::mousePress(button, Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(button.isNull());
        QVERIFY(!log->entries.contains("browse(http://example.org/)"));
    }

    void disablingFromAnyPathRedraws() {
        button->clearFocus(); // so that disabling moves no focus
        log->take();
        window->setEnabled(false);
        QCOMPARE(log->take(), QStringList({"redraw(pressed=0,hover=0)"}));
        QVERIFY(!button->faceInputs().Enabled);
        window->setEnabled(true);
        QSignalSpy changes(button, &Button_XP::PropertyChanged);
        button->setEnabled(false);
        QCOMPARE(log->take().size(), 2); // the window's change and the property's own redraw
        QCOMPARE(changes.size(), 1);
        QCOMPARE(changes.at(0).at(0).toString(), QString("Enabled"));
    }
};

QTEST_MAIN(ButtonInteractionTest)
#include "button_interaction_test.moc"
