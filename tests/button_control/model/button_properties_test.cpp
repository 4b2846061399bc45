#include "button_control/model/ButtonContainer.h"
#include "button_control/model/Button_XP.h"
#include "button_control/model/SavedButton.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

#include <functional>
#include <memory>

namespace {

ButtonFont centralEuropeanFont() {
    ButtonFont font;
    font.name = "MS Sans Serif";
    font.size = 8.25;
    font.weight = 400;
    font.charset = 238;
    return font;
}

PictureRef bitmapOf(int width, int height, QRgb colour) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return Picture::bitmap(image);
}

// A host with ambient properties of its own.
class HostWidget : public QWidget, public ButtonContainer {
public:
    std::optional<ButtonFont> ambientFont() const override { return font; }
    QString displayName(const Button_XP& control) const override { return "Host:" + control.objectName(); }
    ButtonFont font = centralEuropeanFont();
};

QByteArray savedButtonsLayout() {
    QFile file(qEnvironmentVariable("VESTREL_SOURCE_DIR") + "/main_window/FrmMainButtons.json");
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class ButtonPropertiesTest : public QObject {
    Q_OBJECT

private slots:
    void newInstanceHasTheDefaults() {
        HostWidget host;
        Button_XP button(&host);
        QCOMPARE(button.Enabled(), true);
        QCOMPARE(button.Font(), centralEuropeanFont());
        QCOMPARE(button.MousePointer(), 0);
        QCOMPARE(button.MouseIcon(), std::nullopt);
        QCOMPARE(button.ShowFocusRect(), true);
        QCOMPARE(button.URL(), QString());
        QCOMPARE(button.Caption(), QString("Host:"));
        QCOMPARE(button.ButtonStyle(), 2);
        QCOMPARE(button.PicturePosition(), 1);
        QCOMPARE(button.Picture(), std::nullopt);
        QCOMPARE(button.PictureWidth(), 32);
        QCOMPARE(button.PictureHeight(), 32);
        QCOMPARE(button.PictureSize(), 1);
        QCOMPARE(button.PictureHover(), PictureRef(Picture{})); // empty, not none
        QCOMPARE(button.XPColor_Pressed(), static_cast<Button_XP::Long>(0x80000014));
        QCOMPARE(button.XPColor_Hover(), static_cast<Button_XP::Long>(0x80000016));
        QCOMPARE(button.XPDefaultColors(), true);
        QCOMPARE(button.BackColor(), static_cast<Button_XP::Long>(0x8000000F));
        QCOMPARE(button.ForeColor(), static_cast<Button_XP::Long>(0x80000012));
        QCOMPARE(button.SoundOver(), QVariant(QString(".\\resources\\over.wav")));
        QCOMPARE(button.SoundClick(), QString(".\\resources\\click.wav"));
        QCOMPARE(button.version(), QString("030102-155"));
        QCOMPARE(button.DefCurHand(), false);
        QCOMPARE(button.XPShowBorderAlways(), false);
        QCOMPARE(button.MaskColor(), 0);
        QCOMPARE(button.TransparentBG(), false);
        QCOMPARE(button.BEVEL(), 1);
        QCOMPARE(button.BEVELDEPTH(), 8);
        QCOMPARE(button.OriginalPicSizeW(), 0);
        QCOMPARE(button.OriginalPicSizeH(), 0);
        QCOMPARE(button.font().family(), QFont("MS Sans Serif").family());
    }

    void plainParentGivesItsFontAndTheObjectName() {
        QWidget parent;
        QFont parentFont("DejaVu Sans", 11);
        parentFont.setItalic(true);
        parent.setFont(parentFont);
        Button_XP button(&parent);
        QCOMPARE(button.Font().size, 11.0);
        QCOMPARE(button.Font().italic, true);
        QCOMPARE(button.Caption(), QString()); // not named yet
        QVERIFY(button.faceInputs().userMode);
        QVERIFY(!button.faceInputs().isDefaultButton);
        QVERIFY(!button.faceInputs().parentBackground);
    }

    void unchangedInstanceSavesOnlyWhatDiffersFromTheKeyDefaults() {
        HostWidget host;
        Button_XP button(&host);
        PropertyBag bag;
        button.WriteProperties(bag);
        QCOMPARE(bag.keys(), QStringList({"OriginalPicSizeW", "OriginalPicSizeH", "PictureHover"}));
        QCOMPARE(bag.ReadLong("OriginalPicSizeW", 32), 0);
        QCOMPARE(bag.ReadLong("OriginalPicSizeH", 32), 0);

        Button_XP loaded(&host);
        loaded.setPicture(bitmapOf(4, 4, 0xff00ff00)); // to see that loading replaces it
        loaded.ReadProperties(bag);
        QCOMPARE(loaded.OriginalPicSizeW(), 0);
        QCOMPARE(loaded.OriginalPicSizeH(), 0);
        QCOMPARE(loaded.Picture(), std::nullopt);
        PropertyBag again;
        loaded.WriteProperties(again);
        QCOMPARE(again, bag);
    }

    void changedInstanceSurvivesSaveAndLoad() {
        HostWidget host;
        Button_XP button(&host);
        button.setObjectName("Changed");
        ButtonFont font = centralEuropeanFont();
        font.name = "Arial";
        font.size = 12;
        font.bold = true;
        font.underline = true;
        button.setFont(font);
        button.setCaption("Sa&ve it");
        button.setButtonStyle(4);
        button.setPicturePosition(3);
        button.setPictureSize(2);
        button.setPicture(bitmapOf(20, 10, 0xffff0000));
        button.setPictureHover(Picture::icon(QImage(8, 8, QImage::Format_ARGB32)));
        button.setEnabled(false);
        button.setMouseIcon(bitmapOf(16, 16, 0xff0000ff));
        button.setMousePointer(99);
        button.setShowFocusRect(false);
        button.setURL("mailto:x@example.org");
        button.setXPColor_Pressed(0x00112233);
        button.setXPColor_Hover(0x00445566);
        button.setXPDefaultColors(false);
        button.setBackColor(0x00FF0000);
        button.setForeColor(static_cast<Button_XP::Long>(0x80000008));
        button.setSoundOver(QVariant(5));
        button.setSoundClick("");
        button.setDefCurHand(true);
        button.setXPShowBorderAlways(true);
        button.setMaskColor(0x00FF00FF);
        button.setTransparentBG(true);
        button.setBEVEL(2);
        button.setBEVELDEPTH(-3);

        PropertyBag bag;
        button.WriteProperties(bag);
        QCOMPARE(bag.keys().size(), 29); // every key differs from its default
        QCOMPARE(bag.keys().first(), QString("Caption"));
        QCOMPARE(bag.keys().last(), QString("BEVELDEPTH"));

        QString error;
        const auto stored = PropertyBag::fromJson(bag.toJson(), &error);
        QVERIFY2(stored, qPrintable(error));
        QCOMPARE(*stored, bag);

        Button_XP loaded(&host);
        loaded.setObjectName("Changed");
        loaded.ReadProperties(*stored);
        QCOMPARE(loaded.Caption(), QString("Sa&ve it"));
        QCOMPARE(loaded.AccessKey(), QChar('v'));
        QCOMPARE(loaded.Font().name, QString("Arial"));
        QCOMPARE(loaded.Font().weight, 700);
        QCOMPARE(loaded.Font().charset, 238);
        QCOMPARE(loaded.ButtonStyle(), 4);
        QCOMPARE(loaded.PictureWidth(), 20);
        QCOMPARE(loaded.PictureHeight(), 10);
        QCOMPARE(loaded.Picture(), button.Picture());
        QCOMPARE(loaded.PictureHover(), button.PictureHover());
        QCOMPARE(loaded.Enabled(), false);
        QCOMPARE(loaded.MousePointer(), 99);
        QCOMPARE(loaded.cursor().shape(), Qt::BitmapCursor);
        QCOMPARE(loaded.SoundOver(), QVariant(QString("5")));
        QCOMPARE(loaded.SoundClick(), QString());
        QCOMPARE(loaded.BEVELDEPTH(), -3);
        QCOMPARE(loaded.ForeColor(), static_cast<Button_XP::Long>(0x80000008));
        PropertyBag again;
        loaded.WriteProperties(again);
        QCOMPARE(again, bag);
    }

    void loadingKeepsTheSavedPictureSizeAndRedraws() {
        HostWidget host;
        Button_XP button(&host);
        button.resize(80, 30);
        PropertyBag bag;
        bag.WriteLong("PictureSize", 2, 1);
        bag.WriteLong("PictureWidth", 7, 32);
        bag.WritePicture("Picture", bitmapOf(20, 10, 0xff000000), std::nullopt);
        QSignalSpy redraws(&button, &Button_XP::Redrawn);
        button.ReadProperties(bag);
        QCOMPARE(button.PictureWidth(), 7);      // not the picture's natural width
        QCOMPARE(button.OriginalPicSizeW(), 32); // absent: the key's default
        QCOMPARE(redraws.size(), 1);
        QCOMPARE(button.face().size(), QSize(80, 30));
    }

    void enabledIsTheButtonsOwnSetting() {
        QWidget host;
        Button_XP button(&host);
        host.setEnabled(false);
        QVERIFY(!button.faceInputs().Enabled); // drawn disabled with its container
        QVERIFY(button.Enabled());
        PropertyBag bag;
        button.WriteProperties(bag);
        QVERIFY(!bag.contains("Enabled"));

        button.setEnabled(false);
        host.setEnabled(true);
        QVERIFY(!button.Enabled());
        PropertyBag disabled;
        button.WriteProperties(disabled);
        QCOMPARE(disabled.ReadBoolean("Enabled", true), false);
    }

    void pictureSizeRules() {
        Button_XP button;
        button.setPictureSize(0);
        QCOMPARE(QSize(button.PictureWidth(), button.PictureHeight()), QSize(16, 16));
        button.setPictureSize(1);
        QCOMPARE(QSize(button.PictureWidth(), button.PictureHeight()), QSize(32, 32));
        button.setPictureSize(2); // no picture
        QCOMPARE(QSize(button.PictureWidth(), button.PictureHeight()), QSize(32, 32));

        button.setPicture(bitmapOf(20, 10, 0xff000000));
        QCOMPARE(QSize(button.OriginalPicSizeW(), button.OriginalPicSizeH()), QSize(20, 10));
        QCOMPARE(QSize(button.PictureWidth(), button.PictureHeight()), QSize(20, 10));
        button.setPictureSize(0);
        button.setPictureSize(2);
        QCOMPARE(QSize(button.PictureWidth(), button.PictureHeight()), QSize(20, 10));

        button.setPicture(std::nullopt);
        QCOMPARE(QSize(button.OriginalPicSizeW(), button.OriginalPicSizeH()), QSize(32, 32));
        QCOMPARE(QSize(button.PictureWidth(), button.PictureHeight()), QSize(32, 32));

        button.setPictureWidth(48);
        button.setPictureHeight(20);
        button.setPictureSize(3);
        QCOMPARE(QSize(button.PictureWidth(), button.PictureHeight()), QSize(48, 20));
        button.setPicture(bitmapOf(5, 6, 0xff000000)); // a custom size stays
        QCOMPARE(QSize(button.PictureWidth(), button.PictureHeight()), QSize(48, 20));
        QCOMPARE(button.PictureSize(), 3);
    }

    void styleThreeTurnsTransparencyOff() {
        Button_XP button;
        button.setTransparentBG(true);
        QSignalSpy changes(&button, &Button_XP::PropertyChanged);
        button.setButtonStyle(3);
        QCOMPARE(button.TransparentBG(), false);
        QCOMPARE(changes.size(), 2);
        QCOMPARE(changes.at(0).at(0).toString(), QString("ButtonStyle"));
        QCOMPARE(changes.at(1).at(0).toString(), QString("TransparentBG"));
        button.setTransparentBG(true); // accepted afterwards
        QCOMPARE(button.TransparentBG(), true);
        button.setButtonStyle(1);
        QCOMPARE(button.TransparentBG(), true);
    }

    void settersNotifyAndRedrawAsTheyShould_data() {
        QTest::addColumn<std::function<void(Button_XP&)>>("set");
        QTest::addColumn<QString>("property");
        QTest::addColumn<int>("redraws");
        using Set = std::function<void(Button_XP&)>;
        QTest::newRow("XPColor_Hover")
            << Set([](Button_XP& b) { b.setXPColor_Hover(1); }) << "XPColor_Hover" << 0;
        QTest::newRow("XPColor_Pressed")
            << Set([](Button_XP& b) { b.setXPColor_Pressed(1); }) << "XPColor_Pressed" << 0;
        QTest::newRow("XPDefaultColors")
            << Set([](Button_XP& b) { b.setXPDefaultColors(false); }) << "XPDefaultColors" << 0;
        QTest::newRow("XPShowBorderAlways")
            << Set([](Button_XP& b) { b.setXPShowBorderAlways(true); }) << "XPShowBorderAlways" << 0;
        QTest::newRow("PictureHover")
            << Set([](Button_XP& b) { b.setPictureHover(bitmapOf(2, 2, 0)); }) << "PictureHover" << 0;
        QTest::newRow("URL") << Set([](Button_XP& b) { b.setURL("x"); }) << "URL" << 0;
        QTest::newRow("SoundOver") << Set([](Button_XP& b) { b.setSoundOver("x"); }) << "SoundOver" << 0;
        QTest::newRow("SoundClick") << Set([](Button_XP& b) { b.setSoundClick("x"); }) << "SoundClick" << 0;
        QTest::newRow("DefCurHand") << Set([](Button_XP& b) { b.setDefCurHand(true); }) << "DefCurHand" << 0;
        QTest::newRow("MousePointer")
            << Set([](Button_XP& b) { b.setMousePointer(2); }) << "MousePointer" << 0;
        QTest::newRow("MouseIcon") << Set([](Button_XP& b) { b.setMouseIcon(bitmapOf(2, 2, 0)); })
                                   << "MouseIcon" << 0;
        QTest::newRow("Caption") << Set([](Button_XP& b) { b.setCaption("x"); }) << "Caption" << 1;
        QTest::newRow("Enabled") << Set([](Button_XP& b) { b.setEnabled(false); }) << "Enabled" << 1;
        QTest::newRow("ShowFocusRect")
            << Set([](Button_XP& b) { b.setShowFocusRect(false); }) << "ShowFocusRect" << 1;
        QTest::newRow("PicturePosition")
            << Set([](Button_XP& b) { b.setPicturePosition(2); }) << "PicturePosition" << 1;
        QTest::newRow("Picture") << Set([](Button_XP& b) { b.setPicture(bitmapOf(2, 2, 0)); }) << "Picture"
                                 << 1;
        QTest::newRow("PictureWidth")
            << Set([](Button_XP& b) { b.setPictureWidth(3); }) << "PictureWidth" << 1;
        QTest::newRow("PictureHeight")
            << Set([](Button_XP& b) { b.setPictureHeight(3); }) << "PictureHeight" << 1;
        QTest::newRow("PictureSize") << Set([](Button_XP& b) { b.setPictureSize(0); }) << "PictureSize" << 1;
        QTest::newRow("BackColor") << Set([](Button_XP& b) { b.setBackColor(1); }) << "BackColor" << 1;
        QTest::newRow("ForeColor") << Set([](Button_XP& b) { b.setForeColor(1); }) << "ForeColor" << 1;
        QTest::newRow("MaskColor") << Set([](Button_XP& b) { b.setMaskColor(1); }) << "MaskColor" << 1;
        QTest::newRow("TransparentBG")
            << Set([](Button_XP& b) { b.setTransparentBG(true); }) << "TransparentBG" << 1;
        QTest::newRow("BEVEL") << Set([](Button_XP& b) { b.setBEVEL(2); }) << "BEVEL" << 1;
        QTest::newRow("BEVELDEPTH") << Set([](Button_XP& b) { b.setBEVELDEPTH(2); }) << "BEVELDEPTH" << 1;
        QTest::newRow("ButtonStyle") << Set([](Button_XP& b) { b.setButtonStyle(1); }) << "ButtonStyle" << 1;
        QTest::newRow("version") << Set([](Button_XP& b) { b.setversion("x"); }) << "" << 0;
    }
    void settersNotifyAndRedrawAsTheyShould() {
        QFETCH(std::function<void(Button_XP&)>, set);
        QFETCH(QString, property);
        QFETCH(int, redraws);
        Button_XP button;
        button.resize(60, 20);
        QSignalSpy redrawn(&button, &Button_XP::Redrawn);
        QSignalSpy changes(&button, &Button_XP::PropertyChanged);
        set(button);
        QCOMPARE(redrawn.size(), redraws);
        QCOMPARE(changes.size(), property.isEmpty() ? 0 : 1);
        if (!property.isEmpty())
            QCOMPARE(changes.at(0).at(0).toString(), property);
        QCOMPARE(button.version(), QString("030102-155"));
    }

    void fontTakesNameSizeAndStylesButKeepsTheCharacterSet() {
        HostWidget host;
        Button_XP button(&host);
        QSignalSpy redrawn(&button, &Button_XP::Redrawn);
        QSignalSpy changes(&button, &Button_XP::PropertyChanged);
        ButtonFont other = centralEuropeanFont();
        other.name = "Courier New";
        other.italic = true;
        other.weight = 900;
        other.charset = 0;
        button.setFont(other);
        QCOMPARE(redrawn.size(), 2); // one per attribute that changed
        QCOMPARE(changes.size(), 1);
        QCOMPARE(button.Font().name, QString("Courier New"));
        QCOMPARE(button.Font().italic, true);
        QCOMPARE(button.Font().weight, 400);
        QCOMPARE(button.Font().charset, 238);
        QCOMPARE(button.font().italic(), true); // the widget draws with it
        QCOMPARE(button.faceInputs().font.italic(), true);

        other.bold = true;
        button.setFont(other);
        QCOMPARE(button.Font().weight, 700);
        QCOMPARE(button.font().weight(), static_cast<int>(QFont::Bold));
    }

    void savedWindowButtonsLoadWithTheirValues() {
        const QByteArray layout = savedButtonsLayout();
        QVERIFY(!layout.isEmpty());
        QWidget window;
        struct Expected {
            const char* name;
            const char* caption;
            bool enabled;
            QSize size;
        };
        for (const Expected& expected :
             {Expected{"Cmd_Zapisz", "Save", true, {153, 25}}, Expected{"ADD", "Add", false, {89, 25}}}) {
            Button_XP button(&window);
            QString error;
            QVERIFY2(LoadSavedButton(button, layout, expected.name, &error), qPrintable(error));
            QCOMPARE(button.objectName(), QString(expected.name));
            QCOMPARE(button.Caption(), QString(expected.caption));
            QCOMPARE(button.Enabled(), expected.enabled);
            QCOMPARE(button.size(), expected.size);
            QCOMPARE(button.ButtonStyle(), 3);
            QCOMPARE(button.MousePointer(), 99);
            QCOMPARE(button.OriginalPicSizeW(), 0);
            QCOMPARE(button.OriginalPicSizeH(), 0);
            QCOMPARE(button.Font(), centralEuropeanFont());
            QCOMPARE(button.Picture(), std::nullopt);
            QCOMPARE(button.PictureHover(), std::nullopt);
            QCOMPARE(button.URL(), QString());
            QCOMPARE(button.ShowFocusRect(), true);
            QCOMPARE(button.SoundClick(), QString(".\\resources\\click.wav"));
            QCOMPARE(button.MouseIcon(), std::nullopt);
            QCOMPARE(button.mask(), MakeRoundRegion(expected.size.width(), expected.size.height()));
            QCOMPARE(button.face().size(), expected.size);

            // Saving it again gives back exactly what is stored.
            PropertyBag bag;
            button.WriteProperties(bag);
            const QJsonArray stored = QJsonDocument::fromJson(layout)
                                          .object()
                                          .value(expected.name)
                                          .toObject()
                                          .value("Properties")
                                          .toArray();
            QCOMPARE(bag.toJson(), stored);
        }
    }

    void badSavedLayoutsAreRefusedWithAReason_data() {
        QTest::addColumn<QByteArray>("layout");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reason");
        QTest::newRow("not JSON") << QByteArray("{ nope") << "ADD"
                                  << "not valid JSON";
        QTest::newRow("unknown instance") << QByteArray("{}") << "ADD"
                                          << "no saved button \"ADD\"";
        QTest::newRow("other control")
            << QByteArray(R"({"ADD": {"ProgID": "Other.Button", "Width": 5, "Height": 5, "Properties": []}})")
            << "ADD"
            << "\"Other.Button\"";
        QTest::newRow("no size") << QByteArray(
                                        R"({"ADD": {"ProgID": "Vestrel.Button_XP", "Properties": []}})")
                                 << "ADD"
                                 << "has no size";
        QTest::newRow("bad property")
            << QByteArray(R"({"ADD": {"ProgID": "Vestrel.Button_XP", "Width": 5, "Height": 5,
                             "Properties": [{"Key": "BEVEL", "Type": "Integer", "Value": 70000}]}})")
            << "ADD"
            << "\"BEVEL\"";
    }
    void badSavedLayoutsAreRefusedWithAReason() {
        QFETCH(QByteArray, layout);
        QFETCH(QString, name);
        QFETCH(QString, reason);
        QWidget window;
        Button_XP button(&window);
        button.setCaption("Untouched");
        QString error;
        QVERIFY(!LoadSavedButton(button, layout, name, &error));
        QVERIFY2(error.contains(reason), qPrintable(error));
        QCOMPARE(button.Caption(), QString("Untouched"));
        QCOMPARE(button.objectName(), QString());
    }
};

QTEST_MAIN(ButtonPropertiesTest)
#include "button_properties_test.moc"
