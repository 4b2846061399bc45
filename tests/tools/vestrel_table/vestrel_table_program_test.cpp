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

#ifdef Q_OS_UNIX
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using TableTool::Form;
using TableTool::RawBall;

Q_DECLARE_METATYPE(TableTool::Form)

// vestrel-table run as a user runs it: the round trip through CSV and JSON,
// the rows import refuses, the files spreadsheets write, dry runs, backups
// and removals, check's findings, diff's report and the usage rules.
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
        QTest::addColumn<QStringList>("exportOptions");
        QTest::addColumn<QStringList>("importOptions");
        QTest::addColumn<QByteArray>("start");
        for (const auto& [form, name] :
             {std::pair{Form::Table, "table"}, std::pair{Form::Stream, "bare stream"},
              std::pair{Form::Container, "container"}})
            for (const char* format : {"csv", "json"})
                QTest::addRow("%s %s", name, format)
                    << form << QString::fromLatin1(format) << QStringList() << QStringList()
                    << QByteArray(format[0] == 'c' ? "position,id," : "{");
        // What a spreadsheet opens with a double click, and what it saves.
        QTest::newRow("semicolons, UTF-8 with its mark")
            << Form::Stream << "csv" << QStringList{"--delimiter", ";", "--encoding", "utf-8-bom"}
            << QStringList() << QByteArray("\xEF\xBB\xBFposition;id;");
        QTest::newRow("tabs, Windows-1250")
            << Form::Container << "csv" << QStringList{"--delimiter", "tab", "--encoding", "cp1250"}
            << QStringList{"--encoding", "cp1250"} << QByteArray("position\tid\t");
    }
    void exportThenImportGivesTheSameBytes() {
        const QTemporaryDir dir;
        QFETCH(Form, form);
        QFETCH(QString, format);
        QFETCH(QStringList, exportOptions);
        QFETCH(QStringList, importOptions);
        QFETCH(QByteArray, start);
        const QByteArray original = TableTool::inForm(form, TableTool::table(everyByteBalls()));
        const QString source = write(dir, QStringLiteral("source.bin"), original);
        const QString text = dir.filePath(QStringLiteral("table.") + format);
        const TableTool::Run exported =
            TableTool::run(QStringList{"export", source, "--format", format, "-o", text} + exportOptions);
        QVERIFY2(exported.code == 0, exported.err.constData());
        QVERIFY(BallFileBytes::readFile(text).startsWith(start));
        // Standard output gets the same bytes, the names' line breaks too,
        // and so does "-o -".
        for (const QStringList& output : {QStringList(), QStringList{"-o", "-"}}) {
            const TableTool::Run toOutput =
                TableTool::run(QStringList{"export", source, "--format", format} + output + exportOptions);
            QCOMPARE(toOutput.out, BallFileBytes::readFile(text));
        }

        // Imported into another file of the same form, even one whose table
        // no longer loads, the table becomes the exported one, in that form,
        // byte for byte.
        const QString target =
            write(dir, QStringLiteral("target.bin"),
                  TableTool::inForm(form, TableTool::table({{QByteArray(64, 'N'), 9, 9, 9, 9}})));
        const TableTool::Run imported =
            TableTool::run(QStringList{"import", target, text, "--replace"} + importOptions);
        QVERIFY2(imported.code == 0, imported.err.constData());
        QCOMPARE(imported.err,
                 "vestrel-table: " + target.toUtf8() +
                     ": a table that did not load before, 6 balls after: 6 added, 0 changed, 0 removed\n");
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
             "t.csv: line 2, column id: 40000 is outside -32768..32767"},
            {"new ID 0", true, "t.csv", header + ",0,5,1,0,A\n",
             "line 2, column id: 0: a new ball's ID must be 1 to 15000"},
            {"new ID 15001", true, "t.csv", header + ",1,5,1,0,A\n,15001,5,1,0,B\n",
             "line 3, column id: 15001: a new ball's ID must be 1 to 15000"},
            {"name of 64 bytes", false, "t.csv", header + "1,1,5,1,0," + QByteArray(64, 'x'),
             "line 2, column name: is 64 bytes long; a name holds at most 63"},
            {"name outside the code page", false, "t.csv", header + "1,1,5,1,0,\xE4\xB8\xAD\n",
             "line 2, column name: holds U+4E2D, which the code page cannot hold"},
            {"name with NUL", false, "t.json",
             R"([{"position":1,"id":1,"producer":5,"mode":1,"pole":0,"name":"a\u0000b"}])",
             "t.json: line 1, field name: holds a NUL character"},
            {"text not UTF-8", false, "t.csv", header + "1,1,5,1,0,A\n2,2,5,1,0,\xB3\n",
             "t.csv: line 3 is not UTF-8 text; a file saved as Windows-1250 (\"ANSI\", as Polish "
             "spreadsheets "
             "save it) is read with --encoding cp1250"},
            {"UTF-16 without its mark", false, "t.csv", QByteArray("p\0o\0s\0", 6),
             "as UTF-16 text without a byte-order mark does"},
            {"not a number", false, "t.csv", header + "1,1,abc,1,0,A\n",
             "line 2, column producer: not a number: \"abc\""},
            {"value missing", false, "t.csv", header + "1,1,5,,0,A\n", "line 2, column mode: missing"},
            {"fields missing", false, "t.csv", header + "1,1,5,1,0,A\n2,2,5,1\n",
             "line 3: 4 fields where the header has 6"},
            {"a value past the header", false, "t.csv", header + "1,1,5,1,0,A,,x\n",
             "line 2: a value in field 8, past the 6 columns the header names"},
            {"quote not closed", false, "t.csv", header + "1,1,5,1,0,\"A\n", "line 2: not CSV"},
            {"position twice", false, "t.csv", header + "1,1,5,1,0,A\n1,2,5,1,0,B\n",
             "line 3, column position: 1 is given twice"},
            {"position past the end", false, "t.csv", header + "3,1,5,1,0,A\n",
             "line 2, column position: 3 is not a position from 1 to 1"},
            {"column missing", false, "t.csv", "position,id,producer,mode,name\n",
             "line 1: column \"pole\" missing from the header"},
            {"header split by another delimiter", false, "t.csv",
             "position|id|producer|mode|pole|name\n1|1|5|1|0|A\n",
             "line 1: unknown column \"position|id|producer|mode|pole|name\""},
            {"no balls", false, "t.csv", header, "no balls: a table holds at least one"},
            {"past the table's limit", true, "t.csv", full, "32768 balls; a table holds at most 32767"},
            {"JSON name not text", false, "t.json",
             R"({"balls":[{"position":1,"id":1,"producer":5,"mode":1,"pole":0,"name":5}]})",
             "line 1, field name: not a string"},
            {"JSON unknown field", false, "t.json",
             R"([{"position":1,"id":1,"producer":5,"mode":1,"pole":0,"name":"A","colour":2}])",
             "line 1, field colour: unknown field"},
            {"not JSON", false, "t.json", "[\n{", "t.json: line 2: not JSON"},
            // Numbers are whole: nothing is rounded, in any column, in
            // either format.
            {"CSV fraction", false, "t.csv", header + "1,10.5,5,1,0,A\n",
             "line 2, column id: 10.5: write a whole number, without a decimal point or exponent"},
            {"CSV exponent", true, "t.csv", header + ",1e3,5,1,0,A\n",
             "line 2, column id: 1e3: write a whole number"},
            {"CSV decimal comma", false, "t.csv", "position;id;producer;mode;pole;name\n1;1;5,5;1;0;A\n",
             "line 2, column producer: 5,5: write a whole number"},
            {"CSV zero fraction", false, "t.csv", header + "1.0,1,5,1,0,A\n",
             "line 2, column position: 1.0: write a whole number"},
            {"JSON fraction", false, "t.json",
             "{\"balls\": [\n {\"position\": 1, \"id\": 1, \"producer\": 5, \"mode\": 1, \"pole\": 0, "
             "\"name\": \"A\"},\n {\"position\": 2, \"id\": 2, \"producer\": 5, \"mode\": 5.5, \"pole\": 0, "
             "\"name\": \"B\"}\n]}",
             "t.json: line 3, field mode: 5.5: write a whole number"},
            {"JSON exponent", true, "t.json", R"([{"id":1,"pole":1E1,"name":"A"}])",
             "line 1, field pole: 1E1: write a whole number"},
            {"JSON zero fraction", false, "t.json",
             R"([{"position":1,"id":10.0,"producer":5,"mode":1,"pole":0,"name":"A"}])",
             "line 1, field id: 10.0: write a whole number"},
            // The file's own lines count: the blank one, and those of a name
            // that holds a line break. A bad row has its own error only; the
            // rows after it are checked against the whole table.
            {"line numbers", false, "t.csv",
             header + "1,1,5,1,0,\"two\r\nlines\"\r\n\r\n2,2,x,1,0,B\r\n3,3,5,1,0,C\r\n",
             "t.csv: line 5, column producer: not a number: \"x\""},
            {"bad row among good ones", false, "t.csv",
             header + "1,1,5,1,0,A\n2,2,5,1,0\n3,3,5,1,0,C\n4,4,5,1,0,D\n",
             "line 3: 5 fields where the header has 6"},
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
        const TableTool::Run run = TableTool::run(QStringList{"import", game, table} +
                                                  (options.isEmpty() ? QStringList{"--replace"} : options));
        QCOMPARE(run.code, 1);
        QVERIFY2(QString::fromUtf8(run.err).contains(expected), run.err.constData());
        // One fault, one error, and then the file named as unchanged.
        QCOMPARE(run.err.count('\n'), 2);
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
        QTest::newRow("name garbled by a wrong encoding")
            << TableTool::table({{"Z\xC5\x82ota", 1}})
            << "name-encoding at 1: \"ZĹ‚ota\" looks like \"Złota\" saved as UTF-8 and read as "
               "Windows-1250\n";
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

    // The files LibreOffice Calc wrote (spreadsheet/make-fixtures): each is
    // taken with the names the sheet held, or refused with the cause and the
    // option that reads it.
    void spreadsheetFilesImport_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("refusal");
        QTest::addColumn<QStringList>("warnings");
        const QStringList none;
        const QString accepted;
        const QStringList cp1250{"--encoding", "cp1250"};
        QTest::newRow("semicolons") << "semicolon.csv" << none << accepted << none;
        QTest::newRow("tabs, UTF-16") << "utf-16.csv" << none << accepted << none;
        QTest::newRow("UTF-8 with its mark") << "utf-8-bom.csv" << none << accepted << none;
        QTest::newRow("empty columns after the names") << "trailing-columns.csv" << none << accepted << none;
        QTest::newRow("Windows-1250 as such") << "windows-1250.csv" << cp1250 << accepted << none;
        QTest::newRow("Windows-1250, CR LF") << "windows-1250-crlf.csv" << cp1250 << accepted << none;
        QTest::newRow("Windows-1250 read as UTF-8")
            << "windows-1250.csv" << none << "line 2 is not UTF-8 text; a file saved as Windows-1250" << none;
        QTest::newRow("a delimiter forced wrongly")
            << "semicolon.csv" << QStringList{"--delimiter", ","}
            << "the header is not split by commas but holds semicolons: say --delimiter ';'" << none;
        QTest::newRow("a marked file read as Windows-1250")
            << "utf-16.csv" << cp1250 << "starts with a UTF-16 byte-order mark" << none;
        // Our UTF-8 export opened as Windows-1250 and saved: kept as
        // written, with a warning for each name.
        QTest::newRow("names garbled by a wrong encoding")
            << "garbled.csv" << none << accepted
            << QStringList{"line 2, column name: \"ZĹ‚ota PiĹ‚ka\" looks like \"Złota Piłka\"",
                           "line 3, column name: \"Gwiazda nocÄ…\" looks like \"Gwiazda nocą\"",
                           "line 4, column name: \"Ĺ»ĂłĹ‚w\" looks like \"Żółw\""};
    }
    void spreadsheetFilesImport() {
        const QTemporaryDir dir;
        QFETCH(QString, file);
        QFETCH(QStringList, options);
        QFETCH(QString, refusal);
        QFETCH(QStringList, warnings);
        const QByteArray original = TableTool::inForm(Form::Stream, TableTool::table({{"One", 1}}));
        const QString game = write(dir, QStringLiteral("game.bin"), original);
        const QString sheet = qEnvironmentVariable("VESTREL_SOURCE_DIR") +
                              QStringLiteral("/tests/tools/vestrel_table/spreadsheet/") + file;
        QVERIFY(QFileInfo::exists(sheet));
        const TableTool::Run run = TableTool::run(QStringList{"import", game, sheet, "--replace"} + options);
        const QString err = QString::fromUtf8(run.err);
        if (!refusal.isEmpty()) {
            QCOMPARE(run.code, 1);
            QVERIFY2(err.contains(refusal), run.err.constData());
            QCOMPARE(BallFileBytes::readFile(game), original);
            return;
        }
        QVERIFY2(run.code == 0, run.err.constData());
        QCOMPARE(err.count(QStringLiteral("warning: ")), warnings.size());
        for (const QString& warning : warnings)
            QVERIFY2(err.contains(warning), run.err.constData());
        const QString list = QString::fromUtf8(TableTool::run({"list", game}).out);
        const QStringList names = warnings.isEmpty()
                                      ? QStringList{"Złota Piłka", "Łódź; nocą", "Żółw Ęń"}
                                      : QStringList{"ZĹ‚ota PiĹ‚ka", "Gwiazda nocÄ…", "Ĺ»ĂłĹ‚w"};
        QCOMPARE(list, QStringLiteral("1 : %1\tid 1\tproducer 5\tmode 1\tpole 0\n"
                                      "2 : %2\tid 7\tproducer 5\tmode 1\tpole 0\n"
                                      "3 : %3\tid 12\tproducer 2\tmode 16\tpole 0\n")
                           .arg(names[0], names[1], names[2]));
    }

    // Every command that changes a file: a dry run prints what would change
    // and writes nothing; -b keeps the file as it was as FILE~.
    void changesCanBeDryRunAndBackedUp_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("changes");
        QTest::addColumn<QString>("summary");
        const QString pack = QStringLiteral("pack.csv");
        QTest::newRow("import --replace")
            << QStringList{"import", "game.bin", pack, "--replace"}
            << "changed 1: id 1 -> 50; name \"One\" -> \"Fifty\"\nremoved 2: id 2, producer 5, mode 1, pole "
               "0, "
               "name \"Two\"\nremoved 3: id 3, producer 5, mode 1, pole 0, name \"Three\"\n"
            << "game.bin: 3 balls before, 1 ball after: 0 added, 1 changed, 2 removed";
        QTest::newRow("import --append")
            << QStringList{"import", "game.bin", pack, "--append"}
            << "added 4: id 50, producer 5, mode 1, pole 0, name \"Fifty\"\n"
            << "game.bin: 3 balls before, 4 balls after: 1 added, 0 changed, 0 removed";
        QTest::newRow("set") << QStringList{"set", "game.bin", "2", "name=Deux"}
                             << "changed 2: name \"Two\" -> \"Deux\"\n"
                             << QString();
        QTest::newRow("add") << QStringList{"add", "game.bin", "--id", "9"}
                             << "added 4: id 9, producer 5, mode 1, pole 0, name \"\"\n"
                             << QString();
        QTest::newRow("remove") << QStringList{"remove", "game.bin", "1", "--id", "3"}
                                << "removed 1: id 1, producer 5, mode 1, pole 0, name \"One\"\n"
                                   "removed 3: id 3, producer 5, mode 1, pole 0, name \"Three\"\n"
                                << "game.bin: 3 balls before, 1 ball after: 0 added, 0 changed, 2 removed";
    }
    void changesCanBeDryRunAndBackedUp() {
        const QTemporaryDir dir;
        QFETCH(QStringList, arguments);
        QFETCH(QString, changes);
        QFETCH(QString, summary);
        const QByteArray original =
            TableTool::inForm(Form::Container, TableTool::table({{"One", 1}, {"Two", 2}, {"Three", 3}}));
        write(dir, QStringLiteral("game.bin"), original);
        write(dir, QStringLiteral("pack.csv"), "Name;ID;Position;Producer;Mode;Pole\r\nFifty;50;1;5;1;0\r\n");
        QDir::setCurrent(dir.path());

        const TableTool::Run dry = TableTool::run(arguments + QStringList{"--dry-run"});
        QVERIFY2(dry.code == 0, dry.err.constData());
        QCOMPARE(QString::fromUtf8(dry.out), changes);
        QCOMPARE(QString::fromUtf8(dry.err),
                 summary.isEmpty() ? QString()
                                   : "vestrel-table: " + summary + " (dry run: nothing written)\n");
        QCOMPARE(BallFileBytes::readFile(dir.filePath("game.bin")), original);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);

        const TableTool::Run done = TableTool::run(arguments + QStringList{"-b"});
        QVERIFY2(done.code == 0, done.err.constData());
        QCOMPARE(QString::fromUtf8(done.err),
                 summary.isEmpty() ? QString() : "vestrel-table: " + summary + "\n");
        QCOMPARE(BallFileBytes::readFile(dir.filePath("game.bin~")), original);
        QCOMPARE(TableTool::run({"diff", "game.bin~", "game.bin"}).code, 1);
    }

    void removeTakesBallsOutAndMovesTheRestUp_data() {
        QTest::addColumn<QStringList>("which");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("result");
        QTest::newRow("positions") << QStringList{"4", "2"} << 0 << "1 : A\n2 : C\n3 : E\n";
        QTest::newRow("every ball with an ID") << QStringList{"--id", "7"} << 0 << "1 : B\n2 : C\n3 : D\n";
        QTest::newRow("both") << QStringList{"5", "--id", "2"} << 0 << "1 : A\n2 : C\n3 : D\n";
        QTest::newRow("no ball there") << QStringList{"6"} << 1 << "no ball at position 6 (the table has 5)";
        QTest::newRow("no such ID") << QStringList{"--id", "8"} << 1 << "no ball has ID 8";
        QTest::newRow("every ball") << QStringList{"1", "2", "3", "4", "5"} << 1
                                    << "that would remove every ball; a table holds at least one";
        QTest::newRow("not a position") << QStringList{"1.5"} << 2 << "POSITION must be a whole number: 1.5";
        QTest::newRow("nothing named") << QStringList() << 2 << "say which balls: by POSITION or by --id N";
    }
    void removeTakesBallsOutAndMovesTheRestUp() {
        const QTemporaryDir dir;
        QFETCH(QStringList, which);
        QFETCH(int, code);
        QFETCH(QString, result);
        const QByteArray original = TableTool::table({{"A", 7}, {"B", 2}, {"C", 3}, {"D", 4}, {"E", 7}});
        const QString game = write(dir, QStringLiteral("game.bin"), original);
        const TableTool::Run run = TableTool::run(QStringList{"remove", game} + which);
        QCOMPARE(run.code, code);
        if (code != 0) {
            QVERIFY2(QString::fromUtf8(run.err).contains(result), run.err.constData());
            QCOMPARE(BallFileBytes::readFile(game), original);
            return;
        }
        QString names;
        for (const QString& line :
             QString::fromUtf8(TableTool::run({"list", game}).out).split(u'\n', Qt::SkipEmptyParts))
            names += line.section(u'\t', 0, 0) + u'\n';
        QCOMPARE(names, result);
    }

    void importSaysWhatEachModeWouldDo() {
        const QTemporaryDir dir;
        const QByteArray original = TableTool::table({{"One", 1}, {"Two", 2}});
        const QString game = write(dir, QStringLiteral("game.bin"), original);
        const QString pack =
            write(dir, QStringLiteral("pack.json"), R"({"balls": [{"id": 5, "name": "Five"}]})");
        const TableTool::Run run = TableTool::run({"import", game, pack});
        QCOMPARE(run.code, 2);
        QCOMPARE(
            QString::fromUtf8(run.err),
            QStringLiteral("vestrel-table: import replaces the table or adds to it only when told which; "
                           "nothing was changed\n"
                           "  --replace  %1's 2 balls are replaced by the 1 ball of %2\n"
                           "  --append   the 1 ball of %2 is added after them (3 in all)\n"
                           "see: vestrel-table import --help\n")
                .arg(game, pack));
        QCOMPARE(BallFileBytes::readFile(game), original);
    }

    // "-" is standard input for import and standard output for -o, and -o
    // writes into a FIFO rather than putting a file in its place.
    void standardStreamsAndFifos() {
        const QTemporaryDir dir;
        const QString game = write(dir, QStringLiteral("game.bin"), TableTool::table({{"One", 1}}));
        const TableTool::Run json =
            TableTool::run({"import", game, "-", "--append"}, R"([{"id": 2, "name": "Dwa"}])");
        QVERIFY2(json.code == 0, json.err.constData());
        const TableTool::Run csv = TableTool::run({"import", game, "-", "--append"}, "ID;NAME\r\n3;Trzy\r\n");
        QVERIFY2(csv.code == 0, csv.err.constData());
        QCOMPARE(TableTool::run({"list", game}).out.count('\n'), 3);
        QVERIFY(!QFileInfo::exists(dir.filePath("-")));

        const TableTool::Run version = TableTool::run({"--version"});
        QCOMPARE(version.code, 0);
        QVERIFY(version.out.startsWith("vestrel-table ") && version.out.count('.') == 2);
#ifdef Q_OS_UNIX
        const QString fifo = dir.filePath(QStringLiteral("fifo"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QProcess reader;
        reader.start(QStringLiteral("cat"), {fifo});
        const TableTool::Run exported = TableTool::run({"export", game, "-o", fifo});
        QVERIFY2(exported.code == 0, exported.err.constData());
        QVERIFY(reader.waitForFinished(10000));
        QCOMPARE(reader.readAllStandardOutput(), TableTool::run({"export", game}).out);
        QVERIFY(QFileInfo(fifo).exists() && !QFileInfo(fifo).isFile());
#endif
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
            << QStringList{"import", "other.zlib", "t.csv", "--replace"} << 1
            << "other.zlib: neither a ball table nor a compressed game file";
        QTest::newRow("import told both")
            << QStringList{"import", "game.bin", "t.csv", "--replace", "--append"} << 2
            << "--replace and --append exclude each other";
        QTest::newRow("a delimiter for JSON")
            << QStringList{"export", "game.bin", "--format", "json", "--delimiter", ";"} << 2
            << "--delimiter is for CSV";
        QTest::newRow("an unknown delimiter")
            << QStringList{"import", "game.bin", "t.csv", "--replace", "--delimiter", "|"} << 2
            << "--delimiter takes ',', ';' or tab";
        QTest::newRow("an unknown encoding") << QStringList{"export", "game.bin", "--encoding", "latin2"} << 2
                                             << "--encoding takes utf-8, utf-8-bom or cp1250";
        QTest::newRow("set without a field")
            << QStringList{"set", "game.bin", "1"} << 2 << "say what to change: FIELD=VALUE";
        // 1 means findings or differences; an error is 2, as for diff and cmp.
        QTest::newRow("check of a missing file")
            << QStringList{"check", "missing.bin"} << 2 << "no such file";
        QTest::newRow("diff with a missing file")
            << QStringList{"diff", "game.bin", "missing.bin"} << 2 << "missing.bin: no such file";
        QTest::newRow("a backup that cannot be kept")
            << QStringList{"add", "game.bin", "--id", "5", "-b"} << 1 << "game.bin: not changed";
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
        QDir(dir.path()).mkdir(QStringLiteral("game.bin~"));
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
#ifdef Q_OS_UNIX
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

    // Under pressure the table stays and the message says why: a write past
    // a file-size limit fails with its cause (the signal it sends is
    // ignored), and a table that does not fit in the memory left is refused.
    void limitsEndInAMessage() {
        const QTemporaryDir dir;
        const QByteArray game = TableTool::inForm(Form::Stream, TableTool::table({{"One", 1}}));
        const QString gamePath = write(dir, QStringLiteral("game.bin"), game);
        // More text than the largest table could need is refused unread
        // (sparse, so it costs no disk).
        QFile huge(dir.filePath(QStringLiteral("huge.csv")));
        QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(qint64(32767) * 1024 + 1));
        huge.close();
        const TableTool::Run refused = TableTool::run({"import", "--append", gamePath, huge.fileName()});
        QVERIFY2(refused.code == 1 && refused.err.contains("no table of 32767 balls needs that many"),
                 refused.err.constData());
        QVERIFY(huge.remove());
#ifndef Q_OS_UNIX
        QSKIP("needs POSIX resource limits");
#else
        QJsonArray balls;
        for (int i = 0; i < 32767; ++i)
            balls.append(QJsonObject{
                {"position", i + 1},
                {"id", i},
                {"producer", -i},
                {"mode", i % 1024},
                {"pole", 0},
                {"name", QString(58, QChar(0x20AC)) + QString::number(i).rightJustified(5, u'0')}});
        const QString json =
            write(dir, QStringLiteral("pack.json"),
                  QJsonDocument(QJsonObject{{"balls", balls}}).toJson(QJsonDocument::Compact));
        struct Case {
            const char* what;
            int resource;
            rlim_t limit;
        };
        const Case cases[] = {
            {"File too large", RLIMIT_FSIZE, 64 << 10},
#if !defined(__SANITIZE_ADDRESS__) // the sanitizer cannot start under an address-space limit
            {"not enough memory", RLIMIT_AS, 120 << 20}
#endif
        };
        for (const Case& c : cases) {
            const TableTool::Run run = TableTool::run({"import", "--replace", gamePath, json}, {}, [c] {
                std::signal(SIGXFSZ, SIG_DFL);
                rlimit limit{};
                getrlimit(c.resource, &limit);
                limit.rlim_cur = c.limit;
                setrlimit(c.resource, &limit);
            });
            QVERIFY2(run.code == 1 && run.err.contains(c.what), run.err.constData());
            QCOMPARE(BallFileBytes::readFile(gamePath), game);
            QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
        }
#endif
    }

    // A file name that is not UTF-8 (here the bytes FF and FE, as an old
    // system may have written them) still names its file, for reading and
    // for writing; messages show such a byte as "?".
    void fileNamesThatAreNotUtf8() {
#ifndef Q_OS_LINUX
        QSKIP("only POSIX file names are bytes");
#else
        const QTemporaryDir dir;
        const QByteArray game =
            TableTool::inForm(Form::Container, TableTool::table({{"One", 1}, {"Two", 2}}));
        const QByteArray name = QFile::encodeName(dir.path()) + "/gra\xFF\xFE.bin";
        QFile file;
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        QVERIFY(fd >= 0 && file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle));
        QCOMPARE(file.write(game), game.size());
        file.close();
        const auto shell = [&](const QByteArray& line) {
            QProcess process;
            process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QString::fromLatin1(line)});
            process.waitForFinished(60000);
            return TableTool::Run{process.exitCode(), process.readAllStandardOutput(),
                                  process.readAllStandardError()};
        };
        const QByteArray tool = QFile::encodeName(TableTool::program());
        const QByteArray folder = QFile::encodeName(dir.path());
        const QByteArray path = "\"" + folder + "/gra$(printf '\\377\\376').bin\"";
        QVERIFY(shell(tool + " list " + path).out.contains("2 : Two"));
        const TableTool::Run set = shell(tool + " set " + path + " 2 name=Renamed");
        QVERIFY2(set.code == 0, set.err.constData());
        QVERIFY(shell(tool + " list " + path).out.contains("2 : Renamed"));
        const TableTool::Run missing = shell(tool + " list \"" + folder + "/missing$(printf '\\377').bin\"");
        QCOMPARE(missing.code, 1);
        QVERIFY2(missing.err.contains("missing?.bin: no such file"), missing.err.constData());
#endif
    }

    // A name given to set or add is taken as the window's name box takes it:
    // composed, line breaks as spaces, other control characters left out;
    // what the code page cannot hold is refused, not turned into '?'.
    void namesAreTakenAsTheBoxTakesThem() {
        const QTemporaryDir dir;
        const QString game = write(dir, QStringLiteral("game.bin"), TableTool::table({{"One", 1}}));
        const std::pair<QString, QString> names[] = {
            {QStringLiteral("Line1\nLine2"), QStringLiteral("Line1 Line2")},
            {QStringLiteral("Cafe\u0301\tBell\u0007"), QStringLiteral("Caf\u00E9 Bell")},
        };
        for (const auto& [given, kept] : names) {
            const TableTool::Run set = TableTool::run({"set", game, "1", "name=" + given});
            QVERIFY2(set.code == 0, set.err.constData());
            const TableTool::Run add = TableTool::run({"add", game, "--id", "9", "--name", given});
            QVERIFY2(add.code == 0, add.err.constData());
            const QString listed = QString::fromUtf8(TableTool::run({"list", game}).out);
            QVERIFY2(listed.startsWith("1 : " + kept + "\t") && listed.contains("\n2 : " + kept + "\t"),
                     qPrintable(listed));
            QCOMPARE(TableTool::run({"remove", game, "2"}).code, 0);
        }
        const TableTool::Run refused = TableTool::run({"set", game, "1", QStringLiteral("name=\u6F22")});
        QCOMPARE(refused.code, 1);
        QVERIFY(refused.err.contains("the name"));
    }

    void everyCommandHasHelp() {
        for (const char* command : {"list", "export", "import", "set", "add", "remove", "check", "diff"}) {
            const TableTool::Run run = TableTool::run({command, "--help"});
            QCOMPARE(run.code, 0);
            QVERIFY(run.out.startsWith(QByteArray("usage: vestrel-table ") + command + ' '));
        }
    }
};

QTEST_GUILESS_MAIN(VestrelTableProgramTest)
#include "vestrel_table_program_test.moc"
