#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

// The table as text: CSV (RFC 4180, header position,id,producer,mode,pole,name)
// or JSON ({"balls": [{...}]}), and the checked way back from either to
// records. CSV is written as spreadsheets read it (delimiter and encoding of
// the caller's choice) and read as spreadsheets write it.
namespace table_text {

// The most bytes a text of the largest table (32,767 balls) can need in any
// form read here, with a margin: a ball takes at most about 570 bytes (JSON,
// indented, every letter of its name escaped), and 1 KiB is allowed. A
// larger text is refused before it is read.
inline constexpr std::uint64_t maxTextSize = std::uint64_t(32767) * 1024;

enum class TextFormat { Csv, Json };

// Writing: UTF-8 without or with a byte-order mark, or Windows-1250.
// Reading: Utf8 (and Utf8Bom alike) takes UTF-8 with or without the mark and
// UTF-16 or UTF-32 with theirs; Cp1250 takes Windows-1250.
enum class TextEncoding { Utf8, Utf8Bom, Cp1250 };

struct CsvStyle {
    char delimiter = ',';
    TextEncoding encoding = TextEncoding::Utf8;
};

// The text for these records (72 bytes each, in file form). JSON is UTF-8.
QByteArray exportCsv(const QByteArray& records, const CsvStyle& style = {});
QByteArray exportJson(const QByteArray& records);

enum Column { Position, Id, Producer, Mode, Pole, Name, ColumnCount };
QString columnName(Column column);

// A fault or a warning in a text, at the line of the file where its row
// (CSV) or ball (JSON) starts; line 0 for the text as a whole.
struct RowError {
    int line = 0;
    QString column; // CSV column or JSON field; empty when the fault is the row's
    QString reason;
};

// One row as read: numbers not yet checked against the rules, a missing
// value as nullopt. A value already refused while reading is marked
// `refused`, so that no second error follows for it; a row whose values
// could not be told apart at all (a field count that does not match the
// header, a JSON ball that is not an object) is not `readable`. Both still
// count as rows, so that the positions of the others are checked against
// the whole table. The name is held in the text's `names`, as UTF-8.
struct TextRow {
    int line = 0;
    bool readable = true;
    std::array<std::optional<std::int32_t>, Name> numbers;
    std::array<bool, ColumnCount> refused{};
    std::int32_t nameStart = 0; // texts are far below 2 GiB
    std::int32_t nameSize = 0;
};

struct ParsedText {
    std::vector<TextRow> rows;
    QByteArray names; // every row's name, one after the other
    std::vector<RowError> errors;
    // CSV: the columns the header names (id and name it must), and its line.
    std::array<bool, ColumnCount> columns{true, true, true, true, true, true};
    int headerLine = 0;
};

// The text as UTF-8, from the encoding the caller names (see TextEncoding; a
// byte-order mark decides for itself). Empty `error` on success; otherwise
// the reason, naming the line and what to do. UTF-8 without a mark comes
// back as the very bytes given, not a copy.
struct DecodedText {
    QByteArray utf8;
    QString error;
};
DecodedText decodeText(const QByteArray& bytes, TextEncoding encoding);

// The delimiter of a CSV text: of comma, semicolon and tab, the one its
// header line holds most often outside quotes (comma when none).
char recogniseDelimiter(QByteArrayView utf8);

// Both take UTF-8 text. Numbers are whole numbers in plain digits with an
// optional sign: a decimal point or an exponent is refused, not rounded.
// CSV header names are matched without regard to case, and empty columns
// after the last named one are ignored, as are rows without any value. A
// header without position, producer, mode or pole serves to add balls.
ParsedText parseCsv(QByteArrayView utf8, char delimiter);
ParsedText parseJson(QByteArrayView utf8);

enum class ImportMode { Replace, Append };

struct BuiltRecords {
    QByteArray records; // the new table (Replace) or the balls to append
    qsizetype rows = 0; // rows read, refused ones included
    std::vector<RowError> errors;
    std::vector<RowError> warnings; // accepted all the same
};

// Applies the table's rules to every row: in Replace mode positions number
// the rows 1..n and IDs are 16-bit; in Append mode IDs follow the window's
// rule for a new ball. Names must be held by the code page in 63 bytes, and
// the table may not grow past its limit (`existing` balls already held).
BuiltRecords buildRecords(const ParsedText& parsed, ImportMode mode, qsizetype existing);

struct ReadOptions {
    TextFormat format = TextFormat::Csv;
    std::optional<char> delimiter; // CSV: recognised from the header when not given
    TextEncoding encoding = TextEncoding::Utf8;
};

// The text decoded and read (a text that does not decode has that one
// error), not yet held against the table's rules.
ParsedText parseText(const QByteArray& bytes, const ReadOptions& options);
// The rules applied to what was read: every error of both, in line order,
// and no records when there is any.
BuiltRecords importParsed(const ParsedText& parsed, ImportMode mode, qsizetype existing);
// Both in one.
BuiltRecords importText(const QByteArray& bytes, const ReadOptions& options, ImportMode mode,
                        qsizetype existing);

// A name the table can store: no NUL, every character in the code page,
// at most 63 bytes. The reason when it cannot.
std::optional<QString> nameProblem(const QString& name);

// A name written as UTF-8 and read back as Windows-1250 ("Złota" saved by
// one program and opened by another as "ZĹ‚ota"): when the name's code-page
// bytes are UTF-8 text with letters beyond ASCII, that text. Real names can
// look so, so this only ever warns.
std::optional<QString> utf8Reading(QByteArrayView codePageBytes);

} // namespace table_text
