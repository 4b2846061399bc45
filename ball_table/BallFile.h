#pragma once

#include "ball_table/Baza.h"

#include <QByteArray>
#include <QIODevice>
#include <QStringView>
#include <QVector>

#include <cstdint>
#include <optional>

// The decompressed ball file: a 32-byte header of eight little-endian 32-bit
// integers (1, 8, 32, Data_Size, -16, 0, 0, 0) and then Data_Size / 72
// records of a 64-byte name and four little-endian 16-bit values. Names are
// written with at most 63 bytes so that each field keeps its ending NUL.
//
// Records are handled in their file form: loading a table is then little
// more than reading it, and only names need converting, when asked for.
namespace BallFile {

constexpr qint64 headerSize = 32;
constexpr qint64 recordSize = 72;
constexpr qsizetype nameSize = 64;

enum class Field { ID = 64, Mode = 66, Mode2 = 68, Pole = 70 };

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
    QByteArray records; // recordSize bytes each, every name field NUL after its name
};

// Number of records Data_Size announces: Data_Size / 72 rounded to the
// nearest integer, an exact half to the even neighbour (108 gives 2).
std::int32_t recordCountFor(std::int32_t dataSize);

// Data_Size for a table of the given size; nullopt when it does not fit a
// signed 32-bit field.
std::optional<std::int32_t> dataSizeFor(qint64 count);

// Reads one ball file from the device's current position.
ReadResult read(QIODevice& in);
// The same for a whole file's bytes held in memory; bytes after the records
// are ignored, as they are by the other. Takes the bytes over, so that no
// copy of a large table is made.
ReadResult read(QByteArray bytes);

// Access to one record in file form.
std::int16_t field(const char* record, Field which);
void setField(char* record, Field which, std::int16_t value);
QString name(const char* record);
// Writes the name's first 63 characters, NUL-padded; a NUL in the name ends
// it there.
void setName(char* record, QStringView name);
// Text as a name field holds it, character for character: each character the
// code page cannot represent, and NUL (which would end the name there),
// becomes '?'. The length is left to the caller.
QString storableText(QStringView text);

// The whole file for these records: the header, then the records with each
// name field cleared after its name. Every other byte is kept, so records as
// `read` gives them come back byte for byte. nullopt when there are too many
// records for Data_Size.
std::optional<QByteArray> fileBytes(const QByteArray& records);
// The same, taking the records over: where they have room in front (as
// `withRoomForHeader` leaves), the header goes there and the table is not
// copied.
std::optional<QByteArray> fileBytes(QByteArray&& records);
// `size` zero bytes for records, with room for the header in front of them.
QByteArray withRoomForHeader(qsizetype size);

// The 32-byte header for this Data_Size.
QByteArray header(std::int32_t dataSize);

// The whole file for these balls.
std::optional<QByteArray> encode(const QVector<Ball>& balls);

// Writes all bytes; false unless the device accepted every one.
bool writeAll(QIODevice& out, const QByteArray& bytes);

} // namespace BallFile
