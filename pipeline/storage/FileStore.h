#pragma once

#include "pipeline/storage/FileCalls.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

// How every Vestrel program reads and replaces a file: the editor its game
// file, vestrel-table its tables and exports, zlibtool its results. No
// program writes such a file any other way.
//
// A replace is durable and all or nothing: the new bytes are written to a
// temporary file of their own beside the target (an unnamed one where the
// system has them, else ".vt<pid>-<n>.tmp", created exclusively), synced,
// and only then put in place. Writers of one file take turns: the file's
// advisory lock is held from the last check to the moment the new bytes are
// in place, and a second writer waits a short, bounded time, then refuses.
// A writer that read the file first says what it read, and the replace
// refuses if the file holds anything else by then.
//
// The file stays the same file: its permission bits, owner and group are
// kept. Where a new file cannot keep them, or the file has other hard links
// or extended attributes (ACLs), and always on Windows, the new bytes are
// written into the file itself; a durable copy of the old bytes waits beside
// it (".vestrel-undo-<crc>") until the write is complete, and an interrupted
// write is undone by the next read or replace of that file.
namespace storage {

// What a file held when it was read or written: its content stands for it.
struct FileIdentity {
    bool exists = false;
    std::uint64_t size = 0;
    std::uint32_t checksum = 0; // CRC-32 of the bytes
    std::int64_t modified = 0;  // when it was last written, for the record

    bool sameContent(const FileIdentity& other) const {
        return exists == other.exists && size == other.size && checksum == other.checksum;
    }
};

FileIdentity identityOf(std::span<const unsigned char> bytes);

enum class Problem {
    None,
    System,   // a system call failed: `step` and `error` say which and why
    Missing,  // no such file
    NotAFile, // a folder, FIFO, device or socket: `kind` says which
    TooLarge, // more bytes than the reader's limit: `size` says how many
    ReadOnly, // the user may not write the file, though its folder be writable
    Busy,     // another program is saving the file
    Changed,  // the file no longer holds what the writer read
    Produced, // the producer of the new bytes gave up, for a reason of its own
    NoMemory, // the bytes did not fit in memory
};

enum class Step {
    None,
    Open,       // opening the file
    Read,       // reading it
    Lock,       // waiting for another writer
    Recover,    // undoing an interrupted write
    Create,     // creating the temporary file
    Write,      // writing the new bytes
    Sync,       // syncing them to the disk
    Keep,       // giving them the old file's owner and permission bits
    Close,      // closing the new file
    Place,      // renaming the new file over the old one
    Backup,     // keeping the old bytes beside the file for an in-place write
    SyncFolder, // syncing the folder, so that the new name is on the disk
};

// Where a failed replace left the file.
enum class After {
    Unchanged,   // the old bytes, as before
    Replaced,    // the new bytes, though not every step after that succeeded
    Recoverable, // neither: the old bytes wait beside it, restored by the next read or replace
};

struct Outcome {
    Problem problem = Problem::None;
    Step step = Step::None;
    int error = 0; // the system's error number, for Problem::System
    FileKind kind = FileKind::Regular;
    std::uint64_t size = 0;
    After after = After::Unchanged;
    std::filesystem::path undoCopy; // for After::Recoverable

    bool ok() const { return problem == Problem::None; }
    // The system's own words for `error`.
    std::string reason() const;
    // One line in English: what failed, why, and (unless `withAfter` is
    // false) where that left the file, as in "the new file could not be
    // synced to the disk: Input/output error; the file is unchanged". Empty
    // on success.
    std::string describe(bool withAfter = true) const;
};

struct ReplaceOptions {
    // The file must still hold this (or be missing, if it did not exist).
    std::optional<FileIdentity> expected;
    // How long a second writer waits for the first.
    std::chrono::milliseconds lockWait{3000};
    // False for scratch results (zlibtool's): a new file by rename, whatever
    // the old one's links and owner.
    bool keepFile = true;
    // Whether `written` tells the new bytes' checksum, for a writer that
    // checks the file against them later; it costs a pass over the bytes.
    bool identifyWritten = false;
    FileCalls* calls = nullptr; // the system's when null
};

struct ReplaceResult {
    Outcome outcome;
    // What the file holds now, on success; its checksum only when asked for
    // (ReplaceOptions::identifyWritten).
    FileIdentity written;
    // True when the target held the remains of an interrupted write, undone
    // before this replace.
    bool recovered = false;
};

// Replaces the file at `target` (a symbolic link's target, the link staying)
// with `bytes`; creates it when it does not exist.
ReplaceResult replaceFile(const std::filesystem::path& target, std::span<const unsigned char> bytes,
                          const ReplaceOptions& options = {});

// The same, with bytes handed over piece by piece, so that no program needs
// to hold a large result whole: `produce` feeds `sink` and returns false if
// it gives up; `sink` returns false once writing has failed.
using Sink = std::function<bool(std::span<const unsigned char>)>;
using Producer = std::function<bool(const Sink& sink)>;
ReplaceResult replaceFile(const std::filesystem::path& target, const Producer& produce,
                          const ReplaceOptions& options = {});

struct ReadResult {
    Outcome outcome;
    std::vector<unsigned char> bytes;
    std::int64_t modified = 0;
    bool recovered = false; // an interrupted write was undone first

    // What the file held: worked out when asked for, as most readers never
    // write the file back and need not pay a pass over its bytes.
    FileIdentity identity() const {
        FileIdentity identity = outcome.ok() ? identityOf(bytes) : FileIdentity{};
        identity.modified = modified;
        return identity;
    }
};

// A whole regular file of at most `limit` bytes. Anything else is refused
// before a byte is read, and a FIFO is never waited on. An interrupted
// in-place write of the file is undone first (which needs the file's lock).
// The file is read under its lock, shared with other readers, so never
// halfway through a write in place: a reader waits a short, bounded time for
// a writer, then refuses (Problem::Busy).
ReadResult readFile(const std::filesystem::path& path, std::uint64_t limit, FileCalls* calls = nullptr);

// A regular file of at most `limit` bytes, read in pieces through a small
// buffer: for inputs too large to hold whole.
class FileReader {
public:
    FileReader() = default;
    FileReader(FileReader&&) noexcept;
    FileReader& operator=(FileReader&&) noexcept;
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;
    ~FileReader();

    // The outcome says why a file is not read. The file's shared lock is
    // held until the reader is closed, as readFile holds it.
    Outcome open(const std::filesystem::path& path, std::uint64_t limit, FileCalls* calls = nullptr);
    std::uint64_t size() const { return m_size; }
    // Some of the bytes from `offset` on (at least one, at most `want`, and
    // at most the buffer's size); empty when the read failed or the file
    // ended early, and `problem()` says why.
    std::span<const unsigned char> read(std::uint64_t offset, std::size_t want);
    const Outcome& problem() const { return m_problem; }
    // Whether the file has more bytes than when it was opened.
    bool grew();

private:
    FileCalls* m_calls = nullptr;
    Handle m_handle = 0;
    bool m_open = false;
    std::uint64_t m_size = 0;
    std::vector<unsigned char> m_buffer;
    Outcome m_problem;
};

// Removes what killed writers left in `folder`: temporary files of the
// ".vt<pid>-<n>.tmp" pattern whose process has ended and whose lock is free.
void removeStaleTemporaries(const std::filesystem::path& folder, FileCalls* calls = nullptr);

// Paths from and to UTF-8 text, as messages and command lines hold them;
// on POSIX the bytes are kept as they are.
std::filesystem::path pathFromUtf8(std::string_view text);
std::string utf8Of(const std::filesystem::path& path);

// The form of a path the Windows calls get: absolute, with the "\\?\"
// prefix, so that a path of any length works. Unchanged elsewhere.
std::filesystem::path systemPath(const std::filesystem::path& path);

} // namespace storage
