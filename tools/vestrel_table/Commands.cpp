#include "tools/vestrel_table/Commands.h"

#include "ball_table/BallFile.h"
#include "ball_table/Baza.h"
#include "ball_table/EditRules.h"
#include "ball_table/NumberText.h"
#include "pipeline/table_file/TableFile.h"
#include "pipeline/table_text/TableReport.h"
#include "pipeline/table_text/TableText.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <functional>

namespace vestrel_table {

using namespace table_file;
using namespace table_text;

namespace {

constexpr int success = 0;
constexpr int failure = 1;
constexpr int usage = 2;

const char* const generalHelp =
    "usage: vestrel-table COMMAND [options] ARGUMENTS\n"
    "\n"
    "The ball table of a game file (compressed, bare or in a container) or of a\n"
    "decompressed table. Every change is written in the form the file was read\n"
    "in, to a temporary file first, and only then put over the file.\n"
    "\n"
    "commands:\n"
    "  list FILE                          one line per ball\n"
    "  export FILE [--format csv|json] [-o OUT]\n"
    "  import FILE TABLE [--append] [--format csv|json]\n"
    "  set FILE POSITION FIELD=VALUE...   change one ball (id, producer, mode, name)\n"
    "  add FILE --id N [--name NAME] [--producer N] [--mode N]\n"
    "  check FILE [--format text|json]    exit 1 when something is found\n"
    "  diff A B [--by-id]                 exit 1 when the tables differ\n"
    "\n"
    "vestrel-table COMMAND --help describes each command.\n"
    "Exit codes: 0 success, 1 failure or findings, 2 usage.\n";

struct Command {
    const char* name;
    const char* help;
    std::function<void(QCommandLineParser&)> options;
    std::function<int(const QCommandLineParser&, Output&)> action;
    int minArguments;
    int maxArguments; // -1: no limit
};

void fail(Output& output, const QString& message) {
    output.err += "vestrel-table: " + message.toUtf8() + '\n';
}

int usageError(Output& output, const QString& message, const char* command) {
    fail(output, message);
    output.err += QByteArray("see: vestrel-table ") + command + " --help\n";
    return usage;
}

// Told whether the command then succeeds or not: the read itself changed the file.
void noteRecovered(Output& output, const QString& path, bool recovered) {
    if (recovered)
        fail(output, recoveredNote(path));
}

std::optional<TableFile> load(const QString& path, Output& output) {
    ReadOutcome read = readTableFile(path);
    noteRecovered(output, path, read.recovered);
    if (!read.table)
        fail(output, read.error);
    return std::move(read.table);
}

std::optional<TextFormat> formatFrom(const QString& given, const QString& path) {
    const QString name = given.isEmpty() ? QFileInfo(path).suffix().toLower() : given.toLower();
    if (name == QLatin1String("csv"))
        return TextFormat::Csv;
    if (name == QLatin1String("json"))
        return TextFormat::Json;
    return std::nullopt;
}

bool sameFile(const QString& a, const QString& b) {
    const QString ca = QFileInfo(a).canonicalFilePath();
    return !ca.isEmpty() && ca == QFileInfo(b).canonicalFilePath();
}

void reportRowErrors(Output& output, const std::vector<RowError>& errors, const QString& table) {
    constexpr std::size_t shown = 20;
    for (std::size_t i = 0; i < std::min(errors.size(), shown); ++i) {
        const RowError& e = errors[i];
        QString where = table;
        if (e.row > 0)
            where += QStringLiteral(": row %1").arg(e.row);
        if (!e.column.isEmpty())
            where += QStringLiteral(", column %1").arg(e.column);
        fail(output, where + QStringLiteral(": ") + e.reason);
    }
    if (errors.size() > shown)
        fail(output, QStringLiteral("%1: %2 more errors").arg(table).arg(errors.size() - shown));
}

// Runs an edit on the table through Baza, exactly as the window holds and
// saves it: loaded from a decompressed file, edited, saved to one.
std::optional<QByteArray> editThroughBaza(const TableFile& table, const std::function<QString(Baza&)>& edit,
                                          Output& output) {
    QTemporaryDir dir;
    const std::optional<QByteArray> bytes = tableBytes(table.records);
    if (!dir.isValid() || !bytes) {
        fail(output, QStringLiteral("cannot make a working folder for the edit"));
        return std::nullopt;
    }
    const QString loaded = dir.filePath(QStringLiteral("table.unzlib"));
    const QString saved = dir.filePath(QStringLiteral("saved.unzlib"));
    Baza baza;
    // A scratch file, gone with the folder: it needs no sync.
    QFile scratch(loaded);
    if (!scratch.open(QIODevice::WriteOnly) || !BallFile::writeAll(scratch, *bytes) || !scratch.flush() ||
        !baza.Wczytaj(loaded)) {
        fail(output, QStringLiteral("cannot load the table for the edit"));
        return std::nullopt;
    }
    if (const QString problem = edit(baza); !problem.isEmpty()) {
        fail(output, problem);
        return std::nullopt;
    }
    QString error;
    std::optional<QByteArray> result;
    if (baza.Zapisz(saved))
        result = readBoundedFile(saved, &error);
    if (!result)
        fail(output, QStringLiteral("cannot save the edited table"));
    return result;
}

int writeBack(const QString& path, const TableFile& table, const QByteArray& bytes, Output& output) {
    if (const QString error = writeTableBytes(path, table, bytes); !error.isEmpty()) {
        fail(output, error);
        return failure;
    }
    return success;
}

QString escapedForLine(const QString& name) {
    const QString quoted = quotedName(name);
    return quoted.mid(1, quoted.size() - 2);
}

int listCommand(const QCommandLineParser& parser, Output& output) {
    const auto table = load(parser.positionalArguments().at(0), output);
    if (!table)
        return failure;
    QString text;
    for (qsizetype i = 0; i < table->count(); ++i) {
        const char* r = table->records.constData() + i * BallFile::recordSize;
        text += listLine(int(i) + 1, escapedForLine(BallFile::name(r))) +
                QStringLiteral("\tid %1\tproducer %2\tmode %3\tpole %4\n")
                    .arg(BallFile::field(r, BallFile::Field::ID))
                    .arg(BallFile::field(r, BallFile::Field::Mode))
                    .arg(BallFile::field(r, BallFile::Field::Mode2))
                    .arg(BallFile::field(r, BallFile::Field::Pole));
    }
    output.out += text.toUtf8();
    return success;
}

int exportCommand(const QCommandLineParser& parser, Output& output) {
    const QString path = parser.positionalArguments().at(0);
    const QString given = parser.value(QStringLiteral("format"));
    const std::optional<TextFormat> format =
        formatFrom(given.isEmpty() ? QStringLiteral("csv") : given, path);
    if (!format)
        return usageError(output, QStringLiteral("unknown format \"%1\" (csv or json)").arg(given), "export");
    const QString target = parser.value(QStringLiteral("output"));
    if (!target.isEmpty() && sameFile(target, path)) {
        fail(output, QStringLiteral("%1: the export would replace the table it reads").arg(target));
        return failure;
    }
    const auto table = load(path, output);
    if (!table)
        return failure;
    const QByteArray text =
        *format == TextFormat::Csv ? exportCsv(table->records) : exportJson(table->records);
    if (target.isEmpty()) {
        output.out += text;
        return success;
    }
    if (const QString error = replaceFile(target, text); !error.isEmpty()) {
        fail(output, error);
        return failure;
    }
    return success;
}

int importCommand(const QCommandLineParser& parser, Output& output) {
    const QString path = parser.positionalArguments().at(0);
    const QString textPath = parser.positionalArguments().at(1);
    const std::optional<TextFormat> format = formatFrom(parser.value(QStringLiteral("format")), textPath);
    if (!format)
        return usageError(output, QStringLiteral("say --format csv or json for %1").arg(textPath), "import");
    const ImportMode mode = parser.isSet(QStringLiteral("append")) ? ImportMode::Append : ImportMode::Replace;
    // A table replaced as a whole needs only its form: its old balls are not
    // kept, so a damaged table can be mended this way.
    ReadOutcome read = mode == ImportMode::Append ? readTableFile(path) : readTableForm(path);
    noteRecovered(output, path, read.recovered);
    if (!read.table) {
        fail(output, read.error);
        return failure;
    }
    TableFile* table = &*read.table;
    QString error;
    const std::optional<QByteArray> text = readBoundedFile(textPath, &error);
    if (!text) {
        fail(output, error);
        return failure;
    }
    BuiltRecords built = importText(*format, *text, mode, table->count());
    if (!built.errors.empty()) {
        reportRowErrors(output, built.errors, textPath);
        fail(output, QStringLiteral("%1: not changed").arg(path));
        return failure;
    }
    if (mode == ImportMode::Append)
        table->records += built.records;
    else
        table->records = std::move(built.records);
    if (const QString writeError = writeTableFile(path, *table); !writeError.isEmpty()) {
        fail(output, writeError);
        return failure;
    }
    return success;
}

// A number typed as the window's boxes read it; refused rather than stored
// as 0 when it is not one.
std::optional<std::int16_t> typedNumber(const QString& field, const QString& text, Output& output) {
    const std::optional<std::int16_t> value = readFieldValue(text);
    if (!value)
        fail(output, QStringLiteral("%1=%2: not a number from -32768 to 32767").arg(field, text));
    return value;
}

bool nameAccepted(const QString& name, Output& output) {
    if (const auto problem = nameProblem(name)) {
        fail(output, QStringLiteral("the name %1").arg(*problem));
        return false;
    }
    return true;
}

int setCommand(const QCommandLineParser& parser, Output& output) {
    const QStringList arguments = parser.positionalArguments();
    const QString path = arguments.at(0);
    bool isNumber = false;
    const int position = arguments.at(1).toInt(&isNumber);
    if (!isNumber)
        return usageError(output, QStringLiteral("POSITION must be a whole number: %1").arg(arguments.at(1)),
                          "set");
    struct Change {
        std::optional<std::int16_t> id, producer, mode;
        std::optional<QString> name;
    } change;
    for (const QString& assignment : arguments.mid(2)) {
        const qsizetype equals = assignment.indexOf(u'=');
        if (equals < 0)
            return usageError(output, QStringLiteral("expected FIELD=VALUE: %1").arg(assignment), "set");
        const QString field = assignment.left(equals);
        const QString value = assignment.mid(equals + 1);
        std::optional<std::int16_t>* number = field == QLatin1String("id")         ? &change.id
                                              : field == QLatin1String("producer") ? &change.producer
                                              : field == QLatin1String("mode")     ? &change.mode
                                                                                   : nullptr;
        if (number) {
            *number = typedNumber(field, value, output);
            if (!*number)
                return failure;
        } else if (field == QLatin1String("name")) {
            if (!nameAccepted(value, output))
                return failure;
            change.name = value;
        } else {
            return usageError(
                output, QStringLiteral("unknown field \"%1\" (id, producer, mode, name)").arg(field), "set");
        }
    }
    const auto table = load(path, output);
    if (!table)
        return failure;
    if (position < 1 || position > table->count()) {
        fail(output, QStringLiteral("%1: no ball at position %2 (the table has %3)")
                         .arg(path)
                         .arg(position)
                         .arg(table->count()));
        return failure;
    }
    const auto edited = editThroughBaza(
        *table,
        [&](Baza& baza) {
            // The boxes hold the ball's current values; the change replaces
            // those it names, and the whole record is written, as one edit.
            const int index = position - 1;
            baza.Zmien_Dane(
                index, change.id.value_or(baza.Get_ID(index)), change.name.value_or(baza.Get_Nazwa(index)),
                change.producer.value_or(baza.Get_Mode(index)), change.mode.value_or(baza.Get_Mode2(index)));
            return QString();
        },
        output);
    return edited ? writeBack(path, *table, *edited, output) : failure;
}

int addCommand(const QCommandLineParser& parser, Output& output) {
    const QString path = parser.positionalArguments().at(0);
    if (!parser.isSet(QStringLiteral("id")))
        return usageError(output, QStringLiteral("--id is required"), "add");
    const QString idText = parser.value(QStringLiteral("id"));
    std::optional<std::int16_t> producer, mode;
    if (parser.isSet(QStringLiteral("producer")) &&
        !(producer =
              typedNumber(QStringLiteral("producer"), parser.value(QStringLiteral("producer")), output)))
        return failure;
    if (parser.isSet(QStringLiteral("mode")) &&
        !(mode = typedNumber(QStringLiteral("mode"), parser.value(QStringLiteral("mode")), output)))
        return failure;
    const QString name = parser.value(QStringLiteral("name"));
    if (!nameAccepted(name, output))
        return failure;
    const auto table = load(path, output);
    if (!table)
        return failure;
    const auto edited = editThroughBaza(
        *table,
        [&](Baza& baza) {
            if (baza.Count() >= maxBallCount)
                return QStringLiteral("%1: the table is full (%2 balls)").arg(path).arg(maxBallCount);
            baza.setNewIdTextSource([&idText] { return idText; });
            const std::int16_t id = baza.Dodaj_Nowy();
            if (id < 1)
                return QStringLiteral("--id %1: a new ball's ID must be a number from 1 to 15000")
                    .arg(idText);
            // As the window's Add: the new ball gets its producer and mode
            // values, then whatever else was given, as typed into its boxes.
            const int index = baza.Count() - 1;
            baza.Zmien_Dane(index, id, QString(), newBallProducer, newBallMode);
            if (producer || mode || !name.isEmpty())
                baza.Zmien_Dane(index, id, name, producer.value_or(newBallProducer),
                                mode.value_or(newBallMode));
            return QString();
        },
        output);
    return edited ? writeBack(path, *table, *edited, output) : failure;
}

int checkCommand(const QCommandLineParser& parser, Output& output) {
    const QString path = parser.positionalArguments().at(0);
    const QString format = parser.value(QStringLiteral("format"));
    if (!format.isEmpty() && format != QLatin1String("text") && format != QLatin1String("json"))
        return usageError(output, QStringLiteral("unknown format \"%1\" (text or json)").arg(format),
                          "check");
    const UnpackOutcome unpacked = unpackFile(path);
    noteRecovered(output, path, unpacked.recovered);
    if (!unpacked.unpacked) {
        fail(output, unpacked.error);
        return failure;
    }
    const std::vector<Finding> findings = checkTable(unpacked.unpacked->table);
    output.out += format == QLatin1String("json") ? findingsJson(findings) : findingsText(findings);
    return findings.empty() ? success : failure;
}

int diffCommand(const QCommandLineParser& parser, Output& output) {
    const auto a = load(parser.positionalArguments().at(0), output);
    const auto b = load(parser.positionalArguments().at(1), output);
    if (!a || !b)
        return failure;
    const QByteArray text =
        diffTables(a->records, b->records,
                   parser.isSet(QStringLiteral("by-id")) ? Matching::ById : Matching::ByPosition);
    output.out += text;
    return text.isEmpty() ? success : failure;
}

const std::vector<Command>& commands() {
    using P = QCommandLineParser;
    const auto option = [](P& p, const QStringList& names, const char* description,
                           const char* value = nullptr) {
        p.addOption(
            value ? QCommandLineOption(names, QString::fromLatin1(description), QString::fromLatin1(value))
                  : QCommandLineOption(names, QString::fromLatin1(description)));
    };
    static const std::vector<Command> list = {
        {"list",
         "usage: vestrel-table list FILE\n\n"
         "One line per ball: its position and name as the editor's list shows them,\n"
         "then its ID, producer, mode and pole values. Control characters in names\n"
         "are shown as \\uXXXX.\n",
         [](P&) {}, listCommand, 1, 1},
        {"export",
         "usage: vestrel-table export FILE [--format csv|json] [-o OUT]\n\n"
         "The whole table as CSV (UTF-8, header position,id,producer,mode,pole,name,\n"
         "RFC 4180 quoting) or JSON ({\"balls\": [...]}), to OUT or standard output.\n\n"
         "  --format csv|json  default csv\n"
         "  -o, --output OUT   write to OUT (replaced as a whole) instead\n",
         [option](P& p) {
             option(p, {QStringLiteral("format")}, "csv or json", "format");
             option(p, {QStringLiteral("o"), QStringLiteral("output")}, "output file", "file");
         },
         exportCommand, 1, 1},
        {"import",
         "usage: vestrel-table import FILE TABLE [--append] [--format csv|json]\n\n"
         "Replaces FILE's table with the balls of TABLE (as export writes it), or\n"
         "with --append adds them as new balls after the last one. Every row is\n"
         "checked first; any fault is reported with its row and column and FILE is\n"
         "left as it was. Numbers are read with '.' as the decimal point.\n"
         "  - replacing: positions number the balls 1..n, values are 16-bit;\n"
         "  - appending: positions are ignored, IDs must be 1..15000 as for the\n"
         "    editor's Add, missing producer, mode and pole give 5, 1 and 0;\n"
         "  - names: characters of the code page, at most 63 bytes, no NUL;\n"
         "  - at most 32767 balls.\n\n"
         "  --append           add the balls instead of replacing the table\n"
         "  --format csv|json  default: from TABLE's extension\n",
         [option](P& p) {
             option(p, {QStringLiteral("append")}, "add as new balls");
             option(p, {QStringLiteral("format")}, "csv or json", "format");
         },
         importCommand, 2, 2},
        {"set",
         "usage: vestrel-table set FILE POSITION FIELD=VALUE...\n\n"
         "Changes the ball at POSITION (1 for the first) as typing into the editor's\n"
         "boxes does. FIELD is id, producer, mode or name; numbers are read in your\n"
         "locale's notation and rounded half to even; the pole value is kept.\n",
         [](P&) {}, setCommand, 2, -1},
        {"add",
         "usage: vestrel-table add FILE --id N [--name NAME] [--producer N] [--mode N]\n\n"
         "Adds a ball after the last one, as the editor's Add does: ID N (1..15000,\n"
         "read in your locale's notation), producer 5 and mode 1 unless given.\n",
         [option](P& p) {
             option(p, {QStringLiteral("id")}, "new ball's ID", "n");
             option(p, {QStringLiteral("name")}, "name", "name");
             option(p, {QStringLiteral("producer")}, "producer value", "n");
             option(p, {QStringLiteral("mode")}, "mode value", "n");
         },
         addCommand, 1, 1},
        {"check",
         "usage: vestrel-table check FILE [--format text|json]\n\n"
         "Reports IDs used more than once, IDs outside 1..15000, names that fill\n"
         "their field without a NUL, and every header field the editor would\n"
         "refuse. Exit code 0 when clean, 1 with findings.\n",
         [option](P& p) { option(p, {QStringLiteral("format")}, "text or json", "format"); }, checkCommand, 1,
         1},
        {"diff",
         "usage: vestrel-table diff A B [--by-id]\n\n"
         "Balls added, removed and changed from A to B, field by field. Balls are\n"
         "matched by position, or with --by-id by ID. Exit code 0 when the tables\n"
         "are the same, 1 when they differ.\n",
         [option](P& p) { option(p, {QStringLiteral("by-id")}, "match balls by ID"); }, diffCommand, 2, 2},
    };
    return list;
}

} // namespace

int run(const QStringList& arguments, Output& output) {
    if (arguments.isEmpty()) {
        output.err += generalHelp;
        return usage;
    }
    const QString name = arguments.first();
    if (name == QLatin1String("--help") || name == QLatin1String("-h") || name == QLatin1String("help")) {
        output.out += generalHelp;
        return success;
    }
    const auto& list = commands();
    const auto command = std::find_if(list.begin(), list.end(),
                                      [&](const Command& c) { return name == QLatin1String(c.name); });
    if (command == list.end()) {
        fail(output, QStringLiteral("unknown command \"%1\"").arg(name));
        output.err += "see: vestrel-table --help\n";
        return usage;
    }
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOption(
        QCommandLineOption({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("help")));
    command->options(parser);
    if (!parser.parse(QStringList{QStringLiteral("vestrel-table")} + arguments.mid(1)))
        return usageError(output, parser.errorText(), command->name);
    if (parser.isSet(QStringLiteral("help"))) {
        output.out += command->help;
        return success;
    }
    const qsizetype count = parser.positionalArguments().size();
    if (count < command->minArguments || (command->maxArguments >= 0 && count > command->maxArguments))
        return usageError(output, QStringLiteral("wrong number of arguments"), command->name);
    return command->action(parser, output);
}

} // namespace vestrel_table
