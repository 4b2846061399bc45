#include "pipeline/table_edits/TableEdits.h"

#include "ball_table/BallFile.h"
#include "ball_table/Baza.h"
#include "ball_table/EditRules.h"
#include "pipeline/table_text/TableText.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace table_edits {

namespace {

qsizetype countOf(const QByteArray& records) {
    return records.size() / BallFile::recordSize;
}

// Runs an edit on the table through Baza, exactly as the window holds it,
// and gives the file Baza would save.
Edited throughBaza(const QByteArray& records, const std::function<QString(Baza&)>& edit) {
    const std::optional<QByteArray> file = BallFile::fileBytes(records);
    Baza baza;
    if (!file || !baza.Wczytaj(QString(), *file))
        return {std::nullopt, QStringLiteral("the table cannot be edited")};
    if (QString problem = edit(baza); !problem.isEmpty())
        return {std::nullopt, problem};
    std::optional<QByteArray> saved = baza.fileBytes();
    if (!saved)
        return {std::nullopt, QStringLiteral("the edited table cannot be saved")};
    return {std::move(saved), {}};
}

} // namespace

TypedName typedNameOf(const QString& given) {
    const QString composed = given.normalized(QString::NormalizationForm_C);
    // A line break or control character is no fault: the box turns it into
    // what it keeps, so the check looks at that.
    const QString name = typedName(composed);
    QString withoutStandIns = composed;
    for (QChar& c : withoutStandIns)
        if (c.category() == QChar::Other_Control || c == u'\u2028' || c == u'\u2029')
            c = u' ';
    return {name, table_text::nameProblem(withoutStandIns)};
}

Edited setBall(const QByteArray& records, int position, const Change& change) {
    if (position < 1 || position > countOf(records))
        return {
            std::nullopt,
            QStringLiteral("no ball at position %1 (the table has %2)").arg(position).arg(countOf(records))};
    return throughBaza(records, [&](Baza& baza) {
        // The boxes hold the ball's current values; the change replaces
        // those it names, and the whole record is written, as one edit.
        const int index = position - 1;
        baza.Zmien_Dane(
            index, change.id.value_or(baza.Get_ID(index)), change.name.value_or(baza.Get_Nazwa(index)),
            change.producer.value_or(baza.Get_Mode(index)), change.mode.value_or(baza.Get_Mode2(index)));
        return QString();
    });
}

Edited addBall(const QByteArray& records, const QString& idText, const Change& more) {
    return throughBaza(records, [&](Baza& baza) {
        if (baza.Count() >= maxBallCount)
            return QStringLiteral("the table is full (%1 balls)").arg(maxBallCount);
        baza.setNewIdTextSource([&idText] { return idText; });
        const std::int16_t id = baza.Dodaj_Nowy();
        if (id < 1)
            return QStringLiteral("--id %1: a new ball's ID must be a number from 1 to 15000").arg(idText);
        // As the window's Add: the new ball gets its producer and mode
        // values, then whatever else was given, as typed into its boxes.
        const int index = baza.Count() - 1;
        baza.Zmien_Dane(index, id, QString(), newBallProducer, newBallMode);
        if (more.producer || more.mode || more.name.value_or(QString()).size() > 0)
            baza.Zmien_Dane(index, id, more.name.value_or(QString()), more.producer.value_or(newBallProducer),
                            more.mode.value_or(newBallMode));
        return QString();
    });
}

Removal removeBalls(const QByteArray& records, const std::vector<int>& positions,
                    const std::vector<int>& ids) {
    const qsizetype count = countOf(records);
    Removal removal;
    removal.removed.assign(std::size_t(count), false);
    for (const int p : positions) {
        if (p < 1 || p > count) {
            removal.problem = QStringLiteral("no ball at position %1 (the table has %2)").arg(p).arg(count);
            return removal;
        }
        removal.removed[std::size_t(p - 1)] = true;
    }
    for (const int id : ids) {
        bool found = false;
        for (qsizetype i = 0; i < count; ++i) {
            if (BallFile::field(records.constData() + i * BallFile::recordSize, BallFile::Field::ID) == id) {
                removal.removed[std::size_t(i)] = true;
                found = true;
            }
        }
        if (!found) {
            removal.problem = QStringLiteral("no ball has ID %1").arg(id);
            return removal;
        }
    }
    const auto gone = qsizetype(std::count(removal.removed.begin(), removal.removed.end(), true));
    if (gone == count) {
        removal.problem = QStringLiteral("that would remove every ball; a table holds at least one");
        return removal;
    }
    removal.records.reserve((count - gone) * BallFile::recordSize);
    for (qsizetype i = 0; i < count; ++i)
        if (!removal.removed[std::size_t(i)])
            removal.records.append(records.constData() + i * BallFile::recordSize, BallFile::recordSize);
    return removal;
}

qsizetype changedBalls(const QByteArray& before, const QByteArray& after) {
    const qsizetype common = std::min(before.size(), after.size()) / BallFile::recordSize;
    qsizetype changed = 0;
    for (qsizetype i = 0; i < common; ++i)
        changed += std::memcmp(before.constData() + i * BallFile::recordSize,
                               after.constData() + i * BallFile::recordSize, BallFile::recordSize) != 0;
    return changed;
}

} // namespace table_edits
