#include "button_control/model/PropertyBag.h"

#include <QJsonDocument>
#include <QTest>

// The saved form of a button's properties: defaults, leaving out default
// values, key order, and the JSON it is kept in.
class PropertyBagTest : public QObject {
    Q_OBJECT

private slots:
    void absentKeysReadAsTheGivenDefault() {
        const PropertyBag bag;
        QCOMPARE(bag.ReadBoolean("X", true), true);
        QCOMPARE(bag.ReadInteger("X", 8), 8);
        QCOMPARE(bag.ReadLong("X", -5), -5);
        QCOMPARE(bag.ReadString("X", "d"), QString("d"));
        QCOMPARE(bag.ReadPicture("X", Picture{}), PictureRef(Picture{}));
        ButtonFont font;
        font.name = "Tahoma";
        QCOMPARE(bag.ReadFont("X", font), font);
    }

    void valuesEqualToTheirDefaultAreLeftOut() {
        PropertyBag bag;
        bag.WriteLong("ButtonStyle", 2, 2);
        bag.WriteString("Caption", "Save", "Cmd_Zapisz");
        bag.WritePicture("Picture", std::nullopt, std::nullopt);
        bag.WritePicture("PictureHover", Picture{}, std::nullopt); // empty is not none
        bag.WriteBoolean("Enabled", false, true);
        QCOMPARE(bag.keys(), QStringList({"Caption", "PictureHover", "Enabled"}));

        // Writing a key again replaces it in place, or removes it at its default.
        bag.WriteString("Caption", "Add", "Cmd_Zapisz");
        bag.WriteBoolean("Enabled", true, true);
        QCOMPARE(bag.keys(), QStringList({"Caption", "PictureHover"}));
        QCOMPARE(bag.ReadString("Caption", {}), QString("Add"));
    }

    void numbersReadUnderAnotherIntegerTypeWhenTheyFit() {
        PropertyBag bag;
        bag.WriteLong("Big", 70000, 0);
        bag.WriteInteger("Small", -3, 0);
        bag.WriteBoolean("Flag", true, false);
        bag.WriteString("Text", "12", "");
        QCOMPARE(bag.ReadInteger("Big", 7), 7); // does not fit: default
        QCOMPARE(bag.ReadLong("Small", 0), -3);
        QCOMPARE(bag.ReadLong("Flag", 0), -1);
        QCOMPARE(bag.ReadBoolean("Small", false), true);
        QCOMPARE(bag.ReadLong("Text", 4), 4);
        QCOMPARE(bag.ReadString("Small", {}), QString("-3"));
        QCOMPARE(bag.ReadPicture("Text", std::nullopt), std::nullopt);
    }

    void everyTypeSurvivesJson() {
        QImage bitmap(3, 2, QImage::Format_RGB32);
        bitmap.fill(qRgb(10, 20, 30));
        bitmap.setPixel(1, 1, qRgb(255, 0, 255));
        QImage icon(4, 4, QImage::Format_ARGB32);
        icon.fill(qRgba(0, 0, 0, 0));
        icon.setPixel(2, 2, qRgba(200, 100, 50, 255));
        ButtonFont font;
        font.name = "Zażółć";
        font.size = 9.75;
        font.setBold(true);
        font.strikethrough = true;
        font.charset = 238;

        PropertyBag bag;
        bag.WriteBoolean("B", false, true);
        bag.WriteInteger("I", -32768, 0);
        bag.WriteLong("L", static_cast<std::int32_t>(0x80000014), 0);
        bag.WriteString("S", ".\\resources\\click.wav", "");
        bag.WritePicture("None", std::nullopt, Picture{});
        bag.WritePicture("Empty", Picture{}, std::nullopt);
        bag.WritePicture("Bitmap", Picture::bitmap(bitmap), std::nullopt);
        bag.WritePicture("Icon", Picture::icon(icon), std::nullopt);
        bag.WriteFont("F", font, ButtonFont{});

        const QByteArray json = QJsonDocument(bag.toJson()).toJson();
        QString error;
        const auto back = PropertyBag::fromJson(QJsonDocument::fromJson(json).array(), &error);
        QVERIFY2(back, qPrintable(error));
        QCOMPARE(*back, bag);
        QCOMPARE(back->keys(), bag.keys());
        QCOMPARE(back->ReadPicture("Bitmap", std::nullopt)->image.pixel(1, 1), qRgb(255, 0, 255));
        QCOMPARE(back->ReadPicture("Icon", std::nullopt)->kind, Picture::Kind::Icon);
        QCOMPARE(back->ReadPicture("None", Picture{}), std::nullopt);
        QCOMPARE(back->ReadFont("F", {}).weight, 700);
    }

    void malformedEntriesAreRefusedWithAReason_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("reason");
        QTest::newRow("not an object") << QByteArray("[1]") << "property 1: not an object";
        QTest::newRow("no key") << QByteArray(R"([{"Type": "Long", "Value": 1}])") << "no \"Key\"";
        QTest::newRow("unknown type")
            << QByteArray(R"([{"Key": "A", "Type": "Currency", "Value": 1}])") << "unknown type \"Currency\"";
        QTest::newRow("Integer too big")
            << QByteArray(R"([{"Key": "A", "Type": "Integer", "Value": 32768}])") << "from -32768 to 32767";
        QTest::newRow("Long fraction")
            << QByteArray(R"([{"Key": "A", "Type": "Long", "Value": 1.5}])") << "32-bit whole number";
        QTest::newRow("Boolean as number")
            << QByteArray(R"([{"Key": "A", "Type": "Boolean", "Value": 1}])") << "true or false";
        QTest::newRow("twice") << QByteArray(R"([{"Key": "A", "Type": "String", "Value": "x"},
                                                  {"Key": "A", "Type": "String", "Value": "y"}])")
                               << "saved twice";
        QTest::newRow("bad png") << QByteArray(R"([{"Key": "P", "Type": "Picture",
                                                    "Value": {"Kind": "Bitmap", "Png": "AAAA"}}])")
                                 << "not a readable PNG";
        QTest::newRow("font without size")
            << QByteArray(R"([{"Key": "F", "Type": "Font", "Value": {"Name": "Arial"}}])") << "\"Size\"";
    }
    void malformedEntriesAreRefusedWithAReason() {
        QFETCH(QByteArray, json);
        QFETCH(QString, reason);
        QString error;
        QVERIFY(!PropertyBag::fromJson(QJsonDocument::fromJson(json).array(), &error));
        QVERIFY2(error.contains(reason), qPrintable(error));
    }

    void unsignedColoursAreLongs() {
        // Colours may be written the way they are usually read, 0x80000014 unsigned.
        QString error;
        const auto bag = PropertyBag::fromJson(
            QJsonDocument::fromJson(R"([{"Key": "C", "Type": "Long", "Value": 2147483668}])").array(),
            &error);
        QVERIFY2(bag, qPrintable(error));
        QCOMPARE(bag->ReadLong("C", 0), static_cast<std::int32_t>(0x80000014));
    }
};

QTEST_MAIN(PropertyBagTest)
#include "property_bag_test.moc"
