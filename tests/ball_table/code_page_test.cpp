#include "ball_table/CodePage.h"

#include <QSet>
#include <QTest>

// Names travel through Windows-1250; every byte must come back as it went.
class CodePageTest : public QObject {
    Q_OBJECT
private slots:
    void everyByteRoundTrips() {
        QSet<QChar> characters;
        for (int byte = 0; byte < 256; ++byte) {
            const char b = static_cast<char>(byte);
            const QString text = decodeWindows1250(QByteArrayView(&b, 1));
            QCOMPARE(text.size(), 1);
            QVERIFY2(text.at(0) != QChar(0xFFFD), qPrintable(QString::number(byte, 16)));
            QCOMPARE(encodeWindows1250(text), QByteArray(1, b));
            characters.insert(text.at(0));
        }
        QCOMPARE(characters.size(), 256);
        // The code page's holes read as the C1 controls of the same value.
        for (unsigned char hole : {0x81, 0x83, 0x88, 0x90, 0x98})
            QCOMPARE(windows1250Table()[hole], char16_t(hole));
    }

    void centralEuropeanLetters() {
        const QString name = QStringLiteral("Żółć Łódź Šťastný Őrség €");
        const QByteArray bytes = encodeWindows1250(name);
        QCOMPARE(bytes, QByteArray("\xAF\xF3\xB3\xE6 \xA3\xF3\x64\x9F \x8A\x9D\x61stn\xFD \xD5rs\xE9g \x80"));
        QCOMPARE(decodeWindows1250(bytes), name);
    }

    // A letter and its combining accent are one letter of the code page; a
    // combination it has no letter for is one '?', not the letter and '?'.
    void decomposedAccentsAreComposed() {
        QCOMPARE(encodeWindows1250(QStringLiteral("e\u0301 Z\u0307o\u0301\u0142w S\u030C")),
                 QByteArray("\xE9 \xAF\xF3\xB3w \x8A"));
        QCOMPARE(encodeWindows1250(QStringLiteral("n\u0303 \u0301")), QByteArray("? ?"));
        QCOMPARE(representableInWindows1250(QStringLiteral("A\u030A")), QStringLiteral("?"));
    }

    void unrepresentableCharactersBecomeQuestionMarks() {
        QCOMPARE(encodeWindows1250(QStringLiteral("a\u4E2Db")), QByteArray("a?b"));
        // A character beyond the basic plane is one '?', not two.
        QCOMPARE(encodeWindows1250(QStringLiteral("x\U0001F600y")), QByteArray("x?y"));
        QCOMPARE(encodeWindows1250(QStringLiteral("\u00C6")), QByteArray("?")); // Æ is not in 1250
        QCOMPARE(encodeWindows1250(QString(QChar(0xD800))), QByteArray("?"));
        // SUB is an ordinary control character, not a failure marker.
        QCOMPARE(encodeWindows1250(QString(QChar(0x1A))), QByteArray("\x1A"));
        QCOMPARE(
            representableInWindows1250(QStringLiteral("\u0141\u00F3d\u017A \u00F1\u6F22\U0001F600\u0081")),
            QStringLiteral("\u0141\u00F3d\u017A ???\u0081"));
    }

    // Every converter, and the fixed table a build without them falls back
    // on, must read every byte the same way.
    void theConvertersAgree() {
        const CodePageTable builtIn = windows1250BuiltInTable();
        int compared = 0;
        for (const auto& converter : {windows1250TableFromQt(), windows1250TableFromIconv()}) {
            if (!converter)
                continue;
            ++compared;
            for (int byte = 0; byte < 256; ++byte) {
                QVERIFY2((*converter)[byte] == builtIn[byte], qPrintable(QString::number(byte, 16)));
            }
        }
        if (compared == 0)
            QSKIP("no converter for Windows-1250 on this machine to hold the fixed table against");
    }
};

QTEST_GUILESS_MAIN(CodePageTest)
#include "code_page_test.moc"
