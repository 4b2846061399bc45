#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtEndian>

#include <cstdint>
#include <initializer_list>

// Builds decompressed ball files byte by byte, so that tests can make both
// good files and every kind of broken one.
namespace BallFileBytes {

inline void appendInt32(QByteArray& bytes, std::int32_t value) {
    char b[4];
    qToLittleEndian(value, b);
    bytes.append(b, 4);
}

inline void appendInt16(QByteArray& bytes, std::int16_t value) {
    char b[2];
    qToLittleEndian(value, b);
    bytes.append(b, 2);
}

// The eight header fields in file order.
inline QByteArray header(std::int32_t dataSize, std::int32_t sigA = 1, std::int32_t sigB = 8,
                         std::int32_t sigC = 32, std::int32_t sigD = -16, std::int32_t r1 = 0,
                         std::int32_t r2 = 0, std::int32_t r3 = 0) {
    QByteArray bytes;
    for (std::int32_t v : {sigA, sigB, sigC, dataSize, sigD, r1, r2, r3})
        appendInt32(bytes, v);
    return bytes;
}

// One record; `nameField` is padded with NUL (or cut) to 64 bytes.
inline QByteArray record(const QByteArray& nameField, std::int16_t id, std::int16_t mode, std::int16_t mode2,
                         std::int16_t pole) {
    QByteArray bytes = nameField.left(64);
    bytes.append(64 - bytes.size(), '\0');
    appendInt16(bytes, id);
    appendInt16(bytes, mode);
    appendInt16(bytes, mode2);
    appendInt16(bytes, pole);
    return bytes;
}

inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace BallFileBytes
