#include "pipeline/table_text/TableReport.h"

#include "ball_table/BallFile.h"
#include "ball_table/CodePage.h"
#include "ball_table/EditRules.h"
#include "pipeline/table_text/TableText.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtEndian>

#include <cstring>
#include <map>

namespace table_text {

namespace {

constexpr std::array<const char*, 8> headerFields = {"Sig_A", "Sig_B",      "Sig_C",      "Data_Size",
                                                     "Sig_D", "Reserved_1", "Reserved_2", "Reserved_3"};
constexpr int lowestId = 1;
constexpr int highestId = 15000;

std::int32_t headerField(const QByteArray& table, int index) {
    return qFromLittleEndian<std::int32_t>(table.constData() + index * 4);
}

const char* recordAt(const QByteArray& records, qsizetype index) {
    return records.constData() + index * BallFile::recordSize;
}

struct BallView {
    int position = 0;
    std::int16_t id = 0, producer = 0, mode = 0, pole = 0;
    QString name;
};

BallView viewOf(const QByteArray& records, qsizetype index) {
    const char* r = recordAt(records, index);
    return {int(index) + 1,
            BallFile::field(r, BallFile::Field::ID),
            BallFile::field(r, BallFile::Field::Mode),
            BallFile::field(r, BallFile::Field::Mode2),
            BallFile::field(r, BallFile::Field::Pole),
            BallFile::name(r)};
}

QString describeBall(const BallView& b) {
    return QStringLiteral("id %1, producer %2, mode %3, pole %4, name %5")
        .arg(b.id)
        .arg(b.producer)
        .arg(b.mode)
        .arg(b.pole)
        .arg(quotedName(b.name));
}

// The fields that differ, as "field old -> new" joined by "; ".
QString changes(const BallView& a, const BallView& b, bool withPosition) {
    QStringList parts;
    if (withPosition && a.position != b.position)
        parts << QStringLiteral("position %1 -> %2").arg(a.position).arg(b.position);
    const auto number = [&parts](const char* field, int x, int y) {
        if (x != y)
            parts << QStringLiteral("%1 %2 -> %3").arg(QLatin1String(field)).arg(x).arg(y);
    };
    number("id", a.id, b.id);
    number("producer", a.producer, b.producer);
    number("mode", a.mode, b.mode);
    number("pole", a.pole, b.pole);
    if (a.name != b.name)
        parts << QStringLiteral("name %1 -> %2").arg(quotedName(a.name), quotedName(b.name));
    return parts.join(QStringLiteral("; "));
}

} // namespace

QString quotedName(const QString& name) {
    QString out;
    out.reserve(name.size() + 2);
    out += u'"';
    for (const QChar c : name) {
        const char16_t u = c.unicode();
        if (u == u'"' || u == u'\\') {
            out += u'\\';
            out += c;
        } else if (u < 0x20 || (u >= 0x7F && u < 0xA0)) {
            out += QStringLiteral("\\u%1").arg(QString::number(u, 16).toUpper().rightJustified(4, u'0'));
        } else {
            out += c;
        }
    }
    out += u'"';
    return out;
}

std::vector<Finding> checkTable(const QByteArray& table) {
    std::vector<Finding> findings;
    if (table.size() < BallFile::headerSize) {
        findings.push_back(
            {QStringLiteral("header"), 0,
             QStringLiteral("the file is %1 bytes, shorter than the 32-byte header").arg(table.size())});
        return findings;
    }
    const std::int32_t dataSize = headerField(table, 3);
    // Every field but Data_Size must be as the editor writes it.
    const QByteArray expected = BallFile::header(dataSize);
    for (int i = 0; i < int(headerFields.size()); ++i) {
        const std::int32_t want = headerField(expected, i);
        const std::int32_t have = headerField(table, i);
        if (want != have)
            findings.push_back({QStringLiteral("header"), 0,
                                QStringLiteral("%1 is %2; the editor needs %3")
                                    .arg(QLatin1String(headerFields[std::size_t(i)]))
                                    .arg(have)
                                    .arg(want)});
    }
    const std::int32_t announced = dataSize > 0 ? BallFile::recordCountFor(dataSize) : 0;
    if (dataSize <= 0 || announced <= 0) {
        findings.push_back({QStringLiteral("header"), 0,
                            QStringLiteral("Data_Size is %1, which announces no ball").arg(dataSize)});
        return findings;
    }
    const qsizetype held = (table.size() - BallFile::headerSize) / BallFile::recordSize;
    if (held < announced)
        findings.push_back(
            {QStringLiteral("header"), 0,
             QStringLiteral("Data_Size announces %1 balls; the file holds %2").arg(announced).arg(held)});
    const qsizetype count = std::min<qsizetype>(held, announced);
    if (count > maxBallCount)
        findings.push_back(
            {QStringLiteral("count"), 0,
             QStringLiteral("%1 balls; the window lists at most %2").arg(count).arg(maxBallCount)});

    std::map<int, std::vector<int>> positionsOfId;
    const QByteArray records = table.mid(BallFile::headerSize, count * BallFile::recordSize);
    for (qsizetype i = 0; i < count; ++i) {
        const char* record = recordAt(records, i);
        const int position = int(i) + 1;
        const void* nul = std::memchr(record, 0, std::size_t(BallFile::nameSize));
        if (!nul)
            findings.push_back({QStringLiteral("name-without-nul"), position,
                                QStringLiteral("the name fills all 64 bytes without an ending NUL")});
        const QByteArrayView name(record, nul ? static_cast<const char*>(nul) - record : BallFile::nameSize);
        if (const auto reading = utf8Reading(name))
            findings.push_back({QStringLiteral("name-encoding"), position,
                                QStringLiteral("%1 looks like %2 saved as UTF-8 and read as Windows-1250")
                                    .arg(quotedName(decodeWindows1250(name)), quotedName(*reading))});
        const int id = BallFile::field(record, BallFile::Field::ID);
        if (id < lowestId || id > highestId)
            findings.push_back(
                {QStringLiteral("id-range"), position,
                 QStringLiteral("ID %1 is outside %2..%3").arg(id).arg(lowestId).arg(highestId)});
        positionsOfId[id].push_back(position);
    }
    for (const auto& [id, positions] : positionsOfId) {
        if (positions.size() < 2)
            continue;
        QStringList list;
        for (const int p : positions)
            list << QString::number(p);
        findings.push_back({QStringLiteral("duplicate-id"), positions.front(),
                            QStringLiteral("ID %1 is used %2 times, at positions %3")
                                .arg(id)
                                .arg(positions.size())
                                .arg(list.join(QStringLiteral(", ")))});
    }
    return findings;
}

QByteArray findingsText(const std::vector<Finding>& findings) {
    QString out;
    for (const Finding& f : findings) {
        out += f.kind;
        if (f.position > 0)
            out += QStringLiteral(" at %1").arg(f.position);
        out += QStringLiteral(": ") + f.message + u'\n';
    }
    return out.toUtf8();
}

QByteArray findingsJson(const std::vector<Finding>& findings) {
    QJsonArray list;
    for (const Finding& f : findings) {
        QJsonObject o{{QStringLiteral("kind"), f.kind}, {QStringLiteral("message"), f.message}};
        if (f.position > 0)
            o.insert(QStringLiteral("position"), f.position);
        list.append(o);
    }
    return QJsonDocument(
               QJsonObject{{QStringLiteral("clean"), findings.empty()}, {QStringLiteral("findings"), list}})
        .toJson(QJsonDocument::Indented);
}

QByteArray diffRemoved(const QByteArray& records, const std::vector<bool>& removed) {
    QString out;
    const qsizetype count = std::min(records.size() / BallFile::recordSize, qsizetype(removed.size()));
    for (qsizetype i = 0; i < count; ++i)
        if (removed[std::size_t(i)])
            out += QStringLiteral("removed %1: %2\n").arg(i + 1).arg(describeBall(viewOf(records, i)));
    return out.toUtf8();
}

QByteArray diffTables(const QByteArray& before, const QByteArray& after, Matching matching) {
    const qsizetype countA = before.size() / BallFile::recordSize;
    const qsizetype countB = after.size() / BallFile::recordSize;
    QString out;
    if (matching == Matching::ByPosition) {
        for (qsizetype i = 0; i < std::max(countA, countB); ++i) {
            if (i >= countB) {
                out += QStringLiteral("removed %1: %2\n").arg(i + 1).arg(describeBall(viewOf(before, i)));
            } else if (i >= countA) {
                out += QStringLiteral("added %1: %2\n").arg(i + 1).arg(describeBall(viewOf(after, i)));
            } else if (const QString c = changes(viewOf(before, i), viewOf(after, i), false); !c.isEmpty()) {
                out += QStringLiteral("changed %1: %2\n").arg(i + 1).arg(c);
            }
        }
        return out.toUtf8();
    }
    // The n-th ball with an ID on one side matches the n-th on the other.
    QHash<int, std::vector<qsizetype>> inAfter;
    for (qsizetype i = 0; i < countB; ++i)
        inAfter[BallFile::field(recordAt(after, i), BallFile::Field::ID)].push_back(i);
    QHash<int, std::size_t> used;
    std::vector<bool> matched(std::size_t(countB), false);
    for (qsizetype i = 0; i < countA; ++i) {
        const BallView a = viewOf(before, i);
        std::size_t& n = used[a.id];
        const auto candidates = inAfter.constFind(a.id);
        if (candidates == inAfter.cend() || n >= candidates->size()) {
            out +=
                QStringLiteral("removed id %1 from %2: %3\n").arg(a.id).arg(a.position).arg(describeBall(a));
            continue;
        }
        const qsizetype j = (*candidates)[n++];
        matched[std::size_t(j)] = true;
        if (const QString c = changes(a, viewOf(after, j), true); !c.isEmpty())
            out += QStringLiteral("changed id %1: %2\n").arg(a.id).arg(c);
    }
    for (qsizetype j = 0; j < countB; ++j) {
        if (matched[std::size_t(j)])
            continue;
        const BallView b = viewOf(after, j);
        out += QStringLiteral("added id %1 at %2: %3\n").arg(b.id).arg(b.position).arg(describeBall(b));
    }
    return out.toUtf8();
}

} // namespace table_text
