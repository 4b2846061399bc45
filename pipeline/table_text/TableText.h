#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <optional>
#include <vector>

// The table as text: CSV (UTF-8, RFC 4180, header
// position,id,producer,mode,pole,name) or JSON ({"balls": [{...}]}), and
// the checked way back from either to records.
namespace table_text {

enum class TextFormat { Csv, Json };

// The text for these records (72 bytes each, in file form).
QByteArray exportCsv(const QByteArray& records);
QByteArray exportJson(const QByteArray& records);

enum Column { Position, Id, Producer, Mode, Pole, Name, ColumnCount };
QString columnName(Column column);

struct RowError {
    int row = 0;    // CSV: the header is row 1; JSON: the first ball is row 1
    QString column; // empty when the fault is the row's or the table's
    QString reason;
};

// One row as read: numbers not yet checked against the rules, a missing
// value as nullopt.
struct TextRow {
    int row = 0;
    std::array<std::optional<double>, Name> numbers;
    QString name;
};

struct ParsedText {
    std::vector<TextRow> rows;
    std::vector<RowError> errors;
};

// Numbers are read in a fixed notation (digits, '.', optional sign and
// exponent), so that a file reads the same whatever the user's locale.
ParsedText parseCsv(QByteArrayView text);
ParsedText parseJson(QByteArrayView text);

enum class ImportMode { Replace, Append };

struct BuiltRecords {
    QByteArray records; // the new table (Replace) or the balls to append
    std::vector<RowError> errors;
};

// Applies the table's rules to every row: in Replace mode positions number
// the rows 1..n and IDs are 16-bit; in Append mode IDs follow the window's
// rule for a new ball. Names must be held by the code page in 63 bytes, and
// the table may not grow past its limit (`existing` balls already held).
BuiltRecords buildRecords(const std::vector<TextRow>& rows, ImportMode mode, qsizetype existing);

// The text read and the rules applied in one: every error of both, in row
// order, and no records when there is any.
BuiltRecords importText(TextFormat format, QByteArrayView text, ImportMode mode, qsizetype existing);

// A name the table can store: no NUL, every character in the code page,
// at most 63 bytes. The reason when it cannot.
std::optional<QString> nameProblem(const QString& name);

} // namespace table_text
