#include "WindowHarness.h"

#include "common/ToolFolder.h"

#include <QtEndian>

namespace {

const compression::Form container{true, {'B', 'A', 'L', 'L', 0x00, 0x81, 0xFF, 0x07}};

} // namespace

// Every byte a stored name can hold survives Open and Save through the real
// window and the real tool, and the container form with it.
class WindowNameBytesTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QLocale::setDefault(QLocale::c());
        QVERIFY2(QFileInfo(WindowHarness::builtTool()).isExecutable(),
                 "zlibtool must be built beside the tests");
    }

    void everyNameByteSurvivesTwoSaves() {
        // 0x01-0xFF spread over five names of 51 bytes, then a plain one.
        std::vector<QByteArray> names;
        for (int first = 1; first < 256; first += 51) {
            QByteArray name;
            for (int byte = first; byte < first + 51 && byte < 256; ++byte)
                name += char(byte);
            names.push_back(name);
        }
        names.push_back("Plain Ball");
        QByteArray table = BallFileBytes::header(std::int32_t(72 * names.size()));
        for (std::size_t i = 0; i < names.size(); ++i)
            table += BallFileBytes::record(names[i], std::int16_t(i), 1, 2, std::int16_t(-int(i)));

        WindowHarness h(WindowHarness::Tool::Real);
        const QString game =
            h.writeRawGameFile(QStringLiteral("unnamed_1964.bin"), packedGameFile(table, container));
        h.open(game);
        QVERIFY2(h.messages().empty(), h.messages().empty() ? "" : qPrintable(h.messages().back().text));
        QCOMPARE(h.window->ListCount(), int(names.size()));

        // Saved unchanged, then again in the same run with one ball renamed.
        QByteArray expected = table;
        for (int round = 0; round < 2; ++round) {
            if (round == 1) {
                h.clickRow(2);
                WindowHarness::retype(h.txt(2), QStringLiteral("Renamed"));
                expected.replace(32 + 2 * 72, 64, BallFileBytes::record("Renamed", 0, 0, 0, 0).left(64));
            }
            h.action("MnuSaveFile")->trigger();
            QCOMPARE(h.messages().back().text, QStringLiteral("Save File"));
            const QByteArray saved = BallFileBytes::readFile(game);
            QVERIFY(saved.size() > 16);
            QCOMPARE(saved.left(8), QByteArray(reinterpret_cast<const char*>(container.signature.data()), 8));
            QCOMPARE(qFromLittleEndian<quint32>(saved.constData() + 8), quint32(saved.size() - 16));
            QCOMPARE(qFromLittleEndian<quint32>(saved.constData() + 12), quint32(expected.size()));
            const compression::Result unpacked = compression::decompressStream(bytesOf(saved.mid(16)));
            QVERIFY(unpacked.ok());
            const QByteArray savedTable = qtBytes(unpacked.data);
            QCOMPARE(savedTable.size(), expected.size());
            QStringList wrong;
            for (qsizetype at = 0; at < expected.size(); ++at) {
                if (savedTable[at] != expected[at])
                    wrong << QStringLiteral("record %1 has 0x%2 for 0x%3")
                                 .arg((at - 32) / 72)
                                 .arg(quint8(savedTable[at]), 2, 16, QChar(u'0'))
                                 .arg(quint8(expected[at]), 2, 16, QChar(u'0'));
            }
            QVERIFY2(wrong.isEmpty(),
                     qPrintable(QStringLiteral("save %1: ").arg(round + 1) + wrong.join(", ")));
        }
    }
};

QTEST_MAIN(WindowNameBytesTest)
#include "window_name_bytes_test.moc"
