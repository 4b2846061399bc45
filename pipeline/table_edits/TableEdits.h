#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

// The changes vestrel-table makes to a table's records (72 bytes each, in
// file form), by the window's own rules, so that a change and an Add give
// the bytes the window gives.
namespace table_edits {

// What to change in one ball: the fields given, as typed into the window's
// boxes; the others keep their values.
struct Change {
    std::optional<std::int16_t> id, producer, mode;
    std::optional<QString> name;
};

// A name as given on a command line, as the name box would take it: composed,
// line breaks and tabs as spaces, other control characters left out. The
// reason when it cannot be stored (a character the code page lacks, or more
// than 63 bytes), since a command line cannot see a '?' appear as a user can.
struct TypedName {
    QString name;
    std::optional<QString> problem;
};
TypedName typedNameOf(const QString& given);

// The whole decompressed file after an edit, or what stopped it.
struct Edited {
    std::optional<QByteArray> file;
    QString problem;
};

// Changes the ball at a 1-based position, as one edit in the window.
Edited setBall(const QByteArray& records, int position, const Change& change);
// Adds a ball as the window's Add does for `idText` typed into ID New Ball,
// then gives it what else was given.
Edited addBall(const QByteArray& records, const QString& idText, const Change& more);

// The balls left after removing those at the given 1-based positions and
// every ball with one of the given IDs; the balls after a removed one move
// up, as in the window's list.
struct Removal {
    QByteArray records;
    std::vector<bool> removed; // per ball of the old table
    QString problem;
};
Removal removeBalls(const QByteArray& records, const std::vector<int>& positions,
                    const std::vector<int>& ids);

// How many balls present in both tables differ.
qsizetype changedBalls(const QByteArray& before, const QByteArray& after);

} // namespace table_edits
