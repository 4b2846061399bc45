#include "ball_table/BallFile.h"

#include "ball_table/CodePage.h"
#include "ball_table/NumberText.h"

#include <QtEndian>

#include <cstring>
#include <limits>

namespace BallFile {

namespace {

constexpr std::int32_t expectedHeader[8] = {1, 8, 32, 0 /* Data_Size */, -16, 0, 0, 0};
constexpr int dataSizeField = 3;

std::int32_t int32At(const char* p) {
    return qFromLittleEndian<std::int32_t>(p);
}
std::int16_t int16At(const char* p) {
    return qFromLittleEndian<std::int16_t>(p);
}

Ball decodeRecord(const char* record, bool& hasNul) {
    const void* nul = std::memchr(record, 0, nameSize);
    hasNul = nul != nullptr;
    Ball ball;
    if (!hasNul)
        return ball;
    const auto nameLength = static_cast<qsizetype>(static_cast<const char*>(nul) - record);
    ball.Nazwa = decodeWindows1250(QByteArrayView(record, nameLength));
    ball.ID = int16At(record + 64);
    ball.Mode = int16At(record + 66);
    ball.Mode2 = int16At(record + 68);
    ball.Pole = int16At(record + 70);
    return ball;
}

} // namespace

std::int32_t recordCountFor(std::int32_t dataSize) {
    return static_cast<std::int32_t>(roundHalfEven(static_cast<double>(dataSize) / recordSize));
}

std::optional<std::int32_t> dataSizeFor(qint64 count) {
    const qint64 size = count * recordSize;
    if (count < 0 || size > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(size);
}

ReadResult read(QIODevice& in) {
    char header[headerSize];
    if (in.read(header, headerSize) != headerSize)
        return {ReadError::ShortHeader, {}};
    for (int field = 0; field < 8; ++field) {
        if (field == dataSizeField)
            continue;
        if (int32At(header + 4 * field) != expectedHeader[field])
            return {ReadError::BadHeader, {}};
    }
    const std::int32_t dataSize = int32At(header + 4 * dataSizeField);
    if (dataSize <= 0)
        return {ReadError::BadHeader, {}};
    const std::int32_t count = recordCountFor(dataSize);
    if (count <= 0)
        return {ReadError::NoRecords, {}};

    // Data_Size comes from the file: when the device knows its length, a claim
    // beyond it is refused before anything is allocated for it.
    const qint64 recordBytes = qint64(count) * recordSize;
    if (!in.isSequential() && in.size() - in.pos() < recordBytes)
        return {ReadError::ShortRecords, {}};
    QByteArray data(recordBytes, Qt::Uninitialized);
    qint64 got = 0;
    while (got < recordBytes) {
        const qint64 n = in.read(data.data() + got, recordBytes - got);
        if (n <= 0)
            return {ReadError::ShortRecords, {}};
        got += n;
    }

    ReadResult result;
    result.balls.reserve(count);
    for (std::int32_t i = 0; i < count; ++i) {
        bool hasNul = false;
        result.balls.append(decodeRecord(data.constData() + qint64(i) * recordSize, hasNul));
        if (!hasNul)
            return {ReadError::NameWithoutNul, {}};
    }
    return result;
}

std::optional<QByteArray> encode(const QVector<Ball>& balls) {
    const std::optional<std::int32_t> dataSize = dataSizeFor(balls.size());
    if (!dataSize)
        return std::nullopt;
    QByteArray bytes(headerSize + *dataSize, '\0');
    char* p = bytes.data();
    for (int field = 0; field < 8; ++field)
        qToLittleEndian<std::int32_t>(field == dataSizeField ? *dataSize : expectedHeader[field],
                                      p + 4 * field);
    p += headerSize;
    for (const Ball& ball : balls) {
        // Only the first 64 characters fit; the rest of the field stays NUL.
        const QByteArray name = encodeWindows1250(QStringView(ball.Nazwa).left(nameSize));
        std::memcpy(p, name.constData(), std::min<qsizetype>(name.size(), nameSize));
        qToLittleEndian<std::int16_t>(ball.ID, p + 64);
        qToLittleEndian<std::int16_t>(ball.Mode, p + 66);
        qToLittleEndian<std::int16_t>(ball.Mode2, p + 68);
        qToLittleEndian<std::int16_t>(ball.Pole, p + 70);
        p += recordSize;
    }
    return bytes;
}

bool write(QIODevice& out, const QVector<Ball>& balls) {
    const std::optional<QByteArray> bytes = encode(balls);
    if (!bytes)
        return false;
    // A device may accept only part of a write; anything short is a failure.
    qint64 written = 0;
    while (written < bytes->size()) {
        const qint64 n = out.write(bytes->constData() + written, bytes->size() - written);
        if (n <= 0)
            return false;
        written += n;
    }
    return true;
}

} // namespace BallFile
