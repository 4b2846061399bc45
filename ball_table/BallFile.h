#pragma once

#include "ball_table/Baza.h"

#include <QByteArray>
#include <QIODevice>
#include <QVector>

#include <cstdint>
#include <optional>

// The decompressed ball file: a 32-byte header of eight little-endian 32-bit
// integers (1, 8, 32, Data_Size, -16, 0, 0, 0) and then Data_Size / 72
// records of a 64-byte name and four little-endian 16-bit values.
namespace BallFile {

constexpr qint64 headerSize = 32;
constexpr qint64 recordSize = 72;
constexpr qsizetype nameSize = 64;

enum class ReadError {
    None,
    ShortHeader,  // fewer than 32 bytes
    BadHeader,    // a signature or reserved field is wrong, or Data_Size <= 0
    NoRecords,    // Data_Size rounds to no record
    ShortRecords, // fewer record bytes than Data_Size announces
    NameWithoutNul,
};

struct ReadResult {
    ReadError error = ReadError::None;
    QVector<Ball> balls;
};

// Number of records Data_Size announces: Data_Size / 72 rounded to the
// nearest integer, an exact half to the even neighbour (108 gives 2).
std::int32_t recordCountFor(std::int32_t dataSize);

// Data_Size for a table of the given size; nullopt when it does not fit a
// signed 32-bit field.
std::optional<std::int32_t> dataSizeFor(qint64 count);

// Reads one ball file from the device's current position.
ReadResult read(QIODevice& in);

// The whole file for these balls, or nullopt when there are too many.
std::optional<QByteArray> encode(const QVector<Ball>& balls);

// Writes the whole file; false unless every byte was accepted.
bool write(QIODevice& out, const QVector<Ball>& balls);

} // namespace BallFile
