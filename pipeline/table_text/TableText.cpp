#include "pipeline/table_text/TableText.h"

#include "ball_table/BallFile.h"
#include "ball_table/CodePage.h"
#include "ball_table/EditRules.h"
#include "ball_table/NumberText.h"
#include "pipeline/table_text/TableReport.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QStringDecoder>
#include <QStringList>

#include <csv.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace table_text {

namespace {

constexpr std::array<const char*, ColumnCount> columnNames = {"position", "id",   "producer",
                                                              "mode",     "pole", "name"};
constexpr std::array<BallFile::Field, 4> numberFields = {BallFile::Field::ID, BallFile::Field::Mode,
                                                         BallFile::Field::Mode2, BallFile::Field::Pole};
constexpr std::array<char, 3> delimiters = {',', ';', '\t'};
// Longer numbers are outside every range the table knows, whatever follows.
constexpr qsizetype maxDigits = 9;

// A whole number as a field holds it: nothing to round, only the range.
std::optional<std::int16_t> sixteenBit(std::int32_t value) {
    if (value < std::numeric_limits<std::int16_t>::min() || value > std::numeric_limits<std::int16_t>::max())
        return std::nullopt;
    return std::int16_t(value);
}

const char* recordAt(const QByteArray& records, qsizetype index) {
    return records.constData() + index * BallFile::recordSize;
}

QByteArrayView nameBytes(const char* record) {
    const void* nul = std::memchr(record, 0, std::size_t(BallFile::nameSize));
    return {record, nul ? static_cast<const char*>(nul) - record : BallFile::nameSize};
}

bool isAscii(QByteArrayView bytes) {
    return std::all_of(bytes.begin(), bytes.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

QByteArrayView trimmedBlanks(QByteArrayView text) {
    while (!text.isEmpty() && isBlank(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && isBlank(text.back()))
        text.chop(1);
    return text;
}

int lineAt(QByteArrayView text, qsizetype offset) {
    return 1 + int(std::count(text.begin(), text.begin() + std::min(offset, text.size()), '\n'));
}

// Quoted when a reader could take the name apart or trim it: any of the
// delimiters a spreadsheet may be told to split on, quotes, line breaks and
// other control bytes, blanks at either end.
bool needsQuotes(QByteArrayView field) {
    if (field.isEmpty())
        return false;
    if (isBlank(field.front()) || isBlank(field.back()))
        return true;
    return std::any_of(field.begin(), field.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return c == ',' || c == ';' || c == '"' || u < 0x20 || u == 0x7F;
    });
}

// A name's code-page bytes as UTF-8 at `out` (room for 3 bytes each, all
// the code page needs); returns the end.
char* toUtf8(QByteArrayView codePage, char* out) {
    const CodePageTable& table = windows1250Table();
    for (const char byte : codePage) {
        const char16_t c = table[static_cast<unsigned char>(byte)];
        if (c < 0x80) {
            *out++ = char(c);
        } else if (c < 0x800) {
            *out++ = char(0xC0 | (c >> 6));
            *out++ = char(0x80 | (c & 0x3F));
        } else {
            *out++ = char(0xE0 | (c >> 12));
            *out++ = char(0x80 | ((c >> 6) & 0x3F));
            *out++ = char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// The field as CSV, at `out`, which has room for twice its size and two
// quotes; returns the end.
char* writeCsvField(char* out, QByteArrayView field) {
    if (!needsQuotes(field)) {
        std::memcpy(out, field.data(), std::size_t(field.size()));
        return out + field.size();
    }
    const std::size_t room = std::size_t(field.size()) * 2 + 2;
    return out + csv_write(out, room, field.data(), std::size_t(field.size()));
}

const QString& wholeNumbersOnly() {
    static const QString text =
        QStringLiteral("write a whole number, without a decimal point or exponent; nothing is rounded");
    return text;
}

// A number as a file writes it: optional blanks, an optional sign and
// digits. Anything else is refused with the reason; a number that only a
// fraction or an exponent makes is named as such, so that it is not mistaken
// for junk.
struct NumberRead {
    std::optional<std::int32_t> value; // nullopt: blank, or refused
    std::optional<QString> problem;
};

NumberRead readNumber(QByteArrayView raw, bool signPlusAllowed) {
    const QByteArrayView text = trimmedBlanks(raw);
    if (text.isEmpty())
        return {};
    qsizetype i = 0;
    const bool negative = text[0] == '-';
    if (negative || (signPlusAllowed && text[0] == '+'))
        ++i;
    qsizetype k = i;
    while (k < text.size() && text[k] >= '0' && text[k] <= '9')
        ++k;
    if (k == text.size() && k > i) {
        while (i < k - 1 && text[i] == '0')
            ++i;
        if (k - i > maxDigits)
            return {std::nullopt, QStringLiteral("%1 is outside -32768..32767").arg(QString::fromUtf8(text))};
        std::int32_t value = 0;
        for (; i < k; ++i)
            value = value * 10 + (text[i] - '0');
        return {negative ? -value : value, std::nullopt};
    }
    const QString shown = QString::fromUtf8(text);
    QString decimalComma = shown;
    decimalComma.replace(u',', u'.');
    if (readLocaleNumber(shown, QLocale::c()) || readLocaleNumber(decimalComma, QLocale::c()))
        return {std::nullopt, QStringLiteral("%1: %2").arg(shown, wholeNumbersOnly())};
    return {std::nullopt, QStringLiteral("not a number: \"%1\"").arg(shown)};
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

// Rows are taken as the parser completes them, so that no copy of the
// whole text's fields is ever held. The text is fed a line at a time, so
// that every row knows the line it starts on.
struct CsvReader {
    char delimiter = ',';
    ParsedText parsed;
    int line = 1;       // the line being fed
    int recordLine = 0; // the line the record being read starts on
    int records = 0;    // records completed, the header included
    std::size_t field = 0;
    std::vector<QByteArray> header;
    std::vector<int> columnOf; // for each named field of a row, its column or -1
    std::size_t named = 0;     // header fields up to the last one with a name
    bool headerBad = false;
    TextRow row;
    std::vector<RowError> rowErrors;
    bool anyValue = false;
    std::size_t strayField = 0; // the first field past the named ones with a value, 1-based

    void take(QByteArrayView text) {
        const std::size_t index = field++;
        if (records == 0) {
            header.emplace_back(text.toByteArray());
            return;
        }
        const bool blank = trimmedBlanks(text).isEmpty();
        anyValue = anyValue || !blank;
        if (headerBad)
            return;
        if (index >= named) {
            if (!blank && strayField == 0)
                strayField = index + 1;
            return;
        }
        const int column = columnOf[index];
        if (column == Name) {
            row.nameStart = std::int32_t(parsed.names.size());
            row.nameSize = std::int32_t(text.size());
            parsed.names += text;
            return;
        }
        const NumberRead number = readNumber(text, true);
        if (number.problem) {
            rowErrors.push_back({recordLine, columnName(Column(column)), *number.problem});
            row.refused[std::size_t(column)] = true;
        }
        row.numbers[std::size_t(column)] = number.value;
    }

    void endRecord() {
        if (records == 0) {
            readHeader();
        } else if (!headerBad && anyValue) {
            // A row of the wrong width has its values in the wrong columns:
            // that one fault is its only error.
            if (field < named) {
                parsed.errors.push_back(
                    {recordLine,
                     {},
                     QStringLiteral("%1 fields where the header has %2").arg(field).arg(named)});
                row.readable = false;
            } else {
                parsed.errors.insert(parsed.errors.end(), rowErrors.begin(), rowErrors.end());
                if (strayField > 0)
                    parsed.errors.push_back(
                        {recordLine,
                         {},
                         QStringLiteral("a value in field %1, past the %2 columns the header names")
                             .arg(strayField)
                             .arg(named)});
            }
            row.line = recordLine;
            parsed.rows.push_back(std::move(row));
        }
        row = TextRow{};
        rowErrors.clear();
        anyValue = false;
        strayField = 0;
        field = 0;
        recordLine = 0;
        ++records;
    }

    // The header names the columns, in any order and any case. Its faults
    // make one error, since they are one row's.
    void readHeader() {
        named = header.size();
        while (named > 0 && trimmedBlanks(header[named - 1]).isEmpty())
            --named;
        std::array<bool, ColumnCount> given{};
        QStringList unknown, twice, unnamed;
        for (std::size_t i = 0; i < named; ++i) {
            const QByteArray name = trimmedBlanks(header[i]).toByteArray().toLower();
            const auto found = std::find_if(columnNames.begin(), columnNames.end(),
                                            [&](const char* known) { return name == known; });
            columnOf.push_back(found == columnNames.end() ? -1 : int(found - columnNames.begin()));
            if (name.isEmpty()) {
                unnamed << QString::number(i + 1);
            } else if (found == columnNames.end()) {
                const auto other = std::find_if(delimiters.begin(), delimiters.end(),
                                                [&](char d) { return d != delimiter && name.contains(d); });
                if (other != delimiters.end()) {
                    // The whole header in one field: the delimiter is another.
                    parsed.errors.push_back({recordLine, {}, wrongDelimiter(delimiter, *other)});
                    headerBad = true;
                    return;
                }
                unknown << quotedList(QString::fromUtf8(trimmedBlanks(header[i])));
            } else if (given[std::size_t(columnOf.back())]) {
                twice << quotedList(QString::fromUtf8(name));
            } else {
                given[std::size_t(columnOf.back())] = true;
            }
        }
        // New balls need no more than these; replacing the table needs all.
        QStringList missing;
        for (const Column c : {Id, Name})
            if (!given[c])
                missing << quotedList(columnName(c));
        parsed.columns = given;
        parsed.headerLine = recordLine;
        QStringList faults;
        const auto say = [&faults](const QStringList& names, const char* one, const char* many) {
            if (!names.isEmpty())
                faults << QString::fromLatin1(names.size() == 1 ? one : many)
                              .arg(names.join(QStringLiteral(", ")));
        };
        say(unknown, "unknown column %1", "unknown columns %1");
        say(missing, "column %1 missing from the header", "columns %1 missing from the header");
        say(twice, "column %1 given twice", "columns %1 given twice");
        say(unnamed, "column %1 of the header has no name", "columns %1 of the header have no name");
        if (faults.isEmpty())
            return;
        QString reason = faults.join(QStringLiteral("; "));
        if (!unknown.isEmpty())
            reason += QStringLiteral(" (the header names position, id, producer, mode, pole and name, in any "
                                     "order and case, separated by commas, semicolons or tabs)");
        parsed.errors.push_back({recordLine, {}, reason});
        headerBad = true;
    }

    static QString quotedList(const QString& name) { return u'"' + name + u'"'; }
    static QString wrongDelimiter(char given, char found) {
        return QStringLiteral("the header is not split by %1 but holds %2: say --delimiter %3")
            .arg(delimiterName(given), delimiterName(found), delimiterOption(found));
    }
    static QString delimiterName(char d) {
        return d == ','   ? QStringLiteral("commas")
               : d == ';' ? QStringLiteral("semicolons")
                          : QStringLiteral("tabs");
    }
    static QString delimiterOption(char d) {
        return d == '\t' ? QStringLiteral("tab") : QStringLiteral("'%1'").arg(QLatin1Char(d));
    }
};

void onField(void* data, std::size_t size, void* reader) {
    static_cast<CsvReader*>(reader)->take(QByteArrayView(static_cast<const char*>(data), qsizetype(size)));
}

void onRecordEnd(int, void* reader) {
    static_cast<CsvReader*>(reader)->endRecord();
}

// Where each ball of a JSON text starts, and its numbers as written (the
// parsed value cannot tell 10 from 10.0 or 1e1).
struct BallSource {
    int line = 0;
    QHash<QString, QByteArrayView> numbers; // the last of a repeated key, as the parser keeps it
};

// Walks a text that the JSON parser has accepted; it still never reads past
// the end or stands still on text it does not expect.
class JsonScanner {
public:
    explicit JsonScanner(QByteArrayView text) : m_text(text) {}

    // The balls of {"balls": [...]} (the last "balls") or of a bare array.
    std::vector<BallSource> balls() {
        std::vector<BallSource> found;
        blanks();
        if (more() && at() == '[')
            return array();
        if (!more() || at() != '{')
            return found;
        entries('}', [&] {
            const QString key = keyText(string());
            colon();
            if (key == QLatin1String("balls") && more() && at() == '[')
                found = array();
            else
                value();
        });
        return found;
    }

private:
    QByteArrayView m_text;
    qsizetype m_i = 0;
    int m_line = 1;

    bool more() const { return m_i < m_text.size(); }
    char at() const { return m_text[m_i]; }

    void blanks() {
        while (more() && (at() == ' ' || at() == '\t' || at() == '\n' || at() == '\r')) {
            m_line += at() == '\n';
            ++m_i;
        }
    }

    void colon() {
        blanks();
        if (more() && at() == ':')
            ++m_i;
        blanks();
    }

    QByteArrayView string() {
        const qsizetype start = m_i++;
        if (start >= m_text.size() || m_text[start] != '"')
            return {};
        while (more() && at() != '"') {
            m_line += at() == '\n';
            m_i += at() == '\\' ? 2 : 1;
        }
        m_i = std::min(m_i + 1, m_text.size());
        return m_text.sliced(start, m_i - start);
    }

    QByteArrayView scalar() {
        const qsizetype start = m_i++;
        while (more() && !std::strchr(",]} \t\r\n", at()))
            ++m_i;
        return m_text.sliced(start, std::min(m_i, m_text.size()) - start);
    }

    void value() {
        blanks();
        if (!more())
            return;
        if (at() == '"') {
            string();
            return;
        }
        if (at() != '{' && at() != '[') {
            scalar();
            return;
        }
        int depth = 0;
        while (more()) {
            if (at() == '"') {
                string();
                continue;
            }
            depth += at() == '{' || at() == '[';
            depth -= at() == '}' || at() == ']';
            m_line += at() == '\n';
            ++m_i;
            if (depth == 0)
                return;
        }
    }

    static QString keyText(QByteArrayView token) {
        if (token.size() < 2)
            return {};
        if (!token.contains('\\'))
            return QString::fromUtf8(token.sliced(1, token.size() - 2));
        return QJsonDocument::fromJson("[" + token.toByteArray() + "]").array().at(0).toString();
    }

    // Steps into the array or object that starts here and calls `entry` at
    // each of its entries, until `close` or the end of the text.
    template <typename Entry> void entries(char close, Entry entry) {
        ++m_i;
        while (more()) {
            blanks();
            if (!more())
                break;
            if (at() == close) {
                ++m_i;
                break;
            }
            if (at() == ',') {
                ++m_i;
                continue;
            }
            entry();
        }
    }

    std::vector<BallSource> array() {
        std::vector<BallSource> balls;
        entries(']', [&] {
            BallSource ball;
            ball.line = m_line;
            if (at() == '{')
                members(ball);
            else
                value();
            balls.push_back(std::move(ball));
        });
        return balls;
    }

    void members(BallSource& ball) {
        entries('}', [&] {
            const QString key = keyText(string());
            colon();
            if (more() && (at() == '-' || (at() >= '0' && at() <= '9')))
                ball.numbers.insert(key, scalar());
            else
                value();
        });
    }
};

} // namespace

QString columnName(Column column) {
    return QString::fromLatin1(columnNames[column]);
}

QByteArray exportCsv(const QByteArray& records, const CsvStyle& style) {
    const qsizetype count = records.size() / BallFile::recordSize;
    const char d = style.delimiter;
    QByteArray out;
    out.reserve(64 + count * 56);
    if (style.encoding == TextEncoding::Utf8Bom)
        out += "\xEF\xBB\xBF";
    for (int c = 0; c < ColumnCount; ++c) {
        if (c > 0)
            out += d;
        out += columnNames[std::size_t(c)];
    }
    out += "\r\n";
    // A row is made in place and appended whole: the numbers, and a name of
    // at most 64 code-page bytes, each at most 3 bytes of UTF-8, its quotes
    // doubled.
    std::array<char, 512> row;
    std::array<char, BallFile::nameSize * 3> utf8;
    for (qsizetype i = 0; i < count; ++i) {
        const char* record = recordAt(records, i);
        char* const end = row.data() + row.size();
        char* p = std::to_chars(row.data(), end, i + 1).ptr;
        for (const BallFile::Field field : numberFields) {
            *p++ = d;
            p = std::to_chars(p, end, BallFile::field(record, field)).ptr;
        }
        *p++ = d;
        // The field holds the name in the code page already.
        const QByteArrayView name = nameBytes(record);
        if (style.encoding == TextEncoding::Cp1250 || isAscii(name))
            p = writeCsvField(p, name);
        else
            p = writeCsvField(p, QByteArrayView(utf8.data(), toUtf8(name, utf8.data()) - utf8.data()));
        *p++ = '\r';
        *p++ = '\n';
        out.append(row.data(), p - row.data());
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

DecodedText decodeText(const QByteArray& bytes, TextEncoding encoding) {
    struct Mark {
        QByteArrayView bytes;
        QStringConverter::Encoding encoding;
        const char* name;
    };
    // The four-byte marks first: UTF-32LE's starts with UTF-16LE's.
    static const std::array<Mark, 5> marks = {{
        {QByteArrayView("\xFF\xFE\x00\x00", 4), QStringConverter::Utf32LE, "UTF-32"},
        {QByteArrayView("\x00\x00\xFE\xFF", 4), QStringConverter::Utf32BE, "UTF-32"},
        {QByteArrayView("\xEF\xBB\xBF", 3), QStringConverter::Utf8, "UTF-8"},
        {QByteArrayView("\xFF\xFE", 2), QStringConverter::Utf16LE, "UTF-16"},
        {QByteArrayView("\xFE\xFF", 2), QStringConverter::Utf16BE, "UTF-16"},
    }};
    for (const Mark& mark : marks) {
        if (!bytes.startsWith(mark.bytes))
            continue;
        if (encoding == TextEncoding::Cp1250)
            return {{},
                    QStringLiteral("the file starts with a %1 byte-order mark, so it is %1 text, not "
                                   "Windows-1250: leave out --encoding cp1250")
                        .arg(QLatin1String(mark.name))};
        const QByteArrayView body = QByteArrayView(bytes).sliced(mark.bytes.size());
        if (mark.encoding == QStringConverter::Utf8) {
            if (!body.isValidUtf8())
                break;
            return {body.toByteArray(), {}};
        }
        QStringDecoder decoder(mark.encoding, QStringConverter::Flag::Stateless);
        const QString text = decoder(body);
        if (decoder.hasError())
            return {{},
                    QStringLiteral("not %1 text, though it starts with a %1 byte-order mark")
                        .arg(QLatin1String(mark.name))};
        return {text.toUtf8(), {}};
    }
    if (encoding == TextEncoding::Cp1250)
        return {decodeWindows1250(bytes).toUtf8(), {}};
    if (bytes.size() >= 2 && (bytes[0] == '\0' || bytes[1] == '\0'))
        return {{},
                QStringLiteral("the file starts with NUL bytes, as UTF-16 text without a byte-order mark "
                               "does: save it as UTF-8, or as UTF-16 with a byte-order mark")};
    if (bytes.isValidUtf8())
        return {bytes, {}};
    int line = 1;
    for (qsizetype start = 0; start < bytes.size(); ++line) {
        qsizetype end = bytes.indexOf('\n', start);
        end = end < 0 ? bytes.size() : end + 1;
        if (!QByteArrayView(bytes).sliced(start, end - start).isValidUtf8())
            break;
        start = end;
    }
    return {{},
            QStringLiteral("line %1 is not UTF-8 text; a file saved as Windows-1250 (\"ANSI\", as Polish "
                           "spreadsheets save it) is read with --encoding cp1250")
                .arg(line)};
}

char recogniseDelimiter(QByteArrayView utf8) {
    std::array<int, delimiters.size()> counts{};
    bool quoted = false;
    bool started = false;
    for (const char c : utf8) {
        if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && (c == '\n' || c == '\r')) {
            if (started)
                break;
            continue;
        } else if (!quoted) {
            for (std::size_t d = 0; d < delimiters.size(); ++d)
                counts[d] += c == delimiters[d];
        }
        started = true;
    }
    const auto most = std::max_element(counts.begin(), counts.end());
    return *most > 0 ? delimiters[std::size_t(most - counts.begin())] : ',';
}

ParsedText parseCsv(QByteArrayView text, char delimiter) {
    CsvParser csv;
    if (!csv.ready)
        return {{}, {}, {{0, {}, QStringLiteral("out of memory")}}};
    csv_set_space_func(&csv.parser, noSpace);
    csv_set_delim(&csv.parser, static_cast<unsigned char>(delimiter));
    CsvReader reader;
    reader.delimiter = delimiter;
    // Set aside at once (what is never written costs nothing): the rows
    // and names would otherwise be copied to fresh memory as they grow.
    reader.parsed.rows.reserve(std::size_t(text.size() / 32));
    reader.parsed.names.reserve(text.size());
    bool parsed = true;
    for (qsizetype start = 0; start < text.size() && parsed;) {
        // One line with its end: "\r\n", "\n" or a lone "\r".
        const char* const from = text.data() + start;
        const auto left = std::size_t(text.size() - start);
        const char* newline = static_cast<const char*>(std::memchr(from, '\n', left));
        const char* end = newline ? newline : from + left;
        if (end > from && end[-1] == '\r')
            --end;
        if (const void* cr = std::memchr(from, '\r', std::size_t(end - from)))
            end = static_cast<const char*>(cr);
        const bool blank = end == from;
        if (end < from + left)
            end += *end == '\r' && end + 1 < from + left && end[1] == '\n' ? 2 : 1;
        if (reader.recordLine == 0 && !blank)
            reader.recordLine = reader.line;
        const auto size = std::size_t(end - from);
        parsed = csv_parse(&csv.parser, from, size, onField, onRecordEnd, &reader) == size;
        if (parsed) {
            start += qsizetype(size);
            ++reader.line;
        }
    }
    if (!parsed || csv_fini(&csv.parser, onField, onRecordEnd, &reader) != 0) {
        const int line = reader.recordLine > 0 ? reader.recordLine : reader.line;
        // A header quoted field by field stops the parser when split
        // wrongly: the delimiter is another.
        if (const char other = recogniseDelimiter(text); reader.records == 0 && other != delimiter)
            reader.parsed.errors.push_back({line, {}, CsvReader::wrongDelimiter(delimiter, other)});
        else
            reader.parsed.errors.push_back(
                {line,
                 {},
                 QStringLiteral(
                     "not CSV: %1 (a quote that is not closed or a stray quote inside an unquoted field)")
                     .arg(QString::fromLatin1(csv_strerror(csv_error(&csv.parser))))});
        reader.parsed.rows.clear();
        return std::move(reader.parsed);
    }
    if (reader.records == 0)
        reader.parsed.errors.push_back({0, {}, QStringLiteral("no header row")});
    return std::move(reader.parsed);
}

ParsedText parseJson(QByteArrayView text) {
    ParsedText parsed;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(text.toByteArray(), &error);
    if (error.error != QJsonParseError::NoError) {
        parsed.errors.push_back(
            {lineAt(text, error.offset), {}, QStringLiteral("not JSON: %1").arg(error.errorString())});
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
    const std::vector<BallSource> sources = JsonScanner(text).balls();
    const bool located = qsizetype(sources.size()) == balls.size();
    for (qsizetype i = 0; i < balls.size(); ++i) {
        TextRow row;
        row.line = located ? sources[std::size_t(i)].line : 0;
        const auto fail = [&](const QString& field, const QString& reason) {
            parsed.errors.push_back({row.line, field, reason});
        };
        if (!balls.at(i).isObject()) {
            fail({}, QStringLiteral("a ball must be an object"));
            row.readable = false;
            parsed.rows.push_back(std::move(row));
            continue;
        }
        const QJsonObject ball = balls.at(i).toObject();
        for (auto key = ball.begin(); key != ball.end(); ++key)
            if (std::find(columnNames.begin(), columnNames.end(), key.key().toUtf8()) == columnNames.end())
                fail(key.key(), QStringLiteral("unknown field"));
        for (int c = 0; c < Name; ++c) {
            const QString key = columnName(Column(c));
            const QJsonValue value = ball.value(key);
            if (value.isUndefined() || value.isNull())
                continue;
            NumberRead number;
            if (!value.isDouble()) {
                number.problem = QStringLiteral("not a number");
            } else if (located) {
                number = readNumber(sources[std::size_t(i)].numbers.value(key), false);
            } else if (const double v = value.toDouble(); v == double(qint64(v)) && std::abs(v) < 1e9) {
                number.value = std::int32_t(v);
            } else {
                number.problem = QStringLiteral("%1: %2").arg(v).arg(wholeNumbersOnly());
            }
            if (number.problem) {
                fail(key, *number.problem);
                row.refused[std::size_t(c)] = true;
            }
            row.numbers[std::size_t(c)] = number.value;
        }
        const QJsonValue name = ball.value(QLatin1String("name"));
        if (!name.isString()) {
            fail(QStringLiteral("name"),
                 name.isUndefined() ? QStringLiteral("missing") : QStringLiteral("not a string"));
            row.refused[Name] = true;
        }
        const QByteArray utf8 = name.toString().toUtf8();
        row.nameStart = std::int32_t(parsed.names.size());
        row.nameSize = std::int32_t(utf8.size());
        parsed.names += utf8;
        parsed.rows.push_back(std::move(row));
    }
    return parsed;
}

namespace {

// Writes the name into the record's name field as the code page holds it,
// NUL-padded, or gives the reason it cannot be stored (the field is then left
// as it was). The name is encoded once, for the check and the field alike.
std::optional<QString> storeName(char* record, QByteArrayView utf8) {
    if (utf8.contains('\0'))
        return QStringLiteral("holds a NUL character, which ends a name in the file");
    const auto tooLong = [](qsizetype size) {
        return QStringLiteral("is %1 bytes long; a name holds at most %2").arg(size).arg(maxNameBytes);
    };
    // The code page holds ASCII as it is: only the length can be wrong.
    if (isAscii(utf8)) {
        if (utf8.size() > maxNameBytes)
            return tooLong(utf8.size());
        std::memcpy(record, utf8.data(), std::size_t(utf8.size()));
        std::memset(record + utf8.size(), 0, std::size_t(BallFile::nameSize - utf8.size()));
        return std::nullopt;
    }
    const QString name = QString::fromUtf8(utf8);
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
    return storeName(scratch.data(), name.toUtf8());
}

std::optional<QString> utf8Reading(QByteArrayView bytes) {
    if (isAscii(bytes) || !bytes.isValidUtf8())
        return std::nullopt;
    const QString text = QString::fromUtf8(bytes);
    if (std::any_of(text.begin(), text.end(), [](QChar c) { return c.category() == QChar::Other_Control; }))
        return std::nullopt;
    return text;
}

BuiltRecords buildRecords(const ParsedText& parsed, ImportMode mode, qsizetype existing) {
    const std::vector<TextRow>& rows = parsed.rows;
    BuiltRecords built;
    built.rows = qsizetype(rows.size());
    const bool append = mode == ImportMode::Append;
    if (!append) {
        QStringList missing;
        for (int c = 0; c < ColumnCount; ++c)
            if (!parsed.columns[std::size_t(c)])
                missing << QStringLiteral("\"%1\"").arg(columnName(Column(c)));
        if (!missing.isEmpty()) {
            built.errors.push_back(
                {parsed.headerLine,
                 {},
                 QStringLiteral("%1 %2 missing from the header; replacing the table needs every column")
                     .arg(missing.size() == 1 ? QStringLiteral("column") : QStringLiteral("columns"),
                          missing.join(QStringLiteral(", ")))});
            return built;
        }
    }

    const qsizetype total = (append ? existing : 0) + qsizetype(rows.size());
    if (!append && rows.empty())
        built.errors.push_back({0, {}, QStringLiteral("no balls: a table holds at least one")});
    if (total > maxBallCount)
        built.errors.push_back(
            {0, {}, QStringLiteral("%1 balls; a table holds at most %2").arg(total).arg(maxBallCount)});

    std::vector<bool> seen(rows.size(), false);
    built.records = BallFile::withRoomForHeader(qsizetype(rows.size()) * BallFile::recordSize);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const TextRow& row = rows[i];
        // Its fault is reported already; it only counts as a row.
        if (!row.readable)
            continue;
        const auto fail = [&](Column c, const QString& reason) {
            built.errors.push_back({row.line, columnName(c), reason});
        };
        // A value refused while reading has its error already.
        const auto missing = [&](Column c) {
            if (!row.numbers[std::size_t(c)] && !row.refused[std::size_t(c)])
                fail(c, QStringLiteral("missing"));
            return !row.numbers[std::size_t(c)];
        };
        qsizetype index = qsizetype(i);
        if (!append && !missing(Position)) {
            const std::int32_t position = *row.numbers[Position];
            if (position < 1 || position > qsizetype(rows.size())) {
                fail(Position, QStringLiteral("%1 is not a position from 1 to %2 (the number of balls)")
                                   .arg(position)
                                   .arg(rows.size()));
            } else if (seen[std::size_t(position) - 1]) {
                fail(Position, QStringLiteral("%1 is given twice").arg(position));
            } else {
                index = qsizetype(position) - 1;
                seen[std::size_t(index)] = true;
            }
        }
        char* record = built.records.data() + index * BallFile::recordSize;

        if (!missing(Id)) {
            const std::int32_t id = *row.numbers[Id];
            if (append) {
                if (const auto value = newBallId(id))
                    BallFile::setField(record, BallFile::Field::ID, *value);
                else
                    fail(Id, QStringLiteral("%1: a new ball's ID must be 1 to 15000").arg(id));
            } else if (const auto value = sixteenBit(id)) {
                BallFile::setField(record, BallFile::Field::ID, *value);
            } else {
                fail(Id, QStringLiteral("%1 is outside -32768..32767").arg(id));
            }
        }

        // A new ball without these values gets what the window's Add gives it.
        const std::array<std::int16_t, 3> defaults = {newBallProducer, newBallMode, 0};
        for (int c = Producer; c <= Pole; ++c) {
            const BallFile::Field field = numberFields[std::size_t(c - Id)];
            const std::optional<std::int32_t> number = row.numbers[std::size_t(c)];
            if (row.refused[std::size_t(c)])
                continue;
            if (!number) {
                if (append)
                    BallFile::setField(record, field, defaults[std::size_t(c - Producer)]);
                else
                    fail(Column(c), QStringLiteral("missing"));
            } else if (const auto value = sixteenBit(*number)) {
                BallFile::setField(record, field, *value);
            } else {
                fail(Column(c), QStringLiteral("%1 is outside -32768..32767").arg(*number));
            }
        }

        if (row.refused[Name])
            continue;
        const QByteArrayView name(parsed.names.constData() + row.nameStart, row.nameSize);
        if (const auto problem = storeName(record, name))
            fail(Name, *problem);
        else if (const auto reading = utf8Reading(nameBytes(record)))
            built.warnings.push_back(
                {row.line, columnName(Name),
                 QStringLiteral(
                     "%1 looks like %2 saved as UTF-8 and read as Windows-1250; it is kept as written")
                     .arg(quotedName(QString::fromUtf8(name)), quotedName(*reading))});
    }
    if (!built.errors.empty())
        built.records.clear();
    return built;
}

ParsedText parseText(const QByteArray& bytes, const ReadOptions& options) {
    const DecodedText decoded = decodeText(bytes, options.encoding);
    if (!decoded.error.isEmpty()) {
        ParsedText refused;
        refused.errors.push_back({0, {}, decoded.error});
        return refused;
    }
    return options.format == TextFormat::Csv
               ? parseCsv(decoded.utf8, options.delimiter.value_or(recogniseDelimiter(decoded.utf8)))
               : parseJson(decoded.utf8);
}

BuiltRecords importParsed(const ParsedText& parsed, ImportMode mode, qsizetype existing) {
    // A text that could not be read has only the errors of its reading.
    if (!parsed.errors.empty() && parsed.rows.empty()) {
        BuiltRecords refused;
        refused.errors = parsed.errors;
        return refused;
    }
    BuiltRecords built = buildRecords(parsed, mode, existing);
    if (!parsed.errors.empty()) {
        built.records.clear();
        built.errors.insert(built.errors.begin(), parsed.errors.begin(), parsed.errors.end());
    }
    std::stable_sort(built.errors.begin(), built.errors.end(),
                     [](const RowError& a, const RowError& b) { return a.line < b.line; });
    return built;
}

BuiltRecords importText(const QByteArray& bytes, const ReadOptions& options, ImportMode mode,
                        qsizetype existing) {
    return importParsed(parseText(bytes, options), mode, existing);
}

} // namespace table_text
