// Builds the sample game file from its readable source, so that anyone can
// see what it holds and make it again:
//   make_sample_balls samples/balls.csv samples/unnamed_1964.bin [table.unzlib]
// The optional third file receives the decompressed ball table as well.

#include "ball_table/BallFile.h"
#include "pipeline/compression/ZlibStream.h"

#include <QFile>
#include <QSaveFile>
#include <QTextStream>

#include <cstdio>
#include <optional>

namespace {

int fail(const QString& message) {
    std::fprintf(stderr, "make_sample_balls: %s\n", qPrintable(message));
    return 1;
}

std::optional<std::int16_t> int16Of(const QString& text) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok || value < -32768 || value > 32767)
        return std::nullopt;
    return static_cast<std::int16_t>(value);
}

bool save(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4)
        return fail("usage: make_sample_balls <balls.csv> <out.bin> [out.unzlib]");
    QFile csv(QString::fromLocal8Bit(argv[1]));
    if (!csv.open(QIODevice::ReadOnly | QIODevice::Text))
        return fail(QStringLiteral("cannot read %1").arg(csv.fileName()));

    QVector<Ball> balls;
    QTextStream in(&csv);
    in.setEncoding(QStringConverter::Utf8);
    bool headingSeen = false;
    for (int lineNumber = 1; !in.atEnd(); ++lineNumber) {
        const QString line = in.readLine();
        if (line.trimmed().isEmpty() || line.startsWith(u'#'))
            continue;
        if (!headingSeen) {
            headingSeen = true;
            continue;
        }
        const QStringList fields = line.split(u';');
        if (fields.size() != 5)
            return fail(QStringLiteral("line %1: expected 5 fields separated by ';'").arg(lineNumber));
        Ball ball;
        ball.Nazwa = fields[1].trimmed();
        const auto id = int16Of(fields[0]);
        const auto mode = int16Of(fields[2]);
        const auto mode2 = int16Of(fields[3]);
        const auto pole = int16Of(fields[4]);
        if (!id || !mode || !mode2 || !pole)
            return fail(QStringLiteral("line %1: a value is not a 16-bit integer").arg(lineNumber));
        if (ball.Nazwa.size() > BallFile::nameSize - 1)
            return fail(QStringLiteral("line %1: the name is longer than 63 characters").arg(lineNumber));
        ball.ID = *id;
        ball.Mode = *mode;
        ball.Mode2 = *mode2;
        ball.Pole = *pole;
        balls.append(ball);
    }
    if (balls.isEmpty())
        return fail(QStringLiteral("no balls in %1").arg(csv.fileName()));

    const std::optional<QByteArray> table = BallFile::encode(balls);
    if (!table)
        return fail(QStringLiteral("too many balls"));
    const auto* raw = reinterpret_cast<const unsigned char*>(table->constData());
    const compression::Result packed = compression::compress(std::span(raw, std::size_t(table->size())));
    if (!packed.ok())
        return fail(QString::fromLatin1(compression::describe(packed.error).data()));

    const QByteArray bin(reinterpret_cast<const char*>(packed.data.data()), qsizetype(packed.data.size()));
    if (!save(QString::fromLocal8Bit(argv[2]), bin))
        return fail(QStringLiteral("cannot write %1").arg(QString::fromLocal8Bit(argv[2])));
    if (argc == 4 && !save(QString::fromLocal8Bit(argv[3]), *table))
        return fail(QStringLiteral("cannot write %1").arg(QString::fromLocal8Bit(argv[3])));
    return 0;
}
