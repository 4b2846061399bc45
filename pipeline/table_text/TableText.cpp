#include "pipeline/table_text/TableText.h"

#include "ball_table/BallFile.h"
#include "ball_table/CodePage.h"
#include "ball_table/EditRules.h"
#include "ball_table/NumberText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QStringDecoder>

#include <csv.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace table_text {

namespace {

constexpr std::array<const char*, ColumnCount> columnNames = {"position", "id",   "producer",
                                                              "mode",     "pole", "name"};
constexpr std::array<BallFile::Field, 4> numberFields = {BallFile::Field::ID, BallFile::Field::Mode,
                                                         BallFile::Field::Mode2, BallFile::Field::Pole};

const char* recordAt(const QByteArray& records, qsizetype index) {
    return records.constData() + index * BallFile::recordSize;
}

// Quoted when a reader could take the name apart or trim it: separators,
// quotes, line breaks and other control bytes, blanks at either end.
bool needsQuotes(const QByteArray& field) {
    if (field.isEmpty())
        return false;
    if (field.front() == ' ' || field.back() == ' ' || field.front() == '\t' || field.back() == '\t')
        return true;
    for (const char c : field) {
        const auto u = static_cast<unsigned char>(c);
        if (c == ',' || c == '"' || u < 0x20 || u == 0x7F)
            return true;
    }
    return false;
}

void appendCsvField(QByteArray& out, const QByteArray& field) {
    if (!needsQuotes(field)) {
        out += field;
        return;
    }
    const std::size_t size = csv_write(nullptr, 0, field.constData(), std::size_t(field.size()));
    const qsizetype at = out.size();
    out.resize(at + qsizetype(size));
    csv_write(out.data() + at, size, field.constData(), std::size_t(field.size()));
}

const QLocale& fileLocale() {
    static const QLocale locale = [] {
        QLocale c = QLocale::c();
        c.setNumberOptions(QLocale::RejectGroupSeparator);
        return c;
    }();
    return locale;
}

// Blanks around an unquoted field belong to it: a name may start with one.
int noSpace(unsigned char) {
    return 0;
}

struct CsvParser {
    csv_parser parser{};
    bool ready = false;
    CsvParser() { ready = csv_init(&parser, CSV_STRICT | CSV_STRICT_FINI) == 0; }
    ~CsvParser() {
        if (ready)
            csv_free(&parser);
    }
    CsvParser(const CsvParser&) = delete;
    CsvParser& operator=(const CsvParser&) = delete;
};

// A number field: plain integers directly, anything else as the fixed
// notation reads it. Blank gives nullopt; `bad` tells a blank from junk.
std::optional<double> fileNumber(QByteArrayView text, bool* bad) {
    *bad = false;
    qsizetype i = 0;
    const bool negative = !text.isEmpty() && text[0] == '-';
    if (negative || (!text.isEmpty() && text[0] == '+'))
        ++i;
    if (text.size() > i && text.size() - i <= 9) {
        double value = 0;
        qsizetype k = i;
        for (; k < text.size() && text[k] >= '0' && text[k] <= '9'; ++k)
            value = value * 10 + (text[k] - '0');
        if (k == text.size())
            return negative ? -value : value;
    }
    const QString value = QString::fromUtf8(text);
    if (value.trimmed().isEmpty())
        return std::nullopt;
    const std::optional<double> number = readLocaleNumber(value, fileLocale());
    *bad = !number;
    return number;
}

// Rows are taken as the parser completes them, so that no copy of the
// whole text's fields is ever held.
struct CsvReader {
    ParsedText parsed;
    int record = 0; // records completed, the header included
    std::size_t field = 0;
    std::vector<QByteArray> header;
    std::vector<int> columnOf; // for each field of a row, its column or -1
    bool headerBad = false;
    TextRow row;
    bool rowGood = true;

    int rowNumber() const { return record + 1; }

    void take(QByteArrayView text) {
        const std::size_t index = field++;
        if (record == 0) {
            header.emplace_back(text.toByteArray());
            return;
        }
        if (headerBad || index >= columnOf.size())
            return;
        const int column = columnOf[index];
        if (column != Name) {
            bool bad = false;
            row.numbers[std::size_t(column)] = fileNumber(text, &bad);
            if (bad) {
                parsed.errors.push_back(
                    {rowNumber(), columnName(Column(column)),
                     text.isValidUtf8() ? QStringLiteral("not a number: \"%1\"").arg(QString::fromUtf8(text))
                                        : QStringLiteral("not UTF-8 text")});
                rowGood = false;
            }
            return;
        }
        if (!text.isValidUtf8()) {
            parsed.errors.push_back(
                {rowNumber(), columnName(Column(column)), QStringLiteral("not UTF-8 text")});
            rowGood = false;
            return;
        }
        row.name = QString::fromUtf8(text);
    }

    void endRecord() {
        if (record == 0) {
            readHeader();
        } else if (!headerBad) {
            if (field != header.size()) {
                parsed.errors.push_back(
                    {rowNumber(),
                     {},
                     QStringLiteral("%1 fields where the header has %2").arg(field).arg(header.size())});
            } else if (rowGood) {
                row.row = rowNumber();
                parsed.rows.push_back(std::move(row));
            }
        }
        row = TextRow{};
        rowGood = true;
        field = 0;
        ++record;
    }

    // The header names the columns; their order is free.
    void readHeader() {
        std::array<bool, ColumnCount> given{};
        for (const QByteArray& raw : header) {
            const QByteArray name = raw.trimmed();
            const auto found = std::find_if(columnNames.begin(), columnNames.end(),
                                            [&](const char* known) { return name == known; });
            if (found == columnNames.end()) {
                parsed.errors.push_back({1, QString::fromUtf8(name), QStringLiteral("unknown column")});
                columnOf.push_back(-1);
                continue;
            }
            const auto column = std::size_t(found - columnNames.begin());
            if (given[column])
                parsed.errors.push_back({1, QString::fromUtf8(name), QStringLiteral("column given twice")});
            given[column] = true;
            columnOf.push_back(int(column));
        }
        for (int c = 0; c < ColumnCount; ++c)
            if (!given[std::size_t(c)])
                parsed.errors.push_back(
                    {1, columnName(Column(c)), QStringLiteral("column missing from the header")});
        headerBad = !parsed.errors.empty();
    }
};

void onField(void* data, std::size_t size, void* reader) {
    static_cast<CsvReader*>(reader)->take(QByteArrayView(static_cast<const char*>(data), qsizetype(size)));
}

void onRecordEnd(int, void* reader) {
    static_cast<CsvReader*>(reader)->endRecord();
}

} // namespace

QString columnName(Column column) {
    return QString::fromLatin1(columnNames[column]);
}

QByteArray exportCsv(const QByteArray& records) {
    const qsizetype count = records.size() / BallFile::recordSize;
    QByteArray out;
    out.reserve(64 + count * 48);
    out += "position,id,producer,mode,pole,name\r\n";
    for (qsizetype i = 0; i < count; ++i) {
        const char* record = recordAt(records, i);
        out += QByteArray::number(i + 1);
        for (const BallFile::Field field : numberFields) {
            out += ',';
            out += QByteArray::number(BallFile::field(record, field));
        }
        out += ',';
        appendCsvField(out, BallFile::name(record).toUtf8());
        out += "\r\n";
    }
    return out;
}

QByteArray exportJson(const QByteArray& records) {
    const qsizetype count = records.size() / BallFile::recordSize;
    QJsonArray balls;
    for (qsizetype i = 0; i < count; ++i) {
        const char* record = recordAt(records, i);
        QJsonObject ball;
        ball.insert(QLatin1String("position"), double(i + 1));
        for (int c = Id; c < Name; ++c)
            ball.insert(QLatin1String(columnNames[std::size_t(c)]),
                        int(BallFile::field(record, numberFields[std::size_t(c - Id)])));
        ball.insert(QLatin1String("name"), BallFile::name(record));
        balls.append(ball);
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("balls"), balls}}).toJson(QJsonDocument::Indented);
}

ParsedText parseCsv(QByteArrayView text) {
    if (text.startsWith("\xEF\xBB\xBF"))
        text = text.sliced(3);
    CsvParser csv;
    if (!csv.ready)
        return {{}, {{0, {}, QStringLiteral("out of memory")}}};
    csv_set_space_func(&csv.parser, noSpace);
    CsvReader reader;
    reader.parsed.rows.reserve(text.size() / 32);
    const std::size_t used =
        csv_parse(&csv.parser, text.data(), std::size_t(text.size()), onField, onRecordEnd, &reader);
    if (used != std::size_t(text.size()) || csv_fini(&csv.parser, onField, onRecordEnd, &reader) != 0) {
        reader.parsed.errors.push_back({reader.rowNumber(),
                                        {},
                                        QStringLiteral("not CSV: %1 (a quote that is not closed or a stray "
                                                       "quote inside an unquoted field)")
                                            .arg(QString::fromLatin1(csv_strerror(csv_error(&csv.parser))))});
        reader.parsed.rows.clear();
        return std::move(reader.parsed);
    }
    if (reader.record == 0)
        reader.parsed.errors.push_back({1, {}, QStringLiteral("no header row")});
    return std::move(reader.parsed);
}

ParsedText parseJson(QByteArrayView text) {
    ParsedText parsed;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(text.toByteArray(), &error);
    if (error.error != QJsonParseError::NoError) {
        parsed.errors.push_back(
            {0, {}, QStringLiteral("not JSON: %1 at byte %2").arg(error.errorString()).arg(error.offset)});
        return parsed;
    }
    QJsonArray balls;
    if (document.isArray()) {
        balls = document.array();
    } else if (document.isObject() && document.object().value(QLatin1String("balls")).isArray()) {
        balls = document.object().value(QLatin1String("balls")).toArray();
    } else {
        parsed.errors.push_back({0, {}, QStringLiteral("expected {\"balls\": [...]} or an array of balls")});
        return parsed;
    }
    for (qsizetype i = 0; i < balls.size(); ++i) {
        const int rowNumber = int(i) + 1;
        if (!balls.at(i).isObject()) {
            parsed.errors.push_back({rowNumber, {}, QStringLiteral("a ball must be an object")});
            continue;
        }
        const QJsonObject ball = balls.at(i).toObject();
        TextRow row;
        row.row = rowNumber;
        bool good = true;
        for (auto key = ball.begin(); key != ball.end(); ++key) {
            if (std::find(columnNames.begin(), columnNames.end(), key.key().toUtf8()) == columnNames.end()) {
                parsed.errors.push_back({rowNumber, key.key(), QStringLiteral("unknown field")});
                good = false;
            }
        }
        for (int c = 0; c < Name; ++c) {
            const QJsonValue value = ball.value(QLatin1String(columnNames[std::size_t(c)]));
            if (value.isUndefined() || value.isNull())
                continue;
            if (!value.isDouble()) {
                parsed.errors.push_back({rowNumber, columnName(Column(c)), QStringLiteral("not a number")});
                good = false;
                continue;
            }
            row.numbers[std::size_t(c)] = value.toDouble();
        }
        const QJsonValue name = ball.value(QLatin1String("name"));
        if (!name.isString()) {
            parsed.errors.push_back(
                {rowNumber, QStringLiteral("name"),
                 name.isUndefined() ? QStringLiteral("missing") : QStringLiteral("not a string")});
            good = false;
        }
        row.name = name.toString();
        if (good)
            parsed.rows.push_back(std::move(row));
    }
    return parsed;
}

namespace {

// Writes the name into the record's name field as the code page holds it,
// NUL-padded, or gives the reason it cannot be stored (the field is then left
// as it was). The name is encoded once, for the check and the field alike.
std::optional<QString> storeName(char* record, QStringView name) {
    if (name.contains(QChar(u'\0')))
        return QStringLiteral("holds a NUL character, which ends a name in the file");
    const auto tooLong = [](qsizetype size) {
        return QStringLiteral("is %1 bytes long; a name holds at most %2").arg(size).arg(maxNameBytes);
    };
    // The code page holds ASCII as it is: only the length can be wrong.
    if (std::all_of(name.begin(), name.end(), [](QChar c) { return c.unicode() < 0x80; })) {
        if (name.size() > maxNameBytes)
            return tooLong(name.size());
        for (qsizetype i = 0; i < name.size(); ++i)
            record[i] = char(name[i].unicode());
        std::memset(record + name.size(), 0, std::size_t(BallFile::nameSize - name.size()));
        return std::nullopt;
    }
    const QByteArray bytes = encodeWindows1250(name);
    const CodePageTable& table = windows1250Table();
    const bool held = bytes.size() == name.size() &&
                      std::equal(bytes.begin(), bytes.end(), name.begin(), [&](char b, QChar c) {
                          return table[static_cast<unsigned char>(b)] == c.unicode();
                      });
    if (!held) {
        for (const QChar c : name)
            if (decodeWindows1250(encodeWindows1250(QStringView(&c, 1))) != QString(c))
                return QStringLiteral("holds U+%1, which the code page cannot hold")
                    .arg(QString::number(c.unicode(), 16).toUpper().rightJustified(4, u'0'));
        return QStringLiteral("holds characters the code page cannot hold");
    }
    if (bytes.size() > maxNameBytes)
        return tooLong(bytes.size());
    std::memcpy(record, bytes.constData(), std::size_t(bytes.size()));
    std::memset(record + bytes.size(), 0, std::size_t(BallFile::nameSize - bytes.size()));
    return std::nullopt;
}

} // namespace

std::optional<QString> nameProblem(const QString& name) {
    std::array<char, BallFile::recordSize> scratch{};
    return storeName(scratch.data(), name);
}

BuiltRecords buildRecords(const std::vector<TextRow>& rows, ImportMode mode, qsizetype existing) {
    BuiltRecords built;
    const bool append = mode == ImportMode::Append;
    const qsizetype total = (append ? existing : 0) + qsizetype(rows.size());
    if (!append && rows.empty())
        built.errors.push_back({0, {}, QStringLiteral("no balls: a table holds at least one")});
    if (total > maxBallCount)
        built.errors.push_back(
            {0, {}, QStringLiteral("%1 balls; a table holds at most %2").arg(total).arg(maxBallCount)});

    std::vector<qsizetype> order(rows.size(), -1); // file index for each row
    std::vector<bool> seen(rows.size(), false);
    built.records.resize(qsizetype(rows.size()) * BallFile::recordSize);
    built.records.fill('\0');
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const TextRow& row = rows[i];
        const auto fail = [&](Column c, const QString& reason) {
            built.errors.push_back({row.row, columnName(c), reason});
        };
        qsizetype index = qsizetype(i);
        if (!append) {
            const std::optional<double> position = row.numbers[Position];
            if (!position) {
                fail(Position, QStringLiteral("missing"));
            } else if (*position != std::floor(*position) || *position < 1 ||
                       *position > double(rows.size())) {
                fail(Position, QStringLiteral("%1 is not a whole number from 1 to %2 (the number of balls)")
                                   .arg(*position)
                                   .arg(rows.size()));
            } else if (seen[std::size_t(*position) - 1]) {
                fail(Position, QStringLiteral("%1 is given twice").arg(*position));
            } else {
                index = qsizetype(*position) - 1;
                seen[std::size_t(index)] = true;
            }
        }
        char* record = built.records.data() + index * BallFile::recordSize;

        const std::optional<double> id = row.numbers[Id];
        if (!id) {
            fail(Id, QStringLiteral("missing"));
        } else if (append) {
            if (const auto value = newBallId(*id))
                BallFile::setField(record, BallFile::Field::ID, *value);
            else
                fail(Id, QStringLiteral("%1: a new ball's ID must be 1 to 15000").arg(*id));
        } else {
            if (const auto value = toFieldValue(*id))
                BallFile::setField(record, BallFile::Field::ID, *value);
            else
                fail(Id, QStringLiteral("%1 is outside -32768..32767").arg(*id));
        }

        // A new ball without these values gets what the window's Add gives it.
        const std::array<std::int16_t, 3> defaults = {newBallProducer, newBallMode, 0};
        for (int c = Producer; c <= Pole; ++c) {
            const BallFile::Field field = numberFields[std::size_t(c - Id)];
            const std::optional<double> number = row.numbers[std::size_t(c)];
            if (!number) {
                if (append)
                    BallFile::setField(record, field, defaults[std::size_t(c - Producer)]);
                else
                    fail(Column(c), QStringLiteral("missing"));
            } else if (const auto value = toFieldValue(*number)) {
                BallFile::setField(record, field, *value);
            } else {
                fail(Column(c), QStringLiteral("%1 is outside -32768..32767").arg(*number));
            }
        }

        if (const auto problem = storeName(record, row.name))
            fail(Name, *problem);
    }
    if (!built.errors.empty())
        built.records.clear();
    return built;
}

BuiltRecords importText(TextFormat format, QByteArrayView text, ImportMode mode, qsizetype existing) {
    const ParsedText parsed = format == TextFormat::Csv ? parseCsv(text) : parseJson(text);
    BuiltRecords built = buildRecords(parsed.rows, mode, existing);
    if (!parsed.errors.empty()) {
        built.records.clear();
        built.errors.insert(built.errors.begin(), parsed.errors.begin(), parsed.errors.end());
    }
    std::stable_sort(built.errors.begin(), built.errors.end(),
                     [](const RowError& a, const RowError& b) { return a.row < b.row; });
    return built;
}

} // namespace table_text
