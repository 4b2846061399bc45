#include "WindowHarness.h"

#include "button_control/model/Button_XP.h"

#include "main_window/FrameBox.h"
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>

// The window as it first appears: its controls where the layout puts them,
// with their captions and fonts, and the menus with their entries.
class WindowLayoutTest : public QObject {
    Q_OBJECT
private slots:
    void windowTitleClientAreaAndIcon() {
        WindowHarness h;
        QCOMPARE(h.window->windowTitle(), QStringLiteral("Vestrel  v 1.0.2"));
        QCOMPARE(h.window->centralWidget()->size(), QSize(814, 411));
        QVERIFY(!h.window->windowIcon().isNull());
        QCOMPARE(h.window->centralWidget()->palette().color(QPalette::Window), QColor(Qt::white));
        // The application's folder is the current one: the buttons' sounds
        // are found relative to it.
        QCOMPARE(QDir::current().canonicalPath(), QDir(h.appPath()).canonicalPath());
        QCOMPARE(h.window->pipeline().App_Path(), h.appPath());
    }

    void controlsSitWhereTheLayoutPutsThem() {
        WindowHarness h;
        struct Placement {
            const char* name;
            const char* container;
            QRect geometry;
        };
        const Placement placements[] = {
            {"Frame1", "ClientArea", {8, 8, 353, 393}},     {"List1", "Frame1", {8, 16, 337, 368}},
            {"Frame2", "ClientArea", {368, 8, 441, 393}},   {"Picture1", "Frame2", {8, 16, 425, 369}},
            {"Frame7", "Picture1", {8, 8, 57, 41}},         {"Txt5", "Frame7", {8, 16, 41, 19}},
            {"Frame3_0", "Picture1", {72, 8, 57, 41}},      {"Txt0", "Frame3_0", {8, 16, 41, 19}},
            {"Cmd_Zapisz", "Picture1", {152, 24, 153, 25}}, {"Frame3_2", "Picture1", {8, 56, 377, 41}},
            {"Txt2", "Frame3_2", {8, 16, 361, 21}},         {"Frame8", "Picture1", {8, 104, 305, 105}},
            {"Frame9", "Frame8", {8, 16, 289, 41}},         {"Txt1", "Frame9", {8, 16, 33, 19}},
            {"Frame10", "Frame8", {8, 56, 289, 41}},        {"Txt3", "Frame10", {8, 16, 33, 19}},
            {"Frame4", "Picture1", {312, 104, 105, 105}},   {"Frame5", "Frame4", {8, 16, 89, 41}},
            {"TextID", "Frame5", {8, 16, 73, 19}},          {"ADD", "Frame4", {8, 64, 89, 25}},
            {"Image1", "Picture1", {64, 200, 265, 184}},
        };
        for (const Placement& p : placements) {
            QWidget* widget = h.find<QWidget>(p.name);
            QCOMPARE(widget->parentWidget()->objectName(), QLatin1String(p.container));
            QCOMPARE(widget->geometry(), p.geometry);
        }
        QCOMPARE(h.find<QLabel>("Label1")->pos(), QPoint(48, 16));
        QCOMPARE(h.find<QLabel>("Label2")->pos(), QPoint(48, 16));
        QCOMPARE(h.find<QLabel>("Label1")->parentWidget()->objectName(), QStringLiteral("Frame9"));
        QCOMPARE(h.find<QLabel>("Label2")->parentWidget()->objectName(), QStringLiteral("Frame10"));
    }

    void captionsFontsAndStartState() {
        WindowHarness h;
        const std::pair<const char*, const char*> captions[] = {
            {"Frame1", "List"},           {"Frame2", "Value"},       {"Frame7", "Index"},
            {"Frame3_0", "ID Ball"},      {"Frame3_2", "Name Ball"}, {"Frame8", "Mode"},
            {"Frame9", "Producent Ball"}, {"Frame10", "Mode"},       {"Frame4", "Add Ball"},
            {"Frame5", "ID New Ball"},
        };
        for (const auto& [name, caption] : captions) {
            auto* frame = h.find<FrameBox>(name);
            QCOMPARE(frame->title(), QLatin1String(caption));
            QCOMPARE(frame->palette().color(QPalette::Window), QColor(Qt::white));
            const bool ownFont = QByteArray(name) == "Frame1" || QByteArray(name) == "Frame2";
            QCOMPARE(frame->font().bold(), !ownFont);
            QCOMPARE(frame->font().pointSizeF(), 8.25);
        }
        QVERIFY(h.find<QLabel>("Label1")->font().bold());
        QVERIFY(h.find<QLabel>("Label2")->font().bold());
        // The boxes and the list are in the window's regular font, even
        // inside the bold frames.
        const QList<QWidget*> boxes{h.textId(), h.list(), h.txt(0), h.txt(1), h.txt(2), h.txt(3), h.txt(5)};
        for (QWidget* box : boxes) {
            QVERIFY2(!box->font().bold(), qPrintable(box->objectName()));
            QCOMPARE(box->font().pointSizeF(), 8.25);
        }
        QCOMPARE(h.label1(), QStringLiteral("..."));
        QCOMPARE(h.label2(), QStringLiteral("..."));

        auto* save = h.find<Button_XP>("Cmd_Zapisz");
        auto* add = h.find<Button_XP>("ADD");
        QCOMPARE(save->Caption(), QStringLiteral("Save"));
        QCOMPARE(add->Caption(), QStringLiteral("Add"));
        QVERIFY(save->Enabled());
        QVERIFY(!add->Enabled());
        QVERIFY(!save->font().bold());
        // Both are loaded from their saved values: saving them again gives
        // exactly those values back, the font's character set included.
        const QStringList savedKeys{"Caption",          "ButtonStyle", "OriginalPicSizeW",
                                    "OriginalPicSizeH", "Font",        "MousePointer"};
        for (Button_XP* button : {save, add}) {
            PropertyBag bag;
            button->WriteProperties(bag);
            QStringList expected = savedKeys;
            if (button == add)
                expected.insert(4, "Enabled");
            QCOMPARE(bag.keys(), expected);
            QCOMPARE(button->Font().charset, 238);
            QCOMPARE(button->ButtonStyle(), 3);
            QCOMPARE(button->MousePointer(), 99);
        }

        QCOMPARE(h.txt(2)->maxLength(), 63);
        for (int index : {0, 1, 3, 5}) {
            QCOMPARE(h.txt(index)->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
            QVERIFY(h.txt(index)->text().isEmpty());
        }
        QCOMPARE(h.txt(2)->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
        QCOMPARE(h.find<QLabel>("Image1")->pixmap().size(), QSize(265, 184));
        QCOMPARE(h.window->ListCount(), 0);
        QVERIFY(h.find<FrameBox>("Frame2")->isVisible());
    }

    // Every producer and mode name fits its frame in the font the window
    // uses: the label ends inside the frame's border.
    void valueNamesFitTheirFrames() {
        WindowHarness h;
        const std::pair<int, QStringList> schemes[] = {
            {1, {"1", "2", "3", "4", "5", "261"}},
            {3, {"1", "3", "16", "96", "128", "256", "268", "512", "1024"}},
        };
        for (const auto& [box, values] : schemes) {
            auto* label = h.find<QLabel>(box == 1 ? "Label1" : "Label2");
            const int inside = label->parentWidget()->width() - 2; // the border's grey line
            for (const QString& value : values) {
                WindowHarness::retype(h.txt(box), value);
                const QString name = label->text();
                QVERIFY(name != QStringLiteral("..."));
                const QString where = name + QStringLiteral(" in ") + QFontInfo(label->font()).family();
                QVERIFY2(label->width() >= QFontMetrics(label->font()).horizontalAdvance(name),
                         qPrintable(where));
                QVERIFY2(label->geometry().right() < inside, qPrintable(where));
            }
        }
    }

    // A line longer than the list is cut at its edge, as a list box does,
    // not shortened with "...", and the list does not scroll sideways; a
    // name read with line breaks too.
    void longListLinesAreCutAtTheEdge_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << QString(63, u'W');
        QTest::newRow("line breaks") << QStringLiteral("Top\r\n") + QString(58, u'W');
    }
    void longListLinesAreCutAtTheEdge() {
        QFETCH(QString, name);
        WindowHarness h;
        h.open(h.writeGameFile("unnamed_1964.bin", {ball(name, 1, 5, 1)}));
        h.clickRow(0);
        h.list()->setFocus();
        QTest::keyClick(h.list(), Qt::Key_End);
        QCOMPARE(h.list()->horizontalScrollBar()->maximum(), 0);
        h.list()->selectionModel()->clear(); // plain colours
        QWidget* viewport = h.list()->viewport();
        const QRect row = h.list()->visualRect(h.list()->model()->index(0, 0));
        const QImage image = viewport->grab().toImage();
        // An ellipsis would end the line in dots on the baseline and a gap;
        // the cut line crosses the last pixels at the letters' full height.
        int inked = 0;
        for (int x = viewport->width() - 9; x < viewport->width(); ++x) {
            for (int y = row.top(); y < row.center().y(); ++y)
                inked += qGray(image.pixel(x, y)) < 128;
        }
        QVERIFY(inked > 0);
    }

    void menusEntriesAndShortcuts() {
        WindowHarness h;
        QStringList topLevel;
        for (QAction* entry : h.window->menuBar()->actions())
            topLevel << entry->text();
        QCOMPARE(topLevel, (QStringList{"File", "Info", "About"}));

        auto entries = [&h](const char* menu) {
            QStringList names;
            for (QAction* entry : h.find<QMenu>(menu)->actions())
                names << (entry->menu() ? entry->menu()->objectName() : entry->objectName());
            return names;
        };
        QCOMPARE(entries("MnuFile"),
                 (QStringList{"MnuFileOpen", "mnuSep1", "MnuSaveFile", "MnuSep2", "mnuQuit"}));
        QCOMPARE(entries("Info"), QStringList{"Description"});
        QCOMPARE(entries("Description"), (QStringList{"Mode", "MnuSep3", "Producent"}));
        QCOMPARE(entries("About"), QStringList{"Visit"});
        QCOMPARE(entries("Visit"),
                 (QStringList{"cmdTarnholt", "MnuSep4", "cmdQuenmark", "MnuSep5", "cmd_Dorvik"}));

        QCOMPARE(h.action("MnuFileOpen")->text(), QStringLiteral("&Open"));
        QCOMPARE(h.action("MnuSaveFile")->text(), QStringLiteral("&Save"));
        QCOMPARE(h.action("mnuQuit")->text(), QStringLiteral("&Quit"));
        QCOMPARE(h.action("Mode")->text(), QStringLiteral("Mode"));
        QCOMPARE(h.action("Producent")->text(), QStringLiteral("Producent Ball"));
        QCOMPARE(h.action("cmdTarnholt")->text(), QStringLiteral("www.tarnholt.example"));
        QCOMPARE(h.action("cmdQuenmark")->text(), QStringLiteral("www.quenmark.example"));
        QCOMPARE(h.action("cmd_Dorvik")->text(), QStringLiteral("Developed by Dorvik"));
        QCOMPARE(h.action("MnuFileOpen")->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
        QCOMPARE(h.action("MnuSaveFile")->shortcut(), QKeySequence(QStringLiteral("Ctrl+S")));
        QCOMPARE(h.action("mnuQuit")->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
        QVERIFY(!h.action("MnuSaveFile")->isEnabled());

        // The shortcut reaches the command: Ctrl+O asks the dialog.
        h.window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(h.window.get()));
        QTest::keyClick(h.window.get(), Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(h.fake.fileDialog.calls, 1);
    }

    void quitAndClosingEmptyTheWorkingFolder() {
        WindowHarness h;
        for (const char* leftOver : {"a.bin", "a.bin.unzlib"})
            QVERIFY(BallFileBytes::writeFile(h.workingFolder() + QLatin1Char('/') + QLatin1String(leftOver),
                                             "x"));
        h.action("mnuQuit")->trigger();
        QVERIFY(!h.window->isVisible());
        QVERIFY(QDir(h.workingFolder()).entryList(QDir::Files).isEmpty());

        WindowHarness closed;
        QVERIFY(BallFileBytes::writeFile(closed.workingFolder() + QStringLiteral("/b.bin"), "x"));
        closed.window->close();
        QVERIFY(QDir(closed.workingFolder()).entryList(QDir::Files).isEmpty());
    }
};

QTEST_MAIN(WindowLayoutTest)
#include "window_layout_test.moc"
