#include "pipeline/table_file/TableFile.h"

#include "ball_table/BallFile.h"
#include "pipeline/table_file/StoragePath.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <span>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace table_file {

namespace {

std::span<const unsigned char> bytesOf(const QByteArray& bytes) {
    return {reinterpret_cast<const unsigned char*>(bytes.constData()), std::size_t(bytes.size())};
}

QString describeZlib(compression::Error error) {
    const std::string_view text = compression::describe(error);
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

QString describe(BallFile::ReadError error) {
    switch (error) {
    case BallFile::ReadError::None:
        break;
    case BallFile::ReadError::ShortHeader:
        return QStringLiteral("the table is shorter than its 32-byte header");
    case BallFile::ReadError::BadHeader:
        return QStringLiteral("the table's header is not a ball file header");
    case BallFile::ReadError::NoRecords:
        return QStringLiteral("the table's header announces no ball");
    case BallFile::ReadError::ShortRecords:
        return QStringLiteral("the table holds fewer balls than its header announces");
    case BallFile::ReadError::NameWithoutNul:
        return QStringLiteral("a name fills its field without an ending NUL (run check for details)");
    }
    return QString();
}

// The decompressed table starts with its fixed header; a zlib stream or a
// container never does (a zlib stream's first byte is never 0x01, and a
// container's sizes would have to be 32 and a negative number).
bool looksLikeTable(const QByteArray& bytes) {
    if (bytes.size() < BallFile::headerSize)
        return false;
    QByteArray expected = BallFile::header(1);
    QByteArray actual = bytes.left(BallFile::headerSize);
    // Data_Size is the one field that varies.
    actual.replace(12, 4, expected.mid(12, 4));
    return actual == expected;
}

// A table whose header is damaged past its signatures: read as a table, so
// that the damage is reported as such rather than as a broken stream.
bool startsLikeTable(const QByteArray& bytes) {
    return bytes.size() >= BallFile::headerSize && bytes.startsWith(BallFile::header(1).left(12));
}

// Decompresses a compressed file's bytes, keeping at most `keep` bytes of
// the output in `out`; the whole stream is read through either way.
compression::Error unpack(const QByteArray& bytes, QByteArray& out, compression::Form* form,
                          qsizetype keep = compression::maxDecompressedSize) {
    // Room for what a ball table's stream holds, set aside at once: grown
    // piece by piece, the table was copied to fresh memory again and again.
    // Memory set aside and never written costs nothing.
    constexpr qsizetype tableRatio = 32;
    out.reserve(std::min({keep, qsizetype(compression::maxDecompressedSize), bytes.size() * tableRatio}));
    return compression::decompressTo(
        bytesOf(bytes),
        [&out, keep](std::span<const unsigned char> piece) {
            const auto wanted = std::min<qsizetype>(qsizetype(piece.size()), keep - out.size());
            out.append(reinterpret_cast<const char*>(piece.data()), std::max<qsizetype>(wanted, 0));
            return true;
        },
        compression::maxDecompressedSize, form);
}

// Why a text is refused for its size, when it is less than a game file may have.
QString limitNote(std::uint64_t limit) {
    return limit < compression::maxInputSize ? QStringLiteral(" (no table of 32767 balls needs that many)")
                                             : QString();
}

} // namespace

qsizetype TableFile::count() const {
    return records.size() / BallFile::recordSize;
}

std::optional<QByteArray> readBoundedFile(const QString& path, QString* error,
                                          storage::FileIdentity* identity, std::uint64_t limit,
                                          bool* recovered) {
    const storage::ReadResult read = storage::readFile(storagePath(path), limit);
    if (recovered)
        *recovered = read.recovered;
    switch (read.outcome.problem) {
    case storage::Problem::None:
        break;
    case storage::Problem::Missing:
        *error = QStringLiteral("%1: no such file").arg(path);
        return std::nullopt;
    case storage::Problem::NotAFile:
        *error = QStringLiteral("%1: not a file (%2)").arg(path, describe(read.outcome));
        return std::nullopt;
    case storage::Problem::TooLarge:
        *error =
            QStringLiteral("%1: larger than %2 bytes, refused%3").arg(path).arg(limit).arg(limitNote(limit));
        return std::nullopt;
    default:
        *error = QStringLiteral("%1: %2").arg(path, describe(read.outcome));
        return std::nullopt;
    }
    if (identity)
        *identity = read.identity();
    return QByteArray(reinterpret_cast<const char*>(read.bytes.data()), qsizetype(read.bytes.size()));
}

QString recoveredNote(const QString& path) {
    return QStringLiteral("%1: an earlier save of this file was cut short while writing it; its content from "
                          "before that save was put back")
        .arg(path);
}

std::optional<QByteArray> readStandardInput(QString* error, std::uint64_t limit) {
    QFile in;
    if (!in.open(fileno(stdin), QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        *error = QStringLiteral("standard input: cannot open: %1").arg(in.errorString());
        return std::nullopt;
    }
    QByteArray bytes;
    constexpr qsizetype piece = qsizetype(1) << 16;
    for (;;) {
        const qsizetype at = bytes.size();
        bytes.resize(at + piece);
        const qint64 got = in.read(bytes.data() + at, piece);
        if (got < 0) {
            *error = QStringLiteral("standard input: cannot read: %1").arg(in.errorString());
            return std::nullopt;
        }
        bytes.resize(at + qsizetype(got));
        if (quint64(bytes.size()) > limit) {
            *error = QStringLiteral("standard input: more than %1 bytes, refused%2")
                         .arg(limit)
                         .arg(limitNote(limit));
            return std::nullopt;
        }
        if (got == 0)
            return bytes;
    }
}

UnpackOutcome unpackFile(const QString& path) {
    UnpackOutcome outcome;
    std::optional<QByteArray> bytes = readBoundedFile(path, &outcome.error, &outcome.identity,
                                                      compression::maxInputSize, &outcome.recovered);
    if (!bytes)
        return outcome;
    Unpacked unpacked;
    unpacked.file = *bytes;
    if (looksLikeTable(*bytes)) {
        unpacked.table = std::move(*bytes);
    } else {
        unpacked.compressed = true;
        const compression::Error error = unpack(*bytes, unpacked.table, &unpacked.form);
        if (error != compression::Error::None && startsLikeTable(*bytes)) {
            unpacked = Unpacked{};
            unpacked.file = *bytes;
            unpacked.table = std::move(*bytes);
        } else if (error != compression::Error::None) {
            outcome.error = QStringLiteral("%1: neither a ball table nor a compressed game file (%2)")
                                .arg(path, describeZlib(error));
            return outcome;
        }
    }
    outcome.unpacked = std::move(unpacked);
    return outcome;
}

ReadOutcome readTableFile(const QString& path) {
    ReadOutcome outcome;
    UnpackOutcome unpacked = unpackFile(path);
    outcome.recovered = unpacked.recovered;
    if (!unpacked.unpacked) {
        outcome.error = unpacked.error;
        return outcome;
    }
    BallFile::ReadResult read = BallFile::read(std::move(unpacked.unpacked->table));
    if (read.error != BallFile::ReadError::None) {
        outcome.error = QStringLiteral("%1: %2").arg(path, describe(read.error));
        return outcome;
    }
    TableFile table;
    table.identity = unpacked.identity;
    table.compressed = unpacked.unpacked->compressed;
    table.form = unpacked.unpacked->form;
    table.records = std::move(read.records);
    table.file = std::move(unpacked.unpacked->file);
    outcome.table = std::move(table);
    return outcome;
}

ReadOutcome readTableForm(const QString& path) {
    ReadOutcome outcome;
    storage::FileIdentity identity;
    std::optional<QByteArray> bytes =
        readBoundedFile(path, &outcome.error, &identity, compression::maxInputSize, &outcome.recovered);
    if (!bytes)
        return outcome;
    TableFile table;
    table.file = *bytes;
    table.identity = identity;
    QByteArray start;
    if (!looksLikeTable(*bytes)) {
        // The stream is read through to check it, but only its start is kept.
        table.compressed = true;
        const compression::Error error = unpack(*bytes, start, &table.form, BallFile::headerSize);
        if (error != compression::Error::None || !looksLikeTable(start)) {
            outcome.error = QStringLiteral("%1: neither a ball table nor a compressed game file").arg(path);
            return outcome;
        }
    }
    outcome.table = std::move(table);
    return outcome;
}

std::optional<QByteArray> tableBytes(const QByteArray& records) {
    return BallFile::fileBytes(records);
}

std::optional<QByteArray> tableBytes(QByteArray&& records) {
    return BallFile::fileBytes(std::move(records));
}

QString writeTableFile(const QString& path, const TableFile& table) {
    const std::optional<QByteArray> bytes = tableBytes(table.records);
    if (!bytes)
        return QStringLiteral("%1: too many balls for the file format").arg(path);
    return writeTableBytes(path, table, *bytes);
}

QString writeTableBytes(const QString& path, const TableFile& form, const QByteArray& tableBytes) {
    // The file must still hold what was read, if it was read.
    const std::optional<storage::FileIdentity> expected =
        form.identity.exists ? std::optional(form.identity) : std::nullopt;
    if (!form.compressed)
        return replaceFile(path, tableBytes, expected);
    const compression::Result stream = compression::compress(bytesOf(tableBytes));
    if (!stream.ok())
        return QStringLiteral("%1: cannot compress the table: %2").arg(path, describeZlib(stream.error));
    const std::optional<compression::Bytes> file =
        compression::inForm(form.form, stream.data, tableBytes.size());
    if (!file)
        return QStringLiteral("%1: the table is too large for the container header").arg(path);
    // What goes over the game file must read back as this very table.
    if (!compression::givesBack(*file, bytesOf(tableBytes), form.form))
        return QStringLiteral("%1: the compressed table did not verify; the file is unchanged").arg(path);
    return replaceFile(
        path, QByteArray::fromRawData(reinterpret_cast<const char*>(file->data()), qsizetype(file->size())),
        expected);
}

QString replaceFile(const QString& path, const QByteArray& bytes,
                    const std::optional<storage::FileIdentity>& expected) {
    storage::ReplaceOptions options;
    options.expected = expected;
    const storage::ReplaceResult result = storage::replaceFile(storagePath(path), bytesOf(bytes), options);
    return result.outcome.ok() ? QString() : path + QStringLiteral(": ") + describe(result.outcome);
}

QString keepBackup(const QString& path, const QByteArray& previous) {
    return replaceFile(path + u'~', previous);
}

#ifdef Q_OS_WIN

namespace {

// A console, NUL or a pipe: GetFileType tells them from files on a disk.
HANDLE openStream(const QString& path) {
    const HANDLE handle = CreateFileW(
        reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(path).utf16()), GENERIC_WRITE,
        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return handle;
    const DWORD type = GetFileType(handle);
    if (type == FILE_TYPE_CHAR || type == FILE_TYPE_PIPE)
        return handle;
    CloseHandle(handle);
    return INVALID_HANDLE_VALUE;
}

} // namespace

OutputKind outputKind(const QString& path) {
    const HANDLE handle = openStream(path);
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
        return OutputKind::Stream;
    }
    return statusOf(path).value_or(storage::FileStatus{}).kind == storage::FileKind::Folder
               ? OutputKind::Other
               : OutputKind::File;
}

QString writeOutput(const QString& path, const QByteArray& bytes) {
    const HANDLE handle = openStream(path);
    if (handle == INVALID_HANDLE_VALUE) {
        if (statusOf(path).value_or(storage::FileStatus{}).kind == storage::FileKind::Folder)
            return QStringLiteral("%1: a folder, not a file").arg(path);
        return replaceFile(path, bytes);
    }
    qsizetype written = 0;
    QString error;
    while (written < bytes.size() && error.isEmpty()) {
        DWORD done = 0;
        const auto size = DWORD(std::min<qsizetype>(bytes.size() - written, qsizetype(1) << 20));
        if (!WriteFile(handle, bytes.constData() + written, size, &done, nullptr) || done == 0)
            error = QStringLiteral("%1: cannot write: %2").arg(path, qt_error_string(int(GetLastError())));
        written += qsizetype(done);
    }
    CloseHandle(handle);
    return error;
}

#else

OutputKind outputKind(const QString& path) {
    const std::optional<storage::FileStatus> status = statusOf(path);
    if (!status || status->kind == storage::FileKind::Regular)
        return OutputKind::File;
    return status->kind == storage::FileKind::Fifo || status->kind == storage::FileKind::Device
               ? OutputKind::Stream
               : OutputKind::Other;
}

QString writeOutput(const QString& path, const QByteArray& bytes) {
    switch (outputKind(path)) {
    case OutputKind::File:
        return replaceFile(path, bytes);
    case OutputKind::Other:
        return statusOf(path).value_or(storage::FileStatus{}).kind == storage::FileKind::Folder
                   ? QStringLiteral("%1: a folder, not a file").arg(path)
                   : QStringLiteral("%1: neither a file, a FIFO nor a character device").arg(path);
    case OutputKind::Stream:
        break;
    }
    const int fd = ::open(storagePath(path).c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return QStringLiteral("%1: cannot open: %2").arg(path, qt_error_string(errno));
    // It may have been swapped for something else since it was looked at.
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !(S_ISFIFO(status.st_mode) || S_ISCHR(status.st_mode))) {
        ::close(fd);
        return QStringLiteral("%1: changed while it was being opened; nothing written").arg(path);
    }
    QString error;
    for (qsizetype written = 0; written < bytes.size() && error.isEmpty();) {
        const ssize_t done = ::write(fd, bytes.constData() + written, std::size_t(bytes.size() - written));
        if (done > 0)
            written += qsizetype(done);
        else if (done < 0 && errno == EINTR)
            continue;
        else
            error = QStringLiteral("%1: cannot write: %2").arg(path, qt_error_string(done < 0 ? errno : EIO));
    }
    if (::close(fd) != 0 && error.isEmpty() && errno != EINTR)
        error = QStringLiteral("%1: cannot write: %2").arg(path, qt_error_string(errno));
    return error;
}

#endif

} // namespace table_file
