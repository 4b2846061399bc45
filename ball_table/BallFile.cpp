#include "ball_table/BallFile.h"

#include "ball_table/CodePage.h"
#include "ball_table/NumberText.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <limits>

namespace BallFile {

namespace {

constexpr std::int32_t expectedHeader[8] = {1, 8, 32, 0 /* Data_Size */, -16, 0, 0, 0};
constexpr int dataSizeField = 3;

std::int32_t int32At(const char* p) {
    return qFromLittleEndian<std::int32_t>(p);
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

namespace {

// The number of records the header announces, or why there are none.
struct HeaderCount {
    ReadError error = ReadError::None;
    std::int32_t count = 0;
};

HeaderCount countFromHeader(const char* header) {
    for (int f = 0; f < 8; ++f) {
        if (f != dataSizeField && int32At(header + 4 * f) != expectedHeader[f])
            return {ReadError::BadHeader};
    }
    const std::int32_t dataSize = int32At(header + 4 * dataSizeField);
    if (dataSize <= 0)
        return {ReadError::BadHeader};
    const std::int32_t count = recordCountFor(dataSize);
    if (count <= 0)
        return {ReadError::NoRecords};
    return {ReadError::None, count};
}

// Leftovers of an older name after the NUL are never written back.
ReadResult withNamesCleared(QByteArray records) {
    char* const end = records.data() + records.size();
    for (char* record = records.data(); record < end; record += recordSize) {
        const void* nul = std::memchr(record, 0, nameSize);
        if (!nul)
            return {ReadError::NameWithoutNul, {}};
        const qsizetype length = static_cast<const char*>(nul) - record;
        std::memset(record + length, 0, nameSize - length);
    }
    return {ReadError::None, std::move(records)};
}

} // namespace

ReadResult read(QIODevice& in) {
    char header[headerSize];
    if (in.read(header, headerSize) != headerSize)
        return {ReadError::ShortHeader, {}};
    const HeaderCount announced = countFromHeader(header);
    if (announced.error != ReadError::None)
        return {announced.error, {}};

    // Data_Size comes from the file: when the device knows its length, a claim
    // beyond it is refused before anything is allocated for it.
    const qint64 recordBytes = qint64(announced.count) * recordSize;
    if (!in.isSequential() && in.size() - in.pos() < recordBytes)
        return {ReadError::ShortRecords, {}};
    QByteArray records(recordBytes, Qt::Uninitialized);
    qint64 got = 0;
    while (got < recordBytes) {
        const qint64 n = in.read(records.data() + got, recordBytes - got);
        if (n <= 0)
            return {ReadError::ShortRecords, {}};
        got += n;
    }
    return withNamesCleared(std::move(records));
}

ReadResult read(QByteArray bytes) {
    if (bytes.size() < headerSize)
        return {ReadError::ShortHeader, {}};
    const HeaderCount announced = countFromHeader(bytes.constData());
    if (announced.error != ReadError::None)
        return {announced.error, {}};
    const qint64 recordBytes = qint64(announced.count) * recordSize;
    if (bytes.size() - headerSize < recordBytes)
        return {ReadError::ShortRecords, {}};
    // Dropping the header only moves the start of unshared bytes.
    bytes.truncate(headerSize + recordBytes);
    bytes.remove(0, headerSize);
    return withNamesCleared(std::move(bytes));
}

std::int16_t field(const char* record, Field which) {
    return qFromLittleEndian<std::int16_t>(record + static_cast<int>(which));
}

void setField(char* record, Field which, std::int16_t value) {
    qToLittleEndian<std::int16_t>(value, record + static_cast<int>(which));
}

QString name(const char* record) {
    const void* nul = std::memchr(record, 0, nameSize);
    const qsizetype length = nul ? static_cast<const char*>(nul) - record : nameSize;
    return decodeWindows1250(QByteArrayView(record, length));
}

void setName(char* record, QStringView text) {
    const QByteArray bytes = encodeWindows1250(text.left(nameSize));
    // A name keeps at least one NUL after it: a field without one is refused
    // when read, so a full 64-byte name would lock the user out of the very
    // file just saved.
    // A NUL ends the name: nothing after it may linger in the field.
    const qsizetype length = std::min<qsizetype>(qstrnlen(bytes.constData(), bytes.size()), nameSize - 1);
    std::memcpy(record, bytes.constData(), length);
    std::memset(record + length, 0, nameSize - length);
}

QString storableText(QStringView text) {
    QString kept = representableInWindows1250(text);
    kept.replace(QChar(u'\0'), u'?');
    return kept;
}

std::optional<QByteArray> fileBytes(const QByteArray& records) {
    QByteArray copy = records;
    return fileBytes(std::move(copy));
}

std::optional<QByteArray> fileBytes(QByteArray&& records) {
    const qint64 count = records.size() / recordSize;
    const std::optional<std::int32_t> dataSize = dataSizeFor(count);
    if (!dataSize || records.size() % recordSize != 0)
        return std::nullopt;
    records.prepend(header(*dataSize));
    char* p = records.data();
    for (char* record = p + headerSize; record < p + records.size(); record += recordSize) {
        const void* nul = std::memchr(record, 0, nameSize);
        const qsizetype length = nul ? static_cast<const char*>(nul) - record : nameSize - 1;
        std::memset(record + length, 0, nameSize - length);
    }
    return std::move(records);
}

QByteArray withRoomForHeader(qsizetype size) {
    // Bytes dropped from the front of unshared bytes stay free there, and a
    // later prepend fills them in place.
    QByteArray bytes(headerSize + size, '\0');
    bytes.remove(0, headerSize);
    return bytes;
}

QByteArray header(std::int32_t dataSize) {
    QByteArray bytes(headerSize, Qt::Uninitialized);
    for (int f = 0; f < 8; ++f)
        qToLittleEndian<std::int32_t>(f == dataSizeField ? dataSize : expectedHeader[f],
                                      bytes.data() + 4 * f);
    return bytes;
}

std::optional<QByteArray> encode(const QVector<Ball>& balls) {
    if (!dataSizeFor(balls.size()))
        return std::nullopt;
    QByteArray records(balls.size() * recordSize, '\0');
    char* record = records.data();
    for (const Ball& ball : balls) {
        setName(record, ball.Nazwa);
        setField(record, Field::ID, ball.ID);
        setField(record, Field::Mode, ball.Mode);
        setField(record, Field::Mode2, ball.Mode2);
        setField(record, Field::Pole, ball.Pole);
        record += recordSize;
    }
    return fileBytes(records);
}

bool writeAll(QIODevice& out, const QByteArray& bytes) {
    // A device may accept only part of a write; anything short is a failure.
    qint64 written = 0;
    while (written < bytes.size()) {
        const qint64 n = out.write(bytes.constData() + written, bytes.size() - written);
        if (n <= 0)
            return false;
        written += n;
    }
    return true;
}

} // namespace BallFile
