#pragma once

#include "pipeline/compression/ZlibStream.h"
#include "pipeline/storage/FileStore.h"

#include <QByteArray>
#include <QString>

#include <optional>

// A ball table as the tool reads and writes it: a compressed game file (bare
// zlib stream or behind a container header) or a decompressed table, told
// apart by content and written back in the form it was read in.
namespace table_file {

struct TableFile {
    // What the file held when it was read; a write back refuses a file that
    // holds anything else by then. Not set for a table made in memory.
    storage::FileIdentity identity;
    bool compressed = false;
    compression::Form form; // how a compressed file carries its stream
    QByteArray records;     // 72 bytes per ball, in file form
    QByteArray file;        // the file's bytes as read, for a backup
    qsizetype count() const;
};

struct ReadOutcome {
    std::optional<TableFile> table;
    QString error; // one line, when there is no table
    // An earlier save had been cut short while writing the file in place:
    // the content from before that save was put back before the read.
    bool recovered = false;
};

// A file's decompressed table bytes (not yet checked as a table) and form.
struct Unpacked {
    bool compressed = false;
    compression::Form form;
    QByteArray table;
    QByteArray file; // the file's bytes as read
};
struct UnpackOutcome {
    std::optional<Unpacked> unpacked;
    storage::FileIdentity identity; // of the file read
    QString error;
    bool recovered = false; // as in ReadOutcome
};
UnpackOutcome unpackFile(const QString& path);

// Reads at most compression::maxInputSize bytes: a larger file is refused
// before any of it is read.
ReadOutcome readTableFile(const QString& path);
// Only the form of a file that holds a ball table (its header is a ball
// file's), without keeping the table: for a table about to be replaced as a
// whole, whose old balls need not load. `records` stays empty.
ReadOutcome readTableForm(const QString& path);
// Reads a whole file of at most `limit` bytes (a larger one is refused before
// it is read); error text when it cannot, and what it held and whether a
// cut-short save was undone first, when asked for.
std::optional<QByteArray> readBoundedFile(const QString& path, QString* error,
                                          storage::FileIdentity* identity = nullptr,
                                          std::uint64_t limit = compression::maxInputSize,
                                          bool* recovered = nullptr);
// The line that tells the user so.
QString recoveredNote(const QString& path);
// Reads standard input to its end, refused past `limit` bytes.
std::optional<QByteArray> readStandardInput(QString* error, std::uint64_t limit = compression::maxInputSize);

// The decompressed table bytes (header and records) of these records, as the
// editor saves them; nullopt when there are too many.
std::optional<QByteArray> tableBytes(const QByteArray& records);
std::optional<QByteArray> tableBytes(QByteArray&& records); // without a copy where it can

// Writes the table in its form over `path`: compressed and verified (the
// written form decompresses to the same table in the same form) before the
// file is replaced, and refused if the file no longer holds what it held
// when the table was read. Empty on success, else one line saying what
// failed.
QString writeTableFile(const QString& path, const TableFile& table);
// The same for a table already in its decompressed file form.
QString writeTableBytes(const QString& path, const TableFile& form, const QByteArray& tableBytes);

// Replaces the file at `path` with `bytes` as every Vestrel program does
// (see pipeline/storage/FileStore.h), refused if the file no longer holds
// `expected`. Empty on success, else the failing step and its reason.
QString replaceFile(const QString& path, const QByteArray& bytes,
                    const std::optional<storage::FileIdentity>& expected = std::nullopt);

// Keeps `previous` (a file's bytes before it is replaced) as `path`~, the
// way GNU cp and install keep a backup; replaced as a whole like any file.
QString keepBackup(const QString& path, const QByteArray& previous);

// An output the user names: a FIFO, a character device or a terminal is
// written into as it is, since replacing it would put a plain file in its
// place; a regular file, or a name not in use, is replaced as a whole (as
// replaceFile does). A folder and any other kind are refused.
enum class OutputKind { File, Stream, Other };
OutputKind outputKind(const QString& path);
QString writeOutput(const QString& path, const QByteArray& bytes);

} // namespace table_file
