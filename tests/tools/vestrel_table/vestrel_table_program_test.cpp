#include "TableTool.h"
#include "common/FailingFileCalls.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

using TableTool::Form;
using TableTool::RawBall;

Q_DECLARE_METATYPE(TableTool::Form)

// vestrel-table run as a user runs it: the round trip through CSV and JSON,
// the rows import refuses, check's findings, diff's report and the usage
// rules.
class VestrelTableProgramTest : public QObject {
    Q_OBJECT

    static QString write(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
        const QString path = dir.filePath(name);
        BallFileBytes::writeFile(path, bytes);
        return path;
    }

    // Names holding every byte value from 1 to 255, a few to a name.
    static std::vector<RawBall> everyByteBalls() {
        std::vector<RawBall> balls;
        for (int first = 1; first < 256; first += 51) {
            QByteArray name;
            for (int b = first; b < std::min(first + 51, 256); ++b)
                name += char(b);
            balls.push_back({name, std::int16_t(first), std::int16_t(-first), std::int16_t(first * 7),
                             std::int16_t(32767 - first)});
        }
        balls.push_back({"", -32768, 0, 0, -1});
        return balls;
    }

private slots:
    void initTestCase() {
        QVERIFY2(QFileInfo(TableTool::program()).isExecutable(),
                 "vestrel-table must be built beside the tests");
    }

    void exportThenImportGivesTheSameBytes_data() {
        QTest::addColumn<Form>("form");
        QTest::addColumn<QString>("format");
        for (const auto& [form, name] :
             {std::pair{Form::Table, "table"}, std::pair{Form::Stream, "bare stream"},
              std::pair{Form::Container, "container"}})
            for (const char* format : {"csv", "json"})
                QTest::addRow("%s %s", name, format) << form << QString::fromLatin1(format);
    }
    void exportThenImportGivesTheSameBytes() {
        const QTemporaryDir dir;
        QFETCH(Form, form);
        QFETCH(QString, format);
        const QByteArray original = TableTool::inForm(form, TableTool::table(everyByteBalls()));
        const QString source = write(dir, QStringLiteral("source.bin"), original);
        const QString text = dir.filePath(QStringLiteral("table.") + format);
        const TableTool::Run exported = TableTool::run({"export", source, "--format", format, "-o", text});
        QVERIFY2(exported.code == 0, exported.err.constData());
        // Standard output gets the same bytes, the names' line breaks too.
        const TableTool::Run toOutput = TableTool::run({"export", source, "--format", format});
        QCOMPARE(toOutput.out, BallFileBytes::readFile(text));

        // Imported into another file of the same form, even one whose table
        // no longer loads, the table becomes the exported one, in that form,
        // byte for byte.
        const QString target =
            write(dir, QStringLiteral("target.bin"),
                  TableTool::inForm(form, TableTool::table({{QByteArray(64, 'N'), 9, 9, 9, 9}})));
        const TableTool::Run imported = TableTool::run({"import", target, text});
        QVERIFY2(imported.code == 0, imported.err.constData());
        QCOMPARE(BallFileBytes::readFile(target).toHex(), original.toHex());
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 3);
    }

    void importRefusesBadRowsAndLeavesTheFile_data() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("expected");
        const QByteArray header = "position,id,producer,mode,pole,name\n";
        const QStringList append{QStringLiteral("--append")};
        QByteArray full = header;
        for (int i = 0; i < 32767; ++i)
            full += ",1,5,1,0,x\n";
        // Whether the rows are appended, the file's name, its text, the message.
        const struct {
            const char* tag;
            bool append;
            const char* name;
            QByteArray text;
            const char* expected;
        } cases[] = {
            {"id beyond 16 bits", false, "t.csv", header + "1,40000,5,1,0,A\n",
             "row 2, column id: 40000 is outside -32768..32767"},
            {"new ID 0", true, "t.csv", header + ",0,5,1,0,A\n",
             "row 2, column id: 0: a new ball's ID must be 1 to 15000"},
            {"new ID 15001", true, "t.csv", header + ",1,5,1,0,A\n,15001,5,1,0,B\n",
             "row 3, column id: 15001: a new ball's ID must be 1 to 15000"},
            {"name of 64 bytes", false, "t.csv", header + "1,1,5,1,0," + QByteArray(64, 'x'),
             "row 2, column name: is 64 bytes long; a name holds at most 63"},
            {"name outside the code page", false, "t.csv", header + "1,1,5,1,0,\xE4\xB8\xAD\n",
             "row 2, column name: holds U+4E2D, which the code page cannot hold"},
            {"name with NUL", false, "t.json",
             R"([{"position":1,"id":1,"producer":5,"mode":1,"pole":0,"name":"a\u0000b"}])",
             "row 1, column name: holds a NUL character"},
            {"name not UTF-8", false, "t.csv", header + "1,1,5,1,0,\xFF\n",
             "row 2, column name: not UTF-8 text"},
            {"not a number", false, "t.csv", header + "1,1,abc,1,0,A\n",
             "row 2, column producer: not a number: \"abc\""},
            {"value missing", false, "t.csv", header + "1,1,5,,0,A\n", "row 2, column mode: missing"},
            {"fields missing", false, "t.csv", header + "1,1,5,1,0,A\n2,2,5,1\n",
             "row 3: 4 fields where the header has 6"},
            {"quote not closed", false, "t.csv", header + "1,1,5,1,0,\"A\n", "row 2: not CSV"},
            {"position twice", false, "t.csv", header + "1,1,5,1,0,A\n1,2,5,1,0,B\n",
             "row 3, column position: 1 is given twice"},
            {"position past the end", false, "t.csv", header + "3,1,5,1,0,A\n",
             "row 2, column position: 3 is not a whole number from 1 to 1"},
            {"column missing", false, "t.csv", "position,id,producer,mode,name\n",
             "row 1, column pole: column missing from the header"},
            {"no balls", false, "t.csv", header, "no balls: a table holds at least one"},
            {"past the table's limit", true, "t.csv", full, "32768 balls; a table holds at most 32767"},
            {"JSON name not text", false, "t.json",
             R"({"balls":[{"position":1,"id":1,"producer":5,"mode":1,"pole":0,"name":5}]})",
             "row 1, column name: not a string"},
            {"JSON unknown field", false, "t.json",
             R"([{"position":1,"id":1,"producer":5,"mode":1,"pole":0,"name":"A","colour":2}])",
             "row 1, column colour: unknown field"},
            {"not JSON", false, "t.json", "[{", "not JSON"},
        };
        for (const auto& c : cases)
            QTest::newRow(c.tag) << (c.append ? append : QStringList()) << QString::fromLatin1(c.name)
                                 << c.text << QString::fromUtf8(c.expected);
    }
    void importRefusesBadRowsAndLeavesTheFile() {
        const QTemporaryDir dir;
        QFETCH(QStringList, options);
        QFETCH(QString, name);
        QFETCH(QByteArray, text);
        QFETCH(QString, expected);
        const QByteArray original = TableTool::inForm(Form::Stream, TableTool::table({{"One", 1}}));
        const QString game = write(dir, QStringLiteral("game.bin"), original);
        const QString table = write(dir, name, text);
        const TableTool::Run run = TableTool::run(QStringList{"import", game, table} + options);
        QCOMPARE(run.code, 1);
        QVERIFY2(QString::fromUtf8(run.err).contains(expected), run.err.constData());
        QVERIFY(run.err.endsWith(": not changed\n"));
        QCOMPARE(BallFileBytes::readFile(game), original);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
    }

    void checkReportsFindings_data() {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<QString>("report");
        const QByteArray twoGood = TableTool::table({{"A", 1}, {"B", 15000}});
        QTest::newRow("clean") << twoGood << "";
        QTest::newRow("duplicate IDs") << TableTool::table({{"A", 7}, {"B", 2}, {"C", 7}})
                                       << "duplicate-id at 1: ID 7 is used 2 times, at positions 1, 3\n";
        QTest::newRow("IDs out of range") << TableTool::table({{"A", 0}, {"B", 15001}})
                                          << "id-range at 1: ID 0 is outside 1..15000\n"
                                             "id-range at 2: ID 15001 is outside 1..15000\n";
        QTest::newRow("name without NUL") << TableTool::table({{QByteArray(64, 'N'), 1}})
                                          << "name-without-nul at 1: the name fills all 64 bytes without an "
                                             "ending NUL\n";
        QTest::newRow("header fields")
            << BallFileBytes::header(144, 1, 8, 32, 0xFFF0, 0, 9) + twoGood.mid(32)
            << "header: Sig_D is 65520; the editor needs -16\nheader: Reserved_2 is 9; the editor needs 0\n";
        QTest::newRow("fewer balls than announced")
            << BallFileBytes::header(216) + twoGood.mid(32)
            << "header: Data_Size announces 3 balls; the file holds 2\n";
        QTest::newRow("no ball announced") << BallFileBytes::header(0) + twoGood.mid(32)
                                           << "header: Data_Size is 0, which announces no ball\n";
    }
    void checkReportsFindings() {
        const QTemporaryDir dir;
        QFETCH(QByteArray, table);
        QFETCH(QString, report);
        for (const Form form : {Form::Table, Form::Container}) {
            const QString file = write(dir, QStringLiteral("check.bin"), TableTool::inForm(form, table));
            const TableTool::Run text = TableTool::run({"check", file});
            QCOMPARE(text.code, report.isEmpty() ? 0 : 1);
            QCOMPARE(QString::fromUtf8(text.out), report);

            const TableTool::Run json = TableTool::run({"check", file, "--format", "json"});
            QCOMPARE(json.code, text.code);
            const QJsonObject result = QJsonDocument::fromJson(json.out).object();
            QCOMPARE(result.value("clean").toBool(), report.isEmpty());
            QStringList kinds;
            for (const QJsonValue finding : result.value("findings").toArray())
                kinds << finding.toObject().value("kind").toString();
            QStringList reported;
            for (const QString& line : report.split(u'\n', Qt::SkipEmptyParts))
                reported << line.section(u':', 0, 0).section(u' ', 0, 0);
            QCOMPARE(kinds, reported);
        }
    }

    void diffReportsFieldByField_data() {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("report");
        QTest::newRow("by position") << QStringList()
                                     << "changed 1: id 1 -> 2; name \"Alpha\" -> \"Beta\"\n"
                                        "changed 2: id 2 -> 1; producer 5 -> 6; name \"Beta\" -> \"Alpha\"\n"
                                        "changed 3: pole 0 -> 4\n"
                                        "removed 4: id 4, producer 5, mode 1, pole 0, name \"Del\\\"ta\"\n";
        QTest::newRow("by ID")
            << QStringList{"--by-id"}
            << "changed id 1: position 1 -> 2; producer 5 -> 6\n"
               "changed id 2: position 2 -> 1\n"
               "changed id 3: pole 0 -> 4\n"
               "removed id 4 from 4: id 4, producer 5, mode 1, pole 0, name \"Del\\\"ta\"\n";
    }
    void diffReportsFieldByField() {
        const QTemporaryDir dir;
        QFETCH(QStringList, options);
        QFETCH(QString, report);
        const QString a = write(dir, QStringLiteral("a.bin"),
                                TableTool::table({{"Alpha", 1}, {"Beta", 2}, {"Gamma", 3}, {"Del\"ta", 4}}));
        const QString b =
            write(dir, QStringLiteral("b.bin"),
                  TableTool::inForm(Form::Stream,
                                    TableTool::table({{"Beta", 2}, {"Alpha", 1, 6}, {"Gamma", 3, 5, 1, 4}})));
        const TableTool::Run run = TableTool::run(QStringList{"diff", a, b} + options);
        QCOMPARE(run.code, 1);
        QCOMPARE(QString::fromUtf8(run.out), report);
        const TableTool::Run added = TableTool::run(QStringList{"diff", b, a} + options);
        QVERIFY(added.out.contains("added "));
        const TableTool::Run same = TableTool::run(QStringList{"diff", a, a} + options);
        QCOMPARE(same.code, 0);
        QVERIFY(same.out.isEmpty());
    }

    void usageAndFailuresHaveTheirExitCodes_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("nothing") << QStringList() << 2 << "usage: vestrel-table COMMAND";
        QTest::newRow("unknown command")
            << QStringList{"frob"} << 2 << "vestrel-table: unknown command \"frob\"";
        QTest::newRow("unknown option") << QStringList{"list", "--frob", "x"} << 2 << "Unknown option 'frob'";
        QTest::newRow("arguments missing") << QStringList{"diff", "x"} << 2 << "wrong number of arguments";
        QTest::newRow("add without --id") << QStringList{"add", "x"} << 2 << "--id is required";
        QTest::newRow("no such file")
            << QStringList{"list", "missing.bin"} << 1 << "missing.bin: no such file";
        QTest::newRow("not a game file")
            << QStringList{"list", "junk.bin"} << 1 << "neither a ball table nor a compressed game file";
        QTest::newRow("import over another compressed file")
            << QStringList{"import", "other.zlib", "t.csv"} << 1
            << "other.zlib: neither a ball table nor a compressed game file";
        QTest::newRow("no ball there")
            << QStringList{"set", "game.bin", "2", "id=5"} << 1 << "no ball at position 2 (the table has 1)";
        QTest::newRow("bad number") << QStringList{"set", "game.bin", "1", "mode=40000"} << 1
                                    << "mode=40000: not a number from -32768 to 32767";
        QTest::newRow("new ID out of range") << QStringList{"add", "game.bin", "--id", "15001"} << 1
                                             << "a new ball's ID must be a number from 1 to 15000";
        QTest::newRow("export over its source") << QStringList{"export", "game.bin", "-o", "game.bin"} << 1
                                                << "the export would replace the table it reads";
    }
    void usageAndFailuresHaveTheirExitCodes() {
        const QTemporaryDir dir;
        QFETCH(QStringList, arguments);
        QFETCH(int, code);
        QFETCH(QString, message);
        const QByteArray game = TableTool::table({{"One", 1}});
        write(dir, QStringLiteral("game.bin"), game);
        write(dir, QStringLiteral("junk.bin"), "not a ball file at all");
        write(dir, QStringLiteral("other.zlib"), qCompress("not a ball file at all").mid(4));
        write(dir, QStringLiteral("t.csv"), "position,id,producer,mode,pole,name\n1,1,5,1,0,A\n");
        QDir::setCurrent(dir.path());
        const TableTool::Run run = TableTool::run(arguments);
        QCOMPARE(run.code, code);
        QVERIFY2(QString::fromUtf8(run.err).contains(message), run.err.constData());
        QCOMPARE(BallFileBytes::readFile(dir.filePath("game.bin")), game);
    }

    // A save cut short in the middle of writing the file in place: the next
    // command puts the old table back first and says so.
    void aSaveCutShortIsPutBackAndSaid() {
        const QTemporaryDir dir;
        const QByteArray old = TableTool::table({{"Old", 1}});
        const QByteArray torn = TableTool::inForm(Form::Stream, TableTool::table({{"New", 2}}));
        const QString game = write(dir, QStringLiteral("game.bin"), old);
#ifndef Q_OS_WIN
        // A file with a second name is written in place (as every file is on Windows).
        QCOMPARE(::link(QFile::encodeName(game).constData(),
                        QFile::encodeName(dir.filePath("second")).constData()),
                 0);
#endif
        const auto data = reinterpret_cast<const unsigned char*>(torn.constData());
        QVERIFY(interruptInPlaceWrite(game.toStdU16String(), {data, std::size_t(torn.size())}, EIO));
        QVERIFY(BallFileBytes::readFile(game) != old);
        const TableTool::Run run = TableTool::run({"list", game});
        QCOMPARE(run.code, 0);
        QVERIFY2(run.err.contains("was cut short") && run.err.contains("was put back"), run.err.constData());
        QVERIFY(run.out.startsWith("1 : Old\t"));
        QCOMPARE(BallFileBytes::readFile(game), old);
        QVERIFY(QDir(dir.path()).entryList({".vestrel-undo-*"}, QDir::Files | QDir::Hidden).isEmpty());
    }

    void everyCommandHasHelp() {
        for (const char* command : {"list", "export", "import", "set", "add", "check", "diff"}) {
            const TableTool::Run run = TableTool::run({command, "--help"});
            QCOMPARE(run.code, 0);
            QVERIFY(run.out.startsWith(QByteArray("usage: vestrel-table ") + command + ' '));
        }
    }
};

QTEST_GUILESS_MAIN(VestrelTableProgramTest)
#include "vestrel_table_program_test.moc"
