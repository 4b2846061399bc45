#include "tools/vestrel_table/Commands.h"

#include "ball_table/BallFile.h"
#include "ball_table/EditRules.h"
#include "ball_table/NumberText.h"
#include "pipeline/table_edits/TableEdits.h"
#include "pipeline/table_file/StoragePath.h"
#include "pipeline/table_file/TableFile.h"
#include "pipeline/table_text/TableReport.h"
#include "pipeline/table_text/TableText.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QRegularExpression>

#include <functional>
#include <future>

#ifndef VESTREL_VERSION
#define VESTREL_VERSION "unknown"
#endif

namespace vestrel_table {

using namespace table_file;
using namespace table_text;

namespace {

constexpr int success = 0;
constexpr int failure = 1;
constexpr int usage = 2;
// check and diff: 1 already means findings or differences.
constexpr int trouble = 2;

const QString standardStream = QStringLiteral("-");

const char* const generalHelp =
    "usage: vestrel-table COMMAND [options] ARGUMENTS\n"
    "\n"
    "The ball table of a game file (compressed, bare or in a container) or of a\n"
    "decompressed table. Every change is written in the form the file was read\n"
    "in, to a temporary file first, and only then put over the file.\n"
    "\n"
    "commands:\n"
    "  list FILE                          one line per ball\n"
    "  export FILE [-o OUT] [--format csv|json] [--delimiter D] [--encoding E]\n"
    "  import FILE TABLE --replace|--append [--format csv|json] [--delimiter D]\n"
    "                                     [--encoding E]\n"
    "  set FILE POSITION FIELD=VALUE...   change one ball (id, producer, mode, name)\n"
    "  add FILE --id N [--name NAME] [--producer N] [--mode N]\n"
    "  remove FILE POSITION... | --id N... remove balls\n"
    "  check FILE [--format text|json]    exit 1 when something is found\n"
    "  diff A B [--by-id]                 exit 1 when the tables differ\n"
    "\n"
    "import, set, add and remove take --dry-run (print what would change and\n"
    "write nothing) and -b/--backup (keep the file as it was as FILE~).\n"
    "A TABLE of - is standard input; -o - is standard output.\n"
    "\n"
    "vestrel-table COMMAND --help describes each command.\n"
    "vestrel-table --version prints the version.\n"
    "Exit codes: 0 success; 1 failure, findings or differences; 2 usage, and\n"
    "for check and diff also an error.\n";

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

QString balls(qsizetype count) {
    return count == 1 ? QStringLiteral("1 ball") : QStringLiteral("%1 balls").arg(count);
}

std::optional<TableFile> load(const QString& path, Output& output) {
    ReadOutcome read = readTableFile(path);
    noteRecovered(output, path, read.recovered);
    if (!read.table)
        fail(output, read.error);
    return std::move(read.table);
}

// The name a text is shown by in messages.
QString shownName(const QString& path) {
    return path == standardStream ? QStringLiteral("standard input") : path;
}

// A text to import: no larger than the largest table could need, so that
// nothing larger is read or parsed.
std::optional<QByteArray> readText(const QString& path, Output& output) {
    QString error;
    std::optional<QByteArray> text = path == standardStream
                                         ? readStandardInput(&error, maxTextSize)
                                         : readBoundedFile(path, &error, nullptr, maxTextSize);
    if (!text)
        fail(output, error);
    return text;
}

// From --format, else from the file's extension; standard input is JSON
// when it starts as JSON does.
std::optional<TextFormat> formatFrom(const QString& given, const QString& path, const QByteArray* text) {
    QString name = given.toLower();
    if (name.isEmpty() && path == standardStream && text) {
        const QByteArray start = text->left(64).trimmed();
        name =
            start.startsWith('{') || start.startsWith('[') ? QStringLiteral("json") : QStringLiteral("csv");
    } else if (name.isEmpty()) {
        name = QFileInfo(path).suffix().toLower();
    }
    if (name == QLatin1String("csv"))
        return TextFormat::Csv;
    if (name == QLatin1String("json"))
        return TextFormat::Json;
    return std::nullopt;
}

std::optional<char> delimiterFrom(const QString& given) {
    if (given == QLatin1String(",") || given == QLatin1String(";"))
        return given.at(0).toLatin1();
    if (given.compare(QLatin1String("tab"), Qt::CaseInsensitive) == 0 || given == QLatin1String("\t"))
        return '\t';
    return std::nullopt;
}

std::optional<TextEncoding> encodingFrom(const QString& given) {
    const QString name = given.toLower();
    if (name == QLatin1String("utf-8") || name == QLatin1String("utf8"))
        return TextEncoding::Utf8;
    if (name == QLatin1String("utf-8-bom") || name == QLatin1String("utf8-bom"))
        return TextEncoding::Utf8Bom;
    if (name == QLatin1String("cp1250") || name == QLatin1String("windows-1250"))
        return TextEncoding::Cp1250;
    return std::nullopt;
}

// --format, --delimiter and --encoding of export and import, checked
// together: the last two are for CSV only (JSON is always UTF-8 when
// written).
struct TextOptions {
    std::optional<char> delimiter;
    TextEncoding encoding = TextEncoding::Utf8;
};

std::optional<TextOptions> textOptions(const QCommandLineParser& parser, TextFormat format, bool writing,
                                       Output& output, const char* command) {
    TextOptions options;
    if (parser.isSet(QStringLiteral("delimiter"))) {
        options.delimiter = delimiterFrom(parser.value(QStringLiteral("delimiter")));
        if (!options.delimiter) {
            usageError(output, QStringLiteral("--delimiter takes ',', ';' or tab"), command);
            return std::nullopt;
        }
        if (format == TextFormat::Json) {
            usageError(output, QStringLiteral("--delimiter is for CSV"), command);
            return std::nullopt;
        }
    }
    if (parser.isSet(QStringLiteral("encoding"))) {
        const std::optional<TextEncoding> encoding = encodingFrom(parser.value(QStringLiteral("encoding")));
        if (!encoding || (!writing && *encoding == TextEncoding::Utf8Bom)) {
            usageError(output,
                       writing ? QStringLiteral("--encoding takes utf-8, utf-8-bom or cp1250")
                               : QStringLiteral("--encoding takes utf-8 or cp1250"),
                       command);
            return std::nullopt;
        }
        if (writing && format == TextFormat::Json && *encoding != TextEncoding::Utf8) {
            usageError(output, QStringLiteral("JSON is written as UTF-8 only"), command);
            return std::nullopt;
        }
        options.encoding = *encoding;
    }
    return options;
}

void reportRowErrors(Output& output, const std::vector<RowError>& errors, const QString& table,
                     TextFormat format, const QString& prefix = {}) {
    constexpr std::size_t shown = 20;
    const QString columnWord = format == TextFormat::Csv ? QStringLiteral("column") : QStringLiteral("field");
    for (std::size_t i = 0; i < std::min(errors.size(), shown); ++i) {
        const RowError& e = errors[i];
        QString where = prefix + table;
        if (e.line > 0)
            where += QStringLiteral(": line %1").arg(e.line);
        if (!e.column.isEmpty())
            where += QStringLiteral("%1 %2 %3")
                         .arg(e.line > 0 ? QStringLiteral(",") : QStringLiteral(":"), columnWord, e.column);
        fail(output, where + QStringLiteral(": ") + e.reason);
    }
    if (errors.size() > shown)
        fail(output, QStringLiteral("%1%2: %3 more").arg(prefix, table).arg(errors.size() - shown));
}

// How a command that changes FILE writes it.
struct Writing {
    bool dryRun = false;
    bool backup = false;
};

Writing writingOptions(const QCommandLineParser& parser) {
    return {parser.isSet(QStringLiteral("dry-run")), parser.isSet(QStringLiteral("backup"))};
}

// Puts the new table (its whole decompressed file) over FILE in FILE's form,
// keeping the old file as FILE~ first when asked; on a dry run prints
// `changes` instead and writes nothing.
int commit(const QString& path, const TableFile& table, const QByteArray& tableBytes,
           const QByteArray& changes, const Writing& writing, Output& output) {
    if (writing.dryRun) {
        output.out += changes;
        return success;
    }
    if (writing.backup) {
        if (const QString error = keepBackup(path, table.file); !error.isEmpty()) {
            fail(output, error);
            fail(output, QStringLiteral("%1: not changed").arg(path));
            return failure;
        }
    }
    if (const QString error = writeTableBytes(path, table, tableBytes); !error.isEmpty()) {
        fail(output, error);
        return failure;
    }
    output.wroteFile = true;
    return success;
}

// The one-line account of an import or a removal.
void summarise(Output& output, const QString& path, std::optional<qsizetype> before, qsizetype after,
               qsizetype added, qsizetype changed, qsizetype removed, bool dryRun) {
    const QString was = before ? QStringLiteral("%1 before").arg(balls(*before))
                               : QStringLiteral("a table that did not load before");
    fail(output, QStringLiteral("%1: %2, %3 after: %4 added, %5 changed, %6 removed%7")
                     .arg(path, was, balls(after))
                     .arg(added)
                     .arg(changed)
                     .arg(removed)
                     .arg(dryRun ? QStringLiteral(" (dry run: nothing written)") : QString()));
}

// Writes an edit: `edited` is the whole decompressed file, or nothing when
// the edit was refused for `problem`.
int commitEdit(const QString& path, const TableFile& table, const table_edits::Edited& edit,
               const Writing& writing, Output& output) {
    if (!edit.file) {
        fail(output, path + QStringLiteral(": ") + edit.problem);
        return failure;
    }
    const QByteArray& edited = *edit.file;
    const QByteArray changes =
        writing.dryRun ? diffTables(table.records, edited.mid(BallFile::headerSize), Matching::ByPosition)
                       : QByteArray();
    return commit(path, table, edited, changes, writing, output);
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
        formatFrom(given.isEmpty() ? QStringLiteral("csv") : given, path, nullptr);
    if (!format)
        return usageError(output, QStringLiteral("unknown format \"%1\" (csv or json)").arg(given), "export");
    const std::optional<TextOptions> options = textOptions(parser, *format, true, output, "export");
    if (!options)
        return usage;
    const QString target = parser.value(QStringLiteral("output"));
    const bool toStandardOutput = target.isEmpty() || target == standardStream;
    if (!toStandardOutput && sameFile(target, path)) {
        fail(output, QStringLiteral("%1: the export would replace the table it reads").arg(target));
        return failure;
    }
    const auto table = load(path, output);
    if (!table)
        return failure;
    const QByteArray text =
        *format == TextFormat::Csv
            ? exportCsv(table->records, {options->delimiter.value_or(','), options->encoding})
            : exportJson(table->records);
    if (toStandardOutput) {
        output.out += text;
        return success;
    }
    if (parser.isSet(QStringLiteral("backup")) && outputKind(target) == OutputKind::File &&
        statusOf(target)) {
        QString error;
        const std::optional<QByteArray> previous = readBoundedFile(target, &error);
        if (!previous || !(error = keepBackup(target, *previous)).isEmpty()) {
            fail(output, error);
            fail(output, QStringLiteral("%1: not written").arg(target));
            return failure;
        }
    }
    if (const QString error = writeOutput(target, text); !error.isEmpty()) {
        fail(output, error);
        return failure;
    }
    return success;
}

// Said when import is given neither --replace nor --append: what each would
// do with these very files, as far as they can be read.
int explainImportModes(const QString& path, const QString& textName, const BuiltRecords& built,
                       Output& output) {
    const ReadOutcome read = readTableFile(path);
    noteRecovered(output, path, read.recovered);
    // A text that does not read has no count to tell.
    const QString theirs = built.rows > 0 ? QStringLiteral("the %1 of %2").arg(balls(built.rows), textName)
                                          : QStringLiteral("the balls of %1").arg(textName);
    const QString are = built.rows == 1 ? QStringLiteral("is") : QStringLiteral("are");
    fail(output, QStringLiteral("import replaces the table or adds to it only when told which; "
                                "nothing was changed"));
    QString text;
    if (read.table) {
        const qsizetype count = read.table->count();
        const QString total =
            built.rows > 0 ? QStringLiteral(" (%1 in all)").arg(count + built.rows) : QString();
        text = QStringLiteral("  --replace  %1's %2 %3 replaced by %4\n"
                              "  --append   %4 %5 added after them%6\n")
                   .arg(path, balls(count), count == 1 ? QStringLiteral("is") : QStringLiteral("are"), theirs,
                        are, total);
    } else {
        text = QStringLiteral("  --replace  %1's table is replaced by %2\n"
                              "  --append   %2 %3 added after %1's balls\n")
                   .arg(path, theirs, are);
    }
    output.err += text.toUtf8() + "see: vestrel-table import --help\n";
    return usage;
}

int importCommand(const QCommandLineParser& parser, Output& output) {
    const QString path = parser.positionalArguments().at(0);
    const QString textPath = parser.positionalArguments().at(1);
    const QString textName = shownName(textPath);
    const bool replace = parser.isSet(QStringLiteral("replace"));
    const bool append = parser.isSet(QStringLiteral("append"));
    if (replace && append)
        return usageError(output, QStringLiteral("--replace and --append exclude each other"), "import");
    const QString given = parser.value(QStringLiteral("format"));
    if (!given.isEmpty() && !formatFrom(given, textPath, nullptr))
        return usageError(output, QStringLiteral("unknown format \"%1\" (csv or json)").arg(given), "import");
    if (textPath != standardStream && !formatFrom(given, textPath, nullptr))
        return usageError(output, QStringLiteral("say --format csv or json for %1").arg(textPath), "import");
    // The options are checked against the format before anything is read.
    const std::optional<TextOptions> checked = textOptions(
        parser, formatFrom(given, textPath, nullptr).value_or(TextFormat::Csv), false, output, "import");
    if (!checked)
        return usage;
    // The game file is read and decompressed while the text is read: the
    // two take about as long, and neither needs the other.
    std::future<ReadOutcome> gameFile;
    if (replace || append)
        gameFile = std::async(std::launch::async, [&path] { return readTableFile(path); });
    const std::optional<QByteArray> text = readText(textPath, output);
    if (!text)
        return failure;
    const TextFormat format = *formatFrom(given, textPath, &*text);
    const std::optional<TextOptions> options = textOptions(parser, format, false, output, "import");
    if (!options)
        return usage;
    const ReadOptions reading{format, options->delimiter, options->encoding};

    if (!replace && !append)
        return explainImportModes(path, textName, importText(*text, reading, ImportMode::Replace, 0), output);

    const ParsedText parsed = parseText(*text, reading);
    ReadOutcome read = gameFile.get();
    // A table replaced as a whole needs only its form: its old balls are not
    // kept, so a damaged table can be mended this way.
    const bool recovered = read.recovered;
    const bool oldLoaded = read.table.has_value();
    if (!oldLoaded && replace)
        read = readTableForm(path);
    noteRecovered(output, path, recovered || read.recovered);
    if (!read.table) {
        fail(output, read.error);
        return failure;
    }
    TableFile& table = *read.table;
    BuiltRecords built =
        importParsed(parsed, append ? ImportMode::Append : ImportMode::Replace, table.count());
    if (!built.errors.empty()) {
        reportRowErrors(output, built.errors, textName, format);
        fail(output, QStringLiteral("%1: not changed").arg(path));
        return failure;
    }
    reportRowErrors(output, built.warnings, textName, format, QStringLiteral("warning: "));

    const QByteArray before = table.records;
    QByteArray after = append ? before + built.records : std::move(built.records);
    const qsizetype countBefore = before.size() / BallFile::recordSize;
    const qsizetype countAfter = after.size() / BallFile::recordSize;
    const qsizetype changed = table_edits::changedBalls(before, after);
    const Writing writing = writingOptions(parser);
    const QByteArray changes =
        writing.dryRun ? diffTables(before, after, Matching::ByPosition) : QByteArray();
    const std::optional<QByteArray> bytes = tableBytes(std::move(after));
    if (!bytes) {
        fail(output, QStringLiteral("%1: too many balls for the file format").arg(path));
        return failure;
    }
    if (const int code = commit(path, table, *bytes, changes, writing, output); code != success)
        return code;
    summarise(output, path, oldLoaded ? std::optional(countBefore) : std::nullopt, countAfter,
              std::max<qsizetype>(countAfter - countBefore, 0), changed,
              std::max<qsizetype>(countBefore - countAfter, 0), writing.dryRun);
    return success;
}

// A whole number as written, without a sign or with a minus.
std::optional<int> plainNumber(const QString& text) {
    static const QRegularExpression plain(QStringLiteral("^-?[0-9]{1,9}$"));
    if (!plain.match(text).hasMatch())
        return std::nullopt;
    return text.toInt();
}

int removeCommand(const QCommandLineParser& parser, Output& output) {
    const QStringList arguments = parser.positionalArguments();
    const QString path = arguments.at(0);
    const QStringList positions = arguments.mid(1);
    const QStringList ids = parser.values(QStringLiteral("id"));
    if (positions.isEmpty() && ids.isEmpty())
        return usageError(output, QStringLiteral("say which balls: by POSITION or by --id N"), "remove");
    std::vector<int> wantedPositions, wantedIds;
    for (const QString& p : positions) {
        const std::optional<int> n = plainNumber(p);
        if (!n)
            return usageError(output, QStringLiteral("POSITION must be a whole number: %1").arg(p), "remove");
        wantedPositions.push_back(*n);
    }
    for (const QString& id : ids) {
        const std::optional<int> n = plainNumber(id);
        if (!n || *n < -32768 || *n > 32767)
            return usageError(
                output, QStringLiteral("--id %1: not a whole number from -32768 to 32767").arg(id), "remove");
        wantedIds.push_back(*n);
    }
    const auto table = load(path, output);
    if (!table)
        return failure;
    const qsizetype count = table->count();
    const table_edits::Removal removal = table_edits::removeBalls(table->records, wantedPositions, wantedIds);
    if (!removal.problem.isEmpty()) {
        fail(output, path + QStringLiteral(": ") + removal.problem);
        return failure;
    }
    const qsizetype gone = count - removal.records.size() / BallFile::recordSize;
    const std::optional<QByteArray> bytes = tableBytes(removal.records);
    if (!bytes) {
        fail(output, QStringLiteral("%1: too many balls for the file format").arg(path));
        return failure;
    }
    const Writing writing = writingOptions(parser);
    const QByteArray changes = writing.dryRun ? diffRemoved(table->records, removal.removed) : QByteArray();
    if (const int code = commit(path, *table, *bytes, changes, writing, output); code != success)
        return code;
    summarise(output, path, count, count - gone, 0, 0, gone, writing.dryRun);
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

// The name as the window's box would take it; nullopt (and a message) when
// it cannot be stored.
std::optional<QString> acceptedName(const QString& given, Output& output) {
    const table_edits::TypedName typed = table_edits::typedNameOf(given);
    if (typed.problem) {
        fail(output, QStringLiteral("the name %1").arg(*typed.problem));
        return std::nullopt;
    }
    return typed.name;
}

int setCommand(const QCommandLineParser& parser, Output& output) {
    const QStringList arguments = parser.positionalArguments();
    const QString path = arguments.at(0);
    bool isNumber = false;
    const int position = arguments.at(1).toInt(&isNumber);
    if (!isNumber)
        return usageError(output, QStringLiteral("POSITION must be a whole number: %1").arg(arguments.at(1)),
                          "set");
    if (arguments.size() < 3)
        return usageError(
            output, QStringLiteral("say what to change: FIELD=VALUE (id, producer, mode, name)"), "set");
    table_edits::Change change;
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
            change.name = acceptedName(value, output);
            if (!change.name)
                return failure;
        } else {
            return usageError(
                output, QStringLiteral("unknown field \"%1\" (id, producer, mode, name)").arg(field), "set");
        }
    }
    const auto table = load(path, output);
    if (!table)
        return failure;
    return commitEdit(path, *table, table_edits::setBall(table->records, position, change),
                      writingOptions(parser), output);
}

int addCommand(const QCommandLineParser& parser, Output& output) {
    const QString path = parser.positionalArguments().at(0);
    if (!parser.isSet(QStringLiteral("id")))
        return usageError(output, QStringLiteral("--id is required"), "add");
    const QString idText = parser.value(QStringLiteral("id"));
    table_edits::Change more;
    if (parser.isSet(QStringLiteral("producer")) &&
        !(more.producer =
              typedNumber(QStringLiteral("producer"), parser.value(QStringLiteral("producer")), output)))
        return failure;
    if (parser.isSet(QStringLiteral("mode")) &&
        !(more.mode = typedNumber(QStringLiteral("mode"), parser.value(QStringLiteral("mode")), output)))
        return failure;
    if (!(more.name = acceptedName(parser.value(QStringLiteral("name")), output)))
        return failure;
    const auto table = load(path, output);
    if (!table)
        return failure;
    return commitEdit(path, *table, table_edits::addBall(table->records, idText, more),
                      writingOptions(parser), output);
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
        return trouble;
    }
    const std::vector<Finding> findings = checkTable(unpacked.unpacked->table);
    output.out += format == QLatin1String("json") ? findingsJson(findings) : findingsText(findings);
    return findings.empty() ? success : failure;
}

int diffCommand(const QCommandLineParser& parser, Output& output) {
    const auto a = load(parser.positionalArguments().at(0), output);
    const auto b = load(parser.positionalArguments().at(1), output);
    if (!a || !b)
        return trouble;
    const QByteArray text =
        diffTables(a->records, b->records,
                   parser.isSet(QStringLiteral("by-id")) ? Matching::ById : Matching::ByPosition);
    output.out += text;
    return text.isEmpty() ? success : failure;
}

void addOption(QCommandLineParser& p, const QStringList& names, const char* description,
               const char* value = nullptr) {
    p.addOption(value
                    ? QCommandLineOption(names, QString::fromLatin1(description), QString::fromLatin1(value))
                    : QCommandLineOption(names, QString::fromLatin1(description)));
}

void addWritingOptions(QCommandLineParser& p) {
    addOption(p, {QStringLiteral("dry-run")}, "print what would change, write nothing");
    addOption(p, {QStringLiteral("b"), QStringLiteral("backup")}, "keep the old file as FILE~");
}

void addTextOptions(QCommandLineParser& p) {
    addOption(p, {QStringLiteral("format")}, "csv or json", "format");
    addOption(p, {QStringLiteral("delimiter")}, "',', ';' or tab", "delimiter");
    addOption(p, {QStringLiteral("encoding")}, "text encoding", "encoding");
}

const std::vector<Command>& commands() {
    using P = QCommandLineParser;
    static const std::vector<Command> list = {
        {"list",
         "usage: vestrel-table list FILE\n\n"
         "One line per ball: its position and name as the editor's list shows them,\n"
         "then its ID, producer, mode and pole values. Control characters in names\n"
         "are shown as \\uXXXX.\n",
         [](P&) {}, listCommand, 1, 1},
        {"export",
         "usage: vestrel-table export FILE [-o OUT] [--format csv|json] [--delimiter D]\n"
         "                            [--encoding utf-8|utf-8-bom|cp1250] [-b]\n\n"
         "The whole table as CSV (header position,id,producer,mode,pole,name, RFC 4180\n"
         "quoting, CR LF line ends) or JSON ({\"balls\": [...]}, UTF-8), to standard\n"
         "output or OUT.\n\n"
         "  --format csv|json  default csv\n"
         "  -o, --output OUT   write to OUT instead: a file is replaced as a whole; a\n"
         "                     FIFO, a device or a terminal is written into; - is\n"
         "                     standard output\n"
         "  --delimiter D      CSV: ',' (default), ';' or tab\n"
         "  --encoding E       CSV: utf-8 (default), utf-8-bom or cp1250 (Windows-1250)\n"
         "  -b, --backup       keep a file OUT replaces as OUT~\n\n"
         "For a spreadsheet set to Polish, which opens a CSV file with a double click:\n"
         "  vestrel-table export FILE -o balls.csv --delimiter ';' --encoding utf-8-bom\n",
         [](P& p) {
             addTextOptions(p);
             addOption(p, {QStringLiteral("o"), QStringLiteral("output")}, "output file", "file");
             addOption(p, {QStringLiteral("b"), QStringLiteral("backup")}, "keep the old file as OUT~");
         },
         exportCommand, 1, 1},
        {"import",
         "usage: vestrel-table import FILE TABLE --replace|--append [--format csv|json]\n"
         "                            [--delimiter D] [--encoding utf-8|cp1250]\n"
         "                            [--dry-run] [-b]\n\n"
         "Replaces FILE's table with the balls of TABLE (as export writes it or a\n"
         "spreadsheet saves it), or adds them as new balls after the last one. Without\n"
         "--replace or --append nothing is changed and both are explained. Every row\n"
         "is checked first; any fault is reported with the line of TABLE it is on and\n"
         "FILE is left as it was. A one-line summary goes to standard error.\n"
         "  - numbers are whole numbers, written without a decimal point or an\n"
         "    exponent: 10.5 and 1e3 are refused, never rounded;\n"
         "  - replacing: positions number the balls 1..n, values are 16-bit;\n"
         "  - appending: only id and name are needed; positions are ignored, IDs\n"
         "    must be 1..15000 as for the editor's Add, missing producer, mode and\n"
         "    pole give 5, 1 and 0;\n"
         "  - names: characters of the code page, at most 63 bytes, no NUL; a name\n"
         "    that looks like UTF-8 read as Windows-1250 (\"ZĹ‚ota\" for \"Złota\")\n"
         "    draws a warning;\n"
         "  - at most 32767 balls.\n"
         "CSV: the delimiter (comma, semicolon or tab) is taken from the header line,\n"
         "whose names may be in any case and order; empty columns after the last one\n"
         "and empty rows are ignored. UTF-8 with or without a byte-order mark, and\n"
         "UTF-16 with one, are read as they are.\n\n"
         "  --replace          the balls of TABLE become the table\n"
         "  --append           add the balls of TABLE after the table's last\n"
         "  --format csv|json  default: from TABLE's extension (standard input: JSON\n"
         "                     when it starts with { or [, else CSV)\n"
         "  --delimiter D      CSV: ',', ';' or tab, instead of the header's\n"
         "  --encoding E       utf-8 (default) or cp1250: a file a spreadsheet saved as\n"
         "                     Windows-1250 (\"ANSI\")\n"
         "  --dry-run          print what would change (as diff does), write nothing\n"
         "  -b, --backup       keep the file as it was as FILE~\n"
         "TABLE - reads standard input.\n",
         [](P& p) {
             addOption(p, {QStringLiteral("replace")}, "replace the table");
             addOption(p, {QStringLiteral("append")}, "add as new balls");
             addTextOptions(p);
             addWritingOptions(p);
         },
         importCommand, 2, 2},
        {"set",
         "usage: vestrel-table set FILE POSITION FIELD=VALUE... [--dry-run] [-b]\n\n"
         "Changes the ball at POSITION (1 for the first) as typing into the editor's\n"
         "boxes does. FIELD is id, producer, mode or name; numbers are read in your\n"
         "locale's notation and rounded half to even; the pole value is kept.\n\n"
         "  --dry-run     print what would change (as diff does), write nothing\n"
         "  -b, --backup  keep the file as it was as FILE~\n",
         addWritingOptions, setCommand, 2, -1},
        {"add",
         "usage: vestrel-table add FILE --id N [--name NAME] [--producer N] [--mode N]\n"
         "                         [--dry-run] [-b]\n\n"
         "Adds a ball after the last one, as the editor's Add does: ID N (1..15000,\n"
         "read in your locale's notation), producer 5 and mode 1 unless given.\n\n"
         "  --dry-run     print what would change (as diff does), write nothing\n"
         "  -b, --backup  keep the file as it was as FILE~\n",
         [](P& p) {
             addOption(p, {QStringLiteral("id")}, "new ball's ID", "n");
             addOption(p, {QStringLiteral("name")}, "name", "name");
             addOption(p, {QStringLiteral("producer")}, "producer value", "n");
             addOption(p, {QStringLiteral("mode")}, "mode value", "n");
             addWritingOptions(p);
         },
         addCommand, 1, 1},
        {"remove",
         "usage: vestrel-table remove FILE POSITION... [--id N]... [--dry-run] [-b]\n\n"
         "Removes the balls at the POSITIONs (1 for the first) and every ball whose\n"
         "ID is an N given with --id. The balls after them move up, as in the editor's\n"
         "list. A position or ID that is not in the table changes nothing; neither\n"
         "does removing every ball. A one-line summary goes to standard error.\n\n"
         "  --id N        remove the balls with ID N (may be given more than once)\n"
         "  --dry-run     print the balls that would go (as diff does), write nothing\n"
         "  -b, --backup  keep the file as it was as FILE~\n",
         [](P& p) {
             addOption(p, {QStringLiteral("id")}, "ID of the balls to remove", "n");
             addWritingOptions(p);
         },
         removeCommand, 1, -1},
        {"check",
         "usage: vestrel-table check FILE [--format text|json]\n\n"
         "Reports IDs used more than once, IDs outside 1..15000, names that fill\n"
         "their field without a NUL, names that look like UTF-8 read as\n"
         "Windows-1250, and every header field the editor would refuse. Exit code\n"
         "0 when clean, 1 with findings, 2 when FILE cannot be read.\n",
         [](P& p) { addOption(p, {QStringLiteral("format")}, "text or json", "format"); }, checkCommand, 1,
         1},
        {"diff",
         "usage: vestrel-table diff A B [--by-id]\n\n"
         "Balls added, removed and changed from A to B, field by field. Balls are\n"
         "matched by position, or with --by-id by ID. Exit code 0 when the tables\n"
         "are the same, 1 when they differ, 2 when one cannot be read.\n",
         [](P& p) { addOption(p, {QStringLiteral("by-id")}, "match balls by ID"); }, diffCommand, 2, 2},
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
    if (name == QLatin1String("--version")) {
        output.out += "vestrel-table " VESTREL_VERSION "\n";
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
