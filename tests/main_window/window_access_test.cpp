#include "WindowHarness.h"

#include "button_control/model/Button_XP.h"
#include "main_window/Artwork.h"

#include <QAccessible>
#include <QApplication>
#include <QFocusFrame>
#include <QMenuBar>
#include <QTimer>

namespace {

QAccessibleInterface* accessible(QWidget* widget) {
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
    if (!face)
        qFatal("%s has no accessible interface", qPrintable(widget->objectName()));
    return face;
}

// The window drawn into an image of the given device pixel ratio.
QImage rendered(QWidget* window, double ratio) {
    QImage image(window->size() * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    window->render(&image);
    return image;
}

} // namespace

// What a screen reader and a keyboard user get from the window, and how it
// looks on screens with more device pixels than pixels.
class WindowAccessTest : public QObject {
    Q_OBJECT
private slots:
    // Each box is read by its frame's caption, never by the value name next
    // to it; the frames are groupings named by their captions.
    void boxesAndListAreNamedByTheirFrames() {
        WindowHarness h;
        h.open(h.writeGameFile("unnamed_1964.bin", {ball("Alpha", 7, 1, 1), ball("Beta", 8, 2, 3)}));
        h.clickRow(1);
        const std::pair<QWidget*, QString> named[] = {
            {h.list(), QStringLiteral("List")},           {h.txt(5), QStringLiteral("Index")},
            {h.txt(0), QStringLiteral("ID Ball")},        {h.txt(2), QStringLiteral("Name Ball")},
            {h.txt(1), QStringLiteral("Producent Ball")}, {h.txt(3), QStringLiteral("Mode")},
            {h.textId(), QStringLiteral("ID New Ball")},
        };
        for (const auto& [widget, name] : named) {
            QAccessibleInterface* face = accessible(widget);
            QCOMPARE(face->text(QAccessible::Name), name);
            QCOMPARE(face->role(), widget == h.list() ? QAccessible::List : QAccessible::EditableText);
            // A reader takes a "labelled by" relation before the name.
            for (const auto& [label, relation] : face->relations(QAccessible::Label))
                QCOMPARE(label->text(QAccessible::Name), name);
            QAccessibleInterface* frame = face->parent();
            QCOMPARE(frame->role(), QAccessible::Grouping);
            QCOMPARE(frame->text(QAccessible::Name), name);
        }
        // The value names are announced with their boxes, and follow them.
        QVERIFY(h.label1() != QStringLiteral("..."));
        QCOMPARE(accessible(h.txt(1))->text(QAccessible::Description), h.label1());
        QCOMPARE(accessible(h.txt(3))->text(QAccessible::Description), h.label2());
        h.clickRow(0);
        QCOMPARE(accessible(h.txt(1))->text(QAccessible::Description), h.label1());
        // A value name tells which box controls it: a reader that finds a
        // label with no relation reads it out as loose text of the frame.
        const std::pair<const char*, QWidget*> described[] = {{"Label1", h.txt(1)}, {"Label2", h.txt(3)}};
        for (const auto& [label, box] : described) {
            const auto relations = accessible(h.find<QWidget>(label))->relations(QAccessible::Controller);
            QCOMPARE(relations.size(), 1);
            QCOMPARE(relations.constFirst().first->object(), box);
        }
        QCOMPARE(accessible(h.find<QWidget>("Frame8"))->text(QAccessible::Name), QStringLiteral("Mode"));
    }

    // Both buttons are push buttons named by their captions, report enabled
    // and focused, and their press action does what a click does, once the
    // call has returned, as a stock button's does; the picture's opens the
    // about box the same way.
    void buttonsAndPicturePressLikePushButtons() {
        WindowHarness h;
        const QString game = h.writeGameFile("unnamed_1964.bin", {ball("Alpha", 7, 1, 1)});
        h.open(game);
        Button_XP* save = h.window->Cmd_Zapisz();
        Button_XP* add = h.window->ADD();
        const auto press = [](QAccessibleInterface* face) {
            QVERIFY(face->actionInterface());
            QVERIFY(
                face->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
            face->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        };

        QAccessibleInterface* addFace = accessible(add);
        QCOMPARE(addFace->role(), QAccessible::Button);
        QCOMPARE(addFace->text(QAccessible::Name), QStringLiteral("Add"));
        QVERIFY(addFace->state().disabled);
        QVERIFY(addFace->actionInterface());
        addFace->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCoreApplication::processEvents();
        QCOMPARE(h.window->ListCount(), 1); // disabled: the press does nothing

        h.retype(h.textId(), QStringLiteral("99"));
        QVERIFY(!addFace->state().disabled);
        press(addFace);
        QCOMPARE(h.window->ListCount(), 1);
        QTRY_COMPARE(h.window->ListCount(), 2);
        QCOMPARE(h.window->table().Get_ID(1), 99);

        QAccessibleInterface* saveFace = accessible(save);
        QCOMPARE(saveFace->role(), QAccessible::Button);
        QCOMPARE(saveFace->text(QAccessible::Name), QStringLiteral("Save"));
        save->setFocus();
        QVERIFY(saveFace->state().focused && saveFace->state().focusable);

        QAccessibleInterface* pictureFace = accessible(h.find<QWidget>("Image1"));
        QCOMPARE(pictureFace->role(), QAccessible::Graphic);
        QCOMPARE(pictureFace->text(QAccessible::Name), QStringLiteral("About Vestrel"));
        QVERIFY(pictureFace->imageInterface());
        // The box each press opens is shown only after the press has returned.
        const std::pair<QAccessibleInterface*, QString> pressed[] = {
            {saveFace, QStringLiteral("Save File")},
            {pictureFace, QStringLiteral("Tarnholt Team")},
        };
        for (const auto& [face, text] : pressed) {
            h.messages().clear();
            bool returned = false;
            bool shownAfterReturn = false;
            h.fake.messages.onShow = [&](const ShownMessage&) { shownAfterReturn = returned; };
            press(face);
            returned = true;
            QTRY_COMPARE(h.messages().size(), std::size_t{1});
            QCOMPARE(h.messages().front().text, text);
            QVERIFY(shownAfterReturn);
        }
        h.fake.messages.onShow = nullptr;
        QCOMPARE(h.readGameFile(game).Count(), 2);

        // An access key is no part of the name; it is the button's accelerator.
        save->setCaption(QStringLiteral("&Save"));
        QCOMPARE(saveFace->text(QAccessible::Name), QStringLiteral("Save"));
        QCOMPARE(saveFace->text(QAccessible::Accelerator), QStringLiteral("Alt+S"));
    }

    void tabVisitsTheControlsInReadingOrder() {
        WindowHarness h;
        h.textId()->setText(QStringLiteral("5")); // enables Add
        h.list()->setFocus();
        const QStringList expected = {QStringLiteral("Txt5"),   QStringLiteral("Txt0"),
                                      QStringLiteral("Txt2"),   QStringLiteral("Txt1"),
                                      QStringLiteral("Txt3"),   QStringLiteral("Cmd_Zapisz"),
                                      QStringLiteral("TextID"), QStringLiteral("ADD"),
                                      QStringLiteral("Image1"), QStringLiteral("List1")};
        QStringList visited;
        for (qsizetype i = 0; i < expected.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString());
        }
        QCOMPARE(visited, expected);
        // The list shows its focus with a frame even when it has no lines.
        auto* listFocus = h.window->findChild<QFocusFrame*>();
        QVERIFY(listFocus && listFocus->isVisible());
        QTest::keyClick(h.list(), Qt::Key_Tab);
        QVERIFY(!listFocus->isVisible());
    }

    // The commands that are otherwise mouse-only: the menus from F10, the
    // about box from the picture and the list's summary from the menu key.
    void mouseOnlyCommandsHaveKeys() {
        WindowHarness h;
        h.window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(h.window.get()));
        QTest::keyClick(h.window.get(), Qt::Key_F10);
        QVERIFY(h.window->menuBar()->activeAction());
        QCOMPARE(h.window->menuBar()->activeAction()->text(), QStringLiteral("File"));
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);

        h.open(h.writeGameFile("unnamed_1964.bin", {ball("Alpha", 7, 1, 1)}));
        h.clickRow(0);
        h.messages().clear();
        QWidget* picture = h.find<QWidget>("Image1");
        picture->setFocus();
        QTest::keyClick(picture, Qt::Key_Return);
        QTest::keyClick(picture, Qt::Key_Space);
        QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(4, 4),
                                  h.list()->mapToGlobal(QPoint(4, 4)));
        QApplication::sendEvent(h.list(), &menuKey);
        QCOMPARE(h.messages().size(), std::size_t{3});
        QCOMPARE(h.messages()[0].text, QStringLiteral("Tarnholt Team"));
        QCOMPARE(h.messages()[1].text, QStringLiteral("Tarnholt Team"));
        QVERIFY(h.messages()[2].text.startsWith(QStringLiteral("Index = 1\r\n")));
    }

    // A command chosen from the menu bar with F10, the arrow keys and Enter,
    // or the menu left with Escape, gives the focus back to the control that
    // had it, as Ctrl+O does, whether the command's box ends with Enter or
    // Escape.
    void menusGiveTheFocusBack() {
        WindowHarness h;
        h.open(h.writeGameFile("unnamed_1964.bin", {ball("Alpha", 7, 1, 1)}));
        h.clickRow(0);
        const QString game =
            h.writeGameFile("unnamed_1815.bin", {ball("Beta", 8, 2, 3), ball("Gamma", 9, 2, 3)});
        h.fake.platform.messages = defaultPlatform().messages;
#ifdef Q_OS_WIN
        // Windows' own file dialog takes no keys from Qt: the scripted one
        // answers, first as Escape would, then with the name.
        const bool realDialog = false;
        h.fake.fileDialog.answers = {QString(), game};
#else
        const bool realDialog = true;
        h.fake.platform.fileDialog = defaultPlatform().fileDialog;
#endif
        const auto keyToMenus = [](Qt::Key key) {
            QWidget* popup = QApplication::activePopupWidget();
            QVERIFY(popup);
            QTest::keyClick(popup, key);
        };
        int answered = 0;
        const auto answer = [&answered](const std::function<void(QWidget*)>& keys) {
            QTimer::singleShot(0, [keys, &answered] {
                QWidget* box = QApplication::activeModalWidget();
                QVERIFY(box);
                ++answered;
                keys(box);
                if (QApplication::activeModalWidget() == box)
                    box->close(); // do not leave the test waiting
            });
        };
        const auto enterName = [&game](QWidget* dialog) {
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY(name);
            name->setText(game);
            QTest::keyClick(name, Qt::Key_Return);
        };
        struct Path {
            const char* what;
            QWidget* start;
            std::vector<Qt::Key> keys; // after F10 opened the first menu
            std::function<void(QWidget*)> modal;
        };
        // The opening path comes last: a newly opened list greys the boxes out.
        const Path paths[] = {
            {"Escape", h.txt(0), {}, nullptr},
            {"Info > Description > Mode, Enter on OK",
             h.txt(1),
             {Qt::Key_Right, Qt::Key_Right, Qt::Key_Return},
             [](QWidget* box) { QTest::keyClick(box, Qt::Key_Return); }},
            {"File > Open, Escape",
             h.txt(2),
             {Qt::Key_Down, Qt::Key_Return},
             realDialog ? [](QWidget* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); }
                        : std::function<void(QWidget*)>()},
            {"File > Open, a name and Enter",
             h.textId(),
             {Qt::Key_Down, Qt::Key_Return},
             realDialog ? enterName : std::function<void(QWidget*)>()},
        };
        for (const Path& path : paths) {
            h.window->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(h.window.get()));
            path.start->setFocus();
            QCOMPARE(QApplication::focusWidget(), path.start);
            QTest::keyClick(path.start, Qt::Key_F10);
            for (const Qt::Key key : path.keys) {
                if (key == Qt::Key_Return && path.modal)
                    answer(path.modal);
                keyToMenus(key);
            }
            // Escape closes the open menu and then, where the style keeps the
            // menu bar highlighted, leaves the bar.
            for (int escapes = 0; escapes < 2 && QApplication::activePopupWidget(); ++escapes)
                keyToMenus(Qt::Key_Escape);
            if (h.window->menuBar()->activeAction())
                QTest::keyClick(h.window->menuBar(), Qt::Key_Escape);
            QVERIFY2(!QApplication::activePopupWidget() && !h.window->menuBar()->activeAction(), path.what);
            // The window's own focus: the offscreen platform activates no
            // window again once a modal box has closed.
            QTRY_VERIFY2(h.window->focusWidget() == path.start, path.what);
        }
        QCOMPARE(answered, realDialog ? 3 : 1);
        QCOMPARE(h.window->ListCount(), 2); // the name entered was opened
    }

    // The about box and the Info texts are the system's message boxes: Enter
    // and Escape each close them.
    void messageBoxesCloseWithEnterAndEscape() {
        WindowHarness h;
        h.fake.platform.messages = defaultPlatform().messages;
        const std::function<void()> commands[] = {
            [&] { h.action("Mode")->trigger(); },
            [&] { h.action("Producent")->trigger(); },
            [&] { QTest::mouseClick(h.find<QWidget>("Image1"), Qt::LeftButton); },
        };
        for (const auto& command : commands) {
            for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
                bool closedByKey = false;
                QTimer::singleShot(0, [&] {
                    QWidget* box = QApplication::activeModalWidget();
                    QVERIFY(box);
                    QTest::keyClick(box, key);
                    closedByKey = QApplication::activeModalWidget() == nullptr;
                    if (!closedByKey)
                        box->close(); // do not leave the test waiting
                });
                command();
                QVERIFY(closedByKey);
            }
        }
    }

    // The window drawn at 1x, 1.5x and 2x: at 1x the buttons show their 1x
    // faces; above, the buttons, the picture and the icon are drawn for the
    // device pixels, not blown up.
    void windowIsDrawnForTheDevicePixels() {
        WindowHarness h;
        h.textId()->setText(QStringLiteral("5"));
        const QImage picture1x = Artwork::ballPicture(1.0).toImage();
        for (const double ratio : {1.0, 1.5, 2.0}) {
            const QImage image = rendered(h.window.get(), ratio);
            for (Button_XP* button : {h.window->Cmd_Zapisz(), h.window->ADD()}) {
                const QImage& face = button->face();
                QVERIFY(qFuzzyCompare(face.devicePixelRatio(), ratio));
                if (ratio == 1.5)
                    continue; // fractional positions: checked through the face alone
                const QPoint at = button->mapTo(h.window.get(), QPoint(0, 0)) * ratio;
                const QRegion shown = button->mask().isEmpty() ? QRegion(button->rect()) : button->mask();
                for (int y = 0; y < face.height(); ++y)
                    for (int x = 0; x < face.width(); ++x)
                        if (shown.contains(
                                QPoint(static_cast<int>(x / ratio), static_cast<int>(y / ratio))) &&
                            qAlpha(face.pixel(x, y)) == 255)
                            QCOMPARE(image.pixel(at + QPoint(x, y)), face.pixel(x, y));
            }
            if (ratio == 2.0) {
                QWidget* box = h.find<QWidget>("Image1");
                const QPoint at = box->mapTo(h.window.get(), QPoint(0, 0)) * ratio;
                const QImage sharp = Artwork::ballPicture(2.0).toImage();
                // What shows of the picture: the frames above overlap its top
                // ten pixels and its right edge, its container ends 15 pixels
                // above its bottom.
                const QRect open(0, 20, 480, 2 * 169 - 20);
                QCOMPARE(image.copy(open.translated(at)).convertToFormat(QImage::Format_RGB32),
                         sharp.copy(open).convertToFormat(QImage::Format_RGB32));
                QVERIFY(sharp != picture1x.scaled(sharp.size()));
            }
        }
        const QPixmap icon = h.window->windowIcon().pixmap(QSize(16, 16), 2.0);
        QCOMPARE(icon.size(), QSize(32, 32));
        QImage sharpIcon = icon.toImage().convertToFormat(QImage::Format_ARGB32);
        sharpIcon.setDevicePixelRatio(1.0);
        QCOMPARE(sharpIcon, h.window->windowIcon()
                                .pixmap(QSize(32, 32), 1.0)
                                .toImage()
                                .convertToFormat(QImage::Format_ARGB32));
    }
};

QTEST_MAIN(WindowAccessTest)
#include "window_access_test.moc"
