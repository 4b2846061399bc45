#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

// What `check` finds in a table and what `diff` finds between two.
namespace table_text {

struct Finding {
    QString kind;     // header, count, name-without-nul, name-encoding, id-range, duplicate-id
    int position = 0; // 1-based; 0 for the table as a whole
    QString message;
};

// Every problem of a decompressed table (header and records) that the editor
// would refuse or that the game is not meant to see, and names that look
// garbled by a wrong encoding. Unlike loading, it goes on past the first
// fault.
std::vector<Finding> checkTable(const QByteArray& table);
QByteArray findingsText(const std::vector<Finding>& findings);
QByteArray findingsJson(const std::vector<Finding>& findings);

// Balls added, removed and changed from `before` to `after` (records in file
// form), one line each; matched by position, or by ID (the n-th ball with an
// ID matches the n-th with the same ID on the other side).
enum class Matching { ByPosition, ById };
QByteArray diffTables(const QByteArray& before, const QByteArray& after, Matching matching);

// The lines diff gives for balls removed from `records`, at their positions
// there: one for each ball `removed` marks.
QByteArray diffRemoved(const QByteArray& records, const std::vector<bool>& removed);

// A name on one line: quoted, with quotes, backslashes and control
// characters escaped.
QString quotedName(const QString& name);

} // namespace table_text
