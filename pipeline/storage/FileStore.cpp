#include "pipeline/storage/FileStore.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <limits>
#include <new>
#include <thread>
#include <utility>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <process.h>
#include <windows.h>
#else
#include <cerrno>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace storage {

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

// Files are read and copied through a buffer of this size.
constexpr std::size_t chunkSize = std::size_t(256) << 10;

// How long a reader waits for a writer of the file to finish.
constexpr std::chrono::milliseconds readerWait{3000};

FileCalls& callsOr(FileCalls* calls) {
    return calls ? *calls : systemFileCalls();
}

std::uint32_t crcOf(std::uint32_t crc, std::span<const unsigned char> bytes) {
    while (!bytes.empty()) {
        const std::size_t piece = std::min<std::size_t>(bytes.size(), std::numeric_limits<uInt>::max());
        crc = std::uint32_t(::crc32(crc, bytes.data(), uInt(piece)));
        bytes = bytes.subspan(piece);
    }
    return crc;
}

Outcome failed(Step step, int error, After after = After::Unchanged) {
    Outcome outcome;
    outcome.problem = Problem::System;
    outcome.step = step;
    outcome.error = error;
    outcome.after = after;
    return outcome;
}

Outcome refused(Problem problem, Step step = Step::None) {
    Outcome outcome;
    outcome.problem = problem;
    outcome.step = step;
    return outcome;
}

long long processId() {
#ifdef _WIN32
    return _getpid();
#else
    return getpid();
#endif
}

bool processGone(long long pid) {
#ifdef _WIN32
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    if (!process)
        return GetLastError() == ERROR_INVALID_PARAMETER;
    DWORD code = 0;
    const bool ended = GetExitCodeProcess(process, &code) && code != STILL_ACTIVE;
    CloseHandle(process);
    return ended;
#else
    return ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
#endif
}

fs::path folderOf(const fs::path& path) {
    const fs::path folder = path.parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

// Short, so that it fits wherever the target's name fits; the pid tells a
// later run whether its writer is still alive.
std::string temporaryName() {
    static std::atomic<unsigned> counter{0};
    return ".vt" + std::to_string(processId()) + "-" + std::to_string(counter.fetch_add(1)) + ".tmp";
}

std::optional<long long> pidOfTemporary(const std::string& name) {
    // ".zt" is the name earlier versions of zlibtool used.
    if (name.size() < 8 || (name.compare(0, 3, ".vt") != 0 && name.compare(0, 3, ".zt") != 0) ||
        name.compare(name.size() - 4, 4, ".tmp") != 0)
        return std::nullopt;
    const std::string middle = name.substr(3, name.size() - 7);
    const std::size_t dash = middle.find('-');
    if (dash == 0 || dash == std::string::npos || dash + 1 == middle.size() || dash > 9 ||
        middle.size() - dash > 11)
        return std::nullopt;
    for (std::size_t i = 0; i < middle.size(); ++i)
        if (i != dash && (middle[i] < '0' || middle[i] > '9'))
            return std::nullopt;
    return std::stoll(middle.substr(0, dash));
}

// A symbolic link keeps pointing where it did: the file it names is replaced.
fs::path resolvedTarget(const fs::path& path) {
    fs::path resolved = path;
#ifndef _WIN32
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code error;
        if (!fs::is_symlink(resolved, error))
            break;
        const fs::path next = fs::read_symlink(resolved, error);
        if (error)
            break;
        resolved = next.is_absolute() ? next : folderOf(resolved) / next;
    }
#endif
    return resolved;
}

fs::path undoCopyOf(const fs::path& target) {
    const std::string name = utf8Of(target.filename());
    const std::uint32_t crc = crcOf(0, {reinterpret_cast<const unsigned char*>(name.data()), name.size()});
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x", unsigned(crc));
    return folderOf(target) / (std::string(".vestrel-undo-") + hex);
}

bool unnamedUnsupported(int error) {
#ifdef _WIN32
    return error == ERROR_NOT_SUPPORTED;
#else
    // A file system without unnamed files, or an older kernel, refuses with one of these.
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL || error == ENOENT;
#endif
}

bool accessDenied(int error) {
#ifdef _WIN32
    return error == ERROR_ACCESS_DENIED;
#else
    return error == EACCES || error == EPERM || error == EROFS;
#endif
}

int corruptError() {
#ifdef _WIN32
    return ERROR_FILE_CORRUPT;
#else
    return EIO;
#endif
}

std::uint32_t newFileMode() {
#ifdef _WIN32
    return 0;
#else
    // What a plain new file gets. umask can only be read by setting it, which
    // is done once, before any thread of ours creates files.
    static const std::uint32_t mode = [] {
        const mode_t mask = ::umask(022);
        ::umask(mask);
        return std::uint32_t(0666 & ~mask);
    }();
    return mode;
#endif
}

// An open file that is closed however the work ends; close() reports the
// error where it matters.
class OpenFile {
public:
    explicit OpenFile(FileCalls& calls) : m_calls(calls) {}
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    ~OpenFile() {
        if (m_open)
            m_calls.close(m_handle);
    }
    Handle& handle() { return m_handle; }
    void opened() { m_open = true; }
    bool isOpen() const { return m_open; }
    int close() {
        if (!std::exchange(m_open, false))
            return 0;
        return m_calls.close(m_handle);
    }
    // Hands the open file over to a new owner.
    Handle release() {
        m_open = false;
        return m_handle;
    }

private:
    FileCalls& m_calls;
    Handle m_handle = 0;
    bool m_open = false;
};

int writeAll(FileCalls& calls, Handle handle, std::uint64_t offset, std::span<const unsigned char> bytes) {
    while (!bytes.empty()) {
        std::size_t done = 0;
        if (const int error = calls.write(handle, offset, bytes.data(), bytes.size(), done))
            return error;
        if (done == 0)
            return errorNoSpace();
        offset += done;
        bytes = bytes.subspan(std::min(done, bytes.size()));
    }
    return 0;
}

// Reads a file from `offset` to its end through a buffer, handing each
// piece to `take`; `limit` bounds how much is read.
int readThrough(FileCalls& calls, Handle handle, std::uint64_t offset, std::uint64_t limit,
                const std::function<int(std::span<const unsigned char>)>& take) {
    std::vector<unsigned char> buffer(chunkSize);
    std::uint64_t read = 0;
    while (read < limit) {
        std::size_t done = 0;
        const std::size_t want = std::size_t(std::min<std::uint64_t>(buffer.size(), limit - read));
        if (const int error = calls.read(handle, offset + read, buffer.data(), want, done))
            return error;
        if (done == 0)
            break;
        if (const int error = take({buffer.data(), done}))
            return error;
        read += done;
    }
    return 0;
}

// A new file beside the target, unnamed where the system allows, and given
// a name of this process's own only when it is about to be placed.
class Temporary {
public:
    Temporary(FileCalls& calls, fs::path folder)
        : m_calls(calls), m_folder(std::move(folder)), m_file(calls) {}
    Temporary(const Temporary&) = delete;
    Temporary& operator=(const Temporary&) = delete;
    ~Temporary() {
        m_file.close();
        if (!m_name.empty())
            m_calls.remove(m_name);
    }

    int create(bool allowUnnamed = true) {
        if (allowUnnamed) {
            const int error = m_calls.createUnnamed(m_folder, m_file.handle());
            if (error == 0) {
                m_file.opened();
                return 0;
            }
            if (!unnamedUnsupported(error))
                return error;
        }
        for (int attempt = 0; attempt < 100; ++attempt) {
            const fs::path name = m_folder / temporaryName();
            const int error = m_calls.createNew(name, m_file.handle());
            if (error == 0) {
                m_file.opened();
                m_name = name;
                // Held while the file lives, so that no other run takes it
                // for a stale one, whatever pids it sees.
                m_calls.tryLock(m_file.handle());
                return 0;
            }
            if (error != errorExists())
                return error;
        }
        return errorExists();
    }

    int write(std::span<const unsigned char> bytes) {
        const int error = writeAll(m_calls, m_file.handle(), m_size, bytes);
        if (error == 0)
            m_size += bytes.size();
        return error;
    }

    // A name of its own, for the rename that places it; an unnamed file
    // that cannot be linked is copied into a named one.
    int name() {
        if (!m_name.empty())
            return 0;
        int error = errorExists();
        for (int attempt = 0; attempt < 100 && error == errorExists(); ++attempt) {
            const fs::path name = m_folder / temporaryName();
            error = m_calls.link(m_file.handle(), name);
            if (error == 0)
                m_name = name;
        }
        if (error == 0 || error == errorExists())
            return error;
        Temporary named(m_calls, m_folder);
        if (const int created = named.create(false))
            return created;
        if (const int copied =
                readThrough(m_calls, m_file.handle(), 0, m_size,
                            [&](std::span<const unsigned char> piece) { return named.write(piece); }))
            return copied;
        if (const int synced = m_calls.sync(named.handle()))
            return synced;
        std::swap(m_name, named.m_name);
        std::swap(m_file.handle(), named.m_file.handle());
        return 0;
    }

    Handle handle() { return m_file.handle(); }
    std::uint64_t size() const { return m_size; }
    const fs::path& path() const { return m_name; }
    int close() { return m_file.close(); }
    // Once renamed, the name is the target's.
    void placed() { m_name.clear(); }

private:
    FileCalls& m_calls;
    fs::path m_folder;
    OpenFile m_file;
    fs::path m_name;
    std::uint64_t m_size = 0;
};

// The undo copy of an in-place write: a header, then the old bytes. The
// header says which file it guards and what the file holds before and after
// the write, so that a later reader can tell whether the write completed.
constexpr std::array<unsigned char, 16> undoMagic = {'V', 'E', 'S', 'T', 'R', 'E', 'L',  ' ',
                                                     'U', 'N', 'D', 'O', ' ', '1', '\r', '\n'};

struct UndoHeader {
    std::string name;
    FileIdentity before;
    FileIdentity after;
};

void putNumber(std::vector<unsigned char>& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

std::uint64_t numberAt(const unsigned char* at, int bytes) {
    std::uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = value << 8 | at[i];
    return value;
}

std::vector<unsigned char> encodeUndoHeader(const UndoHeader& header) {
    std::vector<unsigned char> out(undoMagic.begin(), undoMagic.end());
    putNumber(out, header.name.size(), 4);
    out.insert(out.end(), header.name.begin(), header.name.end());
    putNumber(out, header.before.size, 8);
    putNumber(out, header.before.checksum, 4);
    putNumber(out, header.after.size, 8);
    putNumber(out, header.after.checksum, 4);
    return out;
}

// Reads the header; `start` becomes the offset of the old bytes.
int readUndoHeader(FileCalls& calls, Handle handle, UndoHeader& header, std::uint64_t& start) {
    std::vector<unsigned char> head(undoMagic.size() + 4 + 4096 + 24);
    std::size_t got = 0;
    while (got < head.size()) {
        std::size_t done = 0;
        if (const int error = calls.read(handle, got, head.data() + got, head.size() - got, done))
            return error;
        if (done == 0)
            break;
        got += done;
    }
    if (got < undoMagic.size() + 4 || !std::equal(undoMagic.begin(), undoMagic.end(), head.begin()))
        return corruptError();
    const std::size_t nameSize = std::size_t(numberAt(head.data() + undoMagic.size(), 4));
    const std::size_t at = undoMagic.size() + 4;
    if (nameSize > 4096 || got < at + nameSize + 24)
        return corruptError();
    header.name.assign(reinterpret_cast<const char*>(head.data() + at), nameSize);
    const unsigned char* sizes = head.data() + at + nameSize;
    header.before = {true, numberAt(sizes, 8), std::uint32_t(numberAt(sizes + 8, 4)), 0};
    header.after = {true, numberAt(sizes + 12, 8), std::uint32_t(numberAt(sizes + 20, 4)), 0};
    start = at + nameSize + 24;
    return 0;
}

int identityOfOpen(FileCalls& calls, Handle handle, std::uint64_t limit, FileIdentity& identity) {
    FileStatus status;
    if (const int error = calls.status(handle, status))
        return error;
    identity = {true, 0, 0, status.modified};
    return readThrough(calls, handle, 0, limit, [&](std::span<const unsigned char> piece) {
        identity.size += piece.size();
        identity.checksum = crcOf(identity.checksum, piece);
        return 0;
    });
}

// Puts the old bytes of an interrupted in-place write back, or, when the
// write had completed (and `always` is false), only removes its undo copy.
// The target is open for writing and locked.
Outcome undoInterruptedWrite(FileCalls& calls, const fs::path& target, Handle targetHandle, bool& restored,
                             bool always = false) {
    restored = false;
    const fs::path undo = undoCopyOf(target);
    FileStatus undoStatus;
    int error = calls.pathStatus(undo, undoStatus);
    if (error == errorNotFound())
        return {};
    if (error)
        return failed(Step::Recover, error); // whether there is one is not known
    OpenFile copy(calls);
    error = calls.openRead(undo, copy.handle());
    const auto recoverFailed = [&](int code) {
        Outcome outcome = failed(Step::Recover, code, After::Recoverable);
        outcome.undoCopy = undo;
        return outcome;
    };
    if (error)
        return recoverFailed(error);
    copy.opened();
    UndoHeader header;
    std::uint64_t start = 0;
    if ((error = readUndoHeader(calls, copy.handle(), header, start)))
        return recoverFailed(error);
    // Another file whose name has the same checksum: not ours to touch.
    if (header.name != utf8Of(target.filename()))
        return {};
    FileIdentity now;
    if (!always && (error = identityOfOpen(calls, targetHandle, header.after.size + 1, now)))
        return recoverFailed(error);
    if (always || !now.sameContent(header.after)) {
        // The old bytes are checked whole before a byte of the target changes.
        FileIdentity old{true, 0, 0, 0};
        error = readThrough(calls, copy.handle(), start, header.before.size + 1,
                            [&](std::span<const unsigned char> piece) {
                                old.size += piece.size();
                                old.checksum = crcOf(old.checksum, piece);
                                return 0;
                            });
        if (error == 0 && !old.sameContent(header.before))
            error = corruptError();
        std::uint64_t offset = 0;
        if (error == 0)
            error = readThrough(calls, copy.handle(), start, header.before.size,
                                [&](std::span<const unsigned char> piece) {
                                    const int written = writeAll(calls, targetHandle, offset, piece);
                                    offset += piece.size();
                                    return written;
                                });
        if (error == 0)
            error = calls.truncate(targetHandle, header.before.size);
        if (error == 0)
            error = calls.sync(targetHandle);
        if (error)
            return recoverFailed(error);
        restored = true;
    }
    copy.close();
    if ((error = calls.remove(undo)) || (error = calls.syncFolder(folderOf(target))))
        return recoverFailed(error);
    return {};
}

// The target, open for writing and locked by us; `exists` false when there
// is no such file (nothing to lock then).
struct LockedTarget {
    explicit LockedTarget(FileCalls& calls) : file(calls) {}
    OpenFile file;
    FileStatus status;
    bool exists = false;
};

Outcome lockTarget(FileCalls& calls, const fs::path& target, std::chrono::milliseconds wait,
                   LockedTarget& locked) {
    const Clock::time_point deadline = Clock::now() + wait;
    auto pause = std::chrono::milliseconds(2);
    for (;;) {
        FileStatus named;
        int error = calls.pathStatus(target, named);
        if (error == errorNotFound()) {
            locked.exists = false;
            return {};
        }
        if (error)
            return failed(Step::Open, error);
        if (named.kind != FileKind::Regular) {
            Outcome outcome = refused(Problem::NotAFile, Step::Open);
            outcome.kind = named.kind;
            return outcome;
        }
        error = calls.openWrite(target, locked.file.handle());
        if (error == errorNotFound() && Clock::now() < deadline)
            continue; // removed in between: look again
        if (accessDenied(error)) {
            Outcome outcome = refused(Problem::ReadOnly, Step::Open);
            outcome.error = error;
            return outcome;
        }
        if (error)
            return failed(Step::Open, error);
        locked.file.opened();
        error = calls.tryLock(locked.file.handle());
        if (error == errorBusy()) {
            locked.file.close();
            if (Clock::now() >= deadline)
                return refused(Problem::Busy, Step::Lock);
            std::this_thread::sleep_for(pause);
            pause = std::min(pause * 2, std::chrono::milliseconds(50));
            continue;
        }
        if (error)
            return failed(Step::Lock, error);
        if ((error = calls.status(locked.file.handle(), locked.status)))
            return failed(Step::Lock, error);
        // A writer that renamed a new file into place while we waited leaves
        // us the lock of a file that no longer has the name: take the new one's.
        if ((error = calls.pathStatus(target, named)) == 0 && named.device == locked.status.device &&
            named.index == locked.status.index) {
            locked.exists = true;
            return {};
        }
        if (error && error != errorNotFound())
            return failed(Step::Lock, error);
        locked.file.close();
    }
}

bool readOnly(const FileStatus& status) {
#ifdef _WIN32
    return status.readOnly;
#else
    // Write bits for nobody mean read-only even to root, who may write it anyway.
    return (status.mode & 0222) == 0;
#endif
}

#ifndef _WIN32
bool mayGiveOwner(const FileStatus& status) {
    return ::geteuid() == 0 || (status.owner == ::geteuid() && status.group == ::getegid());
}
#endif

bool writeInPlace(const FileStatus& status, bool keepFile) {
#ifdef _WIN32
    (void)status;
    // A rename over a file that others hold open fails on Windows, and a new
    // file would lose the old one's attributes, ACLs, streams and links.
    return keepFile;
#else
    return keepFile && (status.links > 1 || status.extendedAttributes || !mayGiveOwner(status));
#endif
}

// Writes `bytes` into the locked target itself, keeping its old bytes
// beside it until they are no longer needed.
Outcome replaceInPlace(FileCalls& calls, const fs::path& target, LockedTarget& locked,
                       std::span<const unsigned char> bytes, FileIdentity& written) {
    const fs::path folder = folderOf(target);
    const fs::path undo = undoCopyOf(target);
    const Handle file = locked.file.handle();
    {
        Temporary copy(calls, folder);
        UndoHeader header{utf8Of(target.filename()), {true, 0, 0, 0}, identityOf(bytes)};
        // The old bytes are read once: copied behind room for the header,
        // which is written last, when their size and checksum are known.
        const std::size_t headerSize = encodeUndoHeader(header).size();
        int error = copy.create();
        if (error == 0)
            error = copy.write(std::vector<unsigned char>(headerSize));
        if (error == 0)
            error = readThrough(calls, file, 0, locked.status.size + 1,
                                [&](std::span<const unsigned char> piece) {
                                    header.before.size += piece.size();
                                    header.before.checksum = crcOf(header.before.checksum, piece);
                                    return copy.write(piece);
                                });
        if (error == 0)
            error = writeAll(calls, copy.handle(), 0, encodeUndoHeader(header));
        if (error == 0)
            error = calls.sync(copy.handle());
        if (error == 0)
            error = copy.name();
        if (error == 0)
            error = copy.close();
        if (error == 0)
            error = calls.rename(copy.path(), undo, true);
        if (error)
            return failed(Step::Backup, error);
        copy.placed();
        if ((error = calls.syncFolder(folder))) {
            calls.remove(undo);
            return failed(Step::Backup, error);
        }
    }
    int error = writeAll(calls, file, 0, bytes);
    Step step = Step::Write;
    if (error == 0 && (error = calls.truncate(file, bytes.size())) == 0) {
        step = Step::Sync;
        error = calls.sync(file);
    }
    if (error) {
        // Put back at once what was there; failing that, the undo copy
        // stays for the next reader.
        bool restored = false;
        Outcome outcome = failed(step, error);
        const Outcome undone = undoInterruptedWrite(calls, target, file, restored, true);
        if (!undone.ok()) {
            outcome.after = After::Recoverable;
            outcome.undoCopy = undo;
        }
        return outcome;
    }
    FileStatus status;
    if (calls.status(file, status) == 0)
        written.modified = status.modified;
    // The new bytes are on the disk. An undo copy that stays behind, or
    // comes back after a power cut because its removal was not synced, is
    // recognised as that of a completed write and only removed.
    calls.remove(undo);
    return {};
}

Outcome checkExpected(FileCalls& calls, LockedTarget& locked, const std::optional<FileIdentity>& expected) {
    if (!expected)
        return {};
    if (!locked.exists)
        return expected->exists ? refused(Problem::Changed) : Outcome{};
    if (!expected->exists)
        return refused(Problem::Changed);
    if (locked.status.size != expected->size)
        return refused(Problem::Changed);
    FileIdentity now;
    if (const int error = identityOfOpen(calls, locked.file.handle(), expected->size + 1, now))
        return failed(Step::Read, error);
    return now.sameContent(*expected) ? Outcome{} : refused(Problem::Changed);
}

// Writes the new bytes, from `produce` or else from `bytes`, into a new
// temporary file beside the target and syncs them.
Outcome prepareTemporary(FileCalls& calls, Temporary& temporary, const Producer* produce,
                         std::span<const unsigned char> bytes, bool identify, FileIdentity& written) {
    if (const int error = temporary.create())
        return failed(Step::Create, error);
    written = {true, 0, 0, 0};
    int writeError = 0;
    const Sink sink = [&](std::span<const unsigned char> piece) {
        if (writeError == 0 && (writeError = temporary.write(piece)) == 0 && identify)
            written.checksum = crcOf(written.checksum, piece);
        return writeError == 0;
    };
    const bool producedAll = produce ? (*produce)(sink) : sink(bytes);
    if (writeError)
        return failed(Step::Write, writeError);
    if (!producedAll)
        return refused(Problem::Produced, Step::Write);
    written.size = temporary.size();
    if (const int error = calls.sync(temporary.handle()))
        return failed(Step::Sync, error);
    FileStatus status;
    if (calls.status(temporary.handle(), status) == 0)
        written.modified = status.modified;
    return {};
}

// Gives the new file the old one's owner, group and permission bits, or a
// plain new file's bits when there was none. False when the owner cannot be
// given: the file must then be written in place to keep it.
Outcome keepOwnerAndMode(FileCalls& calls, Temporary& temporary, const LockedTarget& locked,
                         bool& ownerKept) {
    ownerKept = true;
    const std::uint32_t mode = locked.exists ? locked.status.mode : newFileMode();
#ifndef _WIN32
    if (locked.exists) {
        FileStatus own;
        if (const int error = calls.status(temporary.handle(), own))
            return failed(Step::Keep, error);
        if ((own.owner != locked.status.owner || own.group != locked.status.group) &&
            calls.setOwner(temporary.handle(), locked.status.owner, locked.status.group) != 0) {
            ownerKept = false;
            return {};
        }
    }
#endif
    // After the owner: a change of owner clears the set-user-ID bits.
    if (mode != 0)
        if (const int error = calls.setMode(temporary.handle(), mode))
            return failed(Step::Keep, error);
    return {};
}

// Everything from the lock on: the checks, then the new bytes put in place
// by a rename of the temporary file, or, where the file must stay the same
// file, written into it from `bytes`. `temporary` is empty when the bytes
// were expected to go in place.
ReplaceResult finishReplace(FileCalls& calls, const fs::path& target, std::optional<Temporary>& temporary,
                            std::span<const unsigned char> bytes, bool haveBytes,
                            const ReplaceOptions& options, FileIdentity written) {
    ReplaceResult result;
    LockedTarget locked(calls);
    result.outcome = lockTarget(calls, target, options.lockWait, locked);
    if (!result.outcome.ok())
        return result;
    if (locked.exists) {
        result.outcome = undoInterruptedWrite(calls, target, locked.file.handle(), result.recovered);
        if (!result.outcome.ok())
            return result;
        if (result.recovered && calls.status(locked.file.handle(), locked.status) != 0)
            locked.status.size = 0;
        if (options.keepFile && readOnly(locked.status)) {
            result.outcome = refused(Problem::ReadOnly, Step::Open);
            return result;
        }
    }
    result.outcome = checkExpected(calls, locked, options.expected);
    if (!result.outcome.ok())
        return result;

    bool inPlace = locked.exists && writeInPlace(locked.status, options.keepFile);
    if (!inPlace && !temporary) {
        // The file went away since it was looked at: a new one is made.
        temporary.emplace(calls, folderOf(target));
        result.outcome =
            prepareTemporary(calls, *temporary, nullptr, bytes, options.identifyWritten, written);
        if (!result.outcome.ok())
            return result;
    }
    if (!inPlace) {
        bool ownerKept = true;
        result.outcome = keepOwnerAndMode(calls, *temporary, locked, ownerKept);
        if (!result.outcome.ok())
            return result;
        inPlace = !ownerKept && options.keepFile && haveBytes;
    }
    if (inPlace) {
        result.outcome = replaceInPlace(calls, target, locked, bytes, written);
        if (result.outcome.ok())
            result.written = written;
        return result;
    }

    if (const int error = temporary->name()) {
        result.outcome = failed(Step::Create, error);
        return result;
    }
    if (const int error = temporary->close()) {
        result.outcome = failed(Step::Close, error);
        return result;
    }
#ifdef _WIN32
    // Windows renames nothing over a file that is open, our own lock included.
    locked.file.close();
#endif
    // Where the writer saw no file, one that appeared since is not replaced.
    const bool replace = locked.exists || !options.expected;
    if (const int error = calls.rename(temporary->path(), target, replace)) {
        result.outcome =
            !replace && error == errorExists() ? refused(Problem::Changed) : failed(Step::Place, error);
        return result;
    }
    temporary->placed();
    result.written = written;
    if (const int error = calls.syncFolder(folderOf(target)))
        result.outcome = failed(Step::SyncFolder, error, After::Replaced);
    return result;
}

ReplaceResult replaceWith(const fs::path& requested, const Producer* produce,
                          std::span<const unsigned char> bytes, const ReplaceOptions& options) {
    FileCalls& calls = callsOr(options.calls);
    const fs::path target = resolvedTarget(requested);
    const fs::path folder = folderOf(target);
    const bool haveBytes = produce == nullptr;
    ReplaceResult result;

    FileStatus before;
    const bool exists = calls.pathStatus(target, before) == 0;
    if (exists && before.kind != FileKind::Regular) {
        result.outcome = refused(Problem::NotAFile, Step::Open);
        result.outcome.kind = before.kind;
        return result;
    }
    if (exists && options.keepFile && readOnly(before)) {
        result.outcome = refused(Problem::ReadOnly, Step::Open);
        return result;
    }
    // Killed writers' files go whichever way this one writes: a file written
    // in place (always, on Windows) would otherwise keep them for ever.
    removeStaleTemporaries(folder, &calls);
    // Where the bytes will be written in place, no new file is needed; the
    // choice is made again under the lock.
    std::optional<Temporary> temporary;
    FileIdentity written =
        options.identifyWritten ? identityOf(bytes) : FileIdentity{true, bytes.size(), 0, 0};
    if (!(haveBytes && exists && writeInPlace(before, options.keepFile))) {
        temporary.emplace(calls, folder);
        result.outcome =
            prepareTemporary(calls, *temporary, produce, bytes, options.identifyWritten, written);
        if (!result.outcome.ok())
            return result;
    }
    return finishReplace(calls, target, temporary, bytes, haveBytes, options, written);
}

} // namespace

FileIdentity identityOf(std::span<const unsigned char> bytes) {
    return {true, bytes.size(), crcOf(0, bytes), 0};
}

std::string Outcome::reason() const {
    return error ? errorText(error) : std::string();
}

std::string Outcome::describe(bool withAfter) const {
    std::string what;
    switch (problem) {
    case Problem::None:
        return {};
    case Problem::Missing:
        return "no such file";
    case Problem::NotAFile:
        switch (kind) {
        case FileKind::Folder:
            return "it is a folder, not a file";
        case FileKind::Fifo:
            return "it is a named pipe (FIFO), not a regular file";
        case FileKind::Device:
            return "it is a device, not a regular file";
        case FileKind::Socket:
            return "it is a socket, not a regular file";
        default:
            return "it is not a regular file";
        }
    case Problem::TooLarge:
        return "it has " + std::to_string(size) + " bytes, more than can be read";
    case Problem::ReadOnly:
        return "the file is read-only; nothing was written";
    case Problem::Busy:
        if (step == Step::Read)
            return "another program is saving it right now";
        return "another program is saving the file; nothing was written";
    case Problem::Changed:
        if (step == Step::Read)
            return "it changed while being read";
        return "the file changed while being edited; nothing was written";
    case Problem::Produced:
        return "the new content could not be made; the file is unchanged";
    case Problem::NoMemory:
        return "not enough memory; nothing was written";
    case Problem::System:
        break;
    }
    switch (step) {
    case Step::None:
    case Step::Open:
        what = "the file could not be opened";
        break;
    case Step::Read:
        what = "the file could not be read";
        break;
    case Step::Lock:
        what = "the file could not be locked";
        break;
    case Step::Recover:
        what = "an interrupted save of the file could not be undone";
        break;
    case Step::Create:
        what = "the new file could not be created";
        break;
    case Step::Write:
        what = "the new file could not be written";
        break;
    case Step::Sync:
        what = "the new file could not be synced to the disk";
        break;
    case Step::Keep:
        what = "the new file could not be given the old one's permissions";
        break;
    case Step::Close:
        what = "the new file could not be closed";
        break;
    case Step::Place:
        what = "the new file could not be renamed over the old one";
        break;
    case Step::Backup:
        what = "a copy of the old bytes could not be kept beside the file";
        break;
    case Step::SyncFolder:
        what = "the new file is in place, but its folder could not be synced to the disk";
        break;
    }
    what += ": " + reason();
    if (!withAfter)
        return what;
    switch (after) {
    case After::Unchanged:
        if (step != Step::Open && step != Step::Read && step != Step::Recover)
            what += "; the file is unchanged";
        break;
    case After::Replaced:
        break;
    case After::Recoverable:
        what += "; its earlier content is kept in " + utf8Of(undoCopy) +
                " and is put back by the next save or open";
        break;
    }
    return what;
}

ReplaceResult replaceFile(const fs::path& target, std::span<const unsigned char> bytes,
                          const ReplaceOptions& options) {
    try {
        return replaceWith(target, nullptr, bytes, options);
    } catch (const std::bad_alloc&) {
        return {refused(Problem::NoMemory), {}, false};
    }
}

ReplaceResult replaceFile(const fs::path& target, const Producer& produce, const ReplaceOptions& options) {
    ReplaceOptions scratch = options;
    scratch.keepFile = false;
    try {
        return replaceWith(target, &produce, {}, scratch);
    } catch (const std::bad_alloc&) {
        return {refused(Problem::NoMemory), {}, false};
    }
}

namespace {

// The checks before a file is read, and the undo of an interrupted write of
// it; `file` is then open for reading.
Outcome openForReading(FileCalls& calls, const fs::path& path, std::uint64_t limit, OpenFile& file,
                       FileStatus& status, bool& recovered) {
    recovered = false;
    int error = calls.pathStatus(path, status);
    if (error == errorNotFound())
        return refused(Problem::Missing, Step::Open);
    if (error)
        return failed(Step::Open, error);
    const auto notAFile = [](FileKind kind) {
        Outcome outcome = refused(Problem::NotAFile, Step::Open);
        outcome.kind = kind;
        return outcome;
    };
    const auto tooLarge = [](std::uint64_t size) {
        Outcome outcome = refused(Problem::TooLarge, Step::Open);
        outcome.size = size;
        return outcome;
    };
    // Looked at before opening, since merely opening a device can act.
    if (status.kind != FileKind::Regular)
        return notAFile(status.kind);
    if (status.size > limit)
        return tooLarge(status.size);
    const fs::path target = resolvedTarget(path);
    const Clock::time_point deadline = Clock::now() + readerWait;
    auto pause = std::chrono::milliseconds(2);
    bool lookedUnderLock = false;
    for (;;) {
        FileStatus undo;
        error = calls.pathStatus(undoCopyOf(target), undo);
        if (error && error != errorNotFound())
            return failed(Step::Recover, error);
        if (error == 0) {
            LockedTarget locked(calls);
            bool restored = false;
            Outcome outcome = lockTarget(calls, target, readerWait, locked);
            if (outcome.ok() && locked.exists)
                outcome = undoInterruptedWrite(calls, target, locked.file.handle(), restored);
            if (!outcome.ok())
                return outcome;
            recovered = recovered || restored;
        }
        error = calls.openRead(path, file.handle());
        if (error == errorNotFound())
            return refused(Problem::Missing, Step::Open);
        if (error)
            return failed(Step::Open, error);
        file.opened();
        // A writer holds the lock while it writes the file in place: the
        // bytes are read as they were before that write or after it, never
        // halfway. Where the file system has no locks they are read as they are.
        error = calls.tryLockShared(file.handle());
        if (error == errorBusy()) {
            file.close();
            if (Clock::now() >= deadline)
                return refused(Problem::Busy, Step::Read);
            std::this_thread::sleep_for(pause);
            pause = std::min(pause * 2, std::chrono::milliseconds(50));
            continue;
        }
        // A writer killed halfway since the look above left the file torn.
        if (error == 0 && !lookedUnderLock) {
            lookedUnderLock = true;
            error = calls.pathStatus(undoCopyOf(target), undo);
            if (error == 0) {
                file.close();
                continue;
            }
            if (error != errorNotFound())
                return failed(Step::Recover, error);
        }
        if ((error = calls.status(file.handle(), status)))
            return failed(Step::Open, error);
        if (status.kind != FileKind::Regular)
            return notAFile(status.kind);
        if (status.size > limit)
            return tooLarge(status.size);
        return {};
    }
}

} // namespace

ReadResult readFile(const fs::path& path, std::uint64_t limit, FileCalls* callsGiven) {
    FileCalls& calls = callsOr(callsGiven);
    ReadResult result;
    try {
        OpenFile file(calls);
        FileStatus status;
        result.outcome = openForReading(calls, path, limit, file, status, result.recovered);
        if (!result.outcome.ok())
            return result;
        result.bytes.reserve(std::size_t(status.size));
        // Read to the end, which may lie past the size seen at the start.
        const int error =
            readThrough(calls, file.handle(), 0, limit + 1, [&](std::span<const unsigned char> piece) {
                result.bytes.insert(result.bytes.end(), piece.begin(), piece.end());
                return 0;
            });
        if (error) {
            result.outcome = failed(Step::Read, error);
            result.bytes.clear();
            return result;
        }
        if (result.bytes.size() > limit) {
            result.outcome = refused(Problem::TooLarge, Step::Read);
            result.outcome.size = result.bytes.size();
            result.bytes.clear();
            return result;
        }
        result.modified = status.modified;
    } catch (const std::bad_alloc&) {
        result = {};
        result.outcome = refused(Problem::NoMemory, Step::Read);
    }
    return result;
}

FileReader::FileReader(FileReader&& other) noexcept
    : m_calls(other.m_calls), m_handle(other.m_handle), m_open(std::exchange(other.m_open, false)),
      m_size(other.m_size), m_buffer(std::move(other.m_buffer)), m_problem(std::move(other.m_problem)) {}

FileReader& FileReader::operator=(FileReader&& other) noexcept {
    if (this != &other) {
        if (m_open)
            m_calls->close(m_handle);
        m_calls = other.m_calls;
        m_handle = other.m_handle;
        m_open = std::exchange(other.m_open, false);
        m_size = other.m_size;
        m_buffer = std::move(other.m_buffer);
        m_problem = std::move(other.m_problem);
    }
    return *this;
}

FileReader::~FileReader() {
    if (m_open)
        m_calls->close(m_handle);
}

Outcome FileReader::open(const fs::path& path, std::uint64_t limit, FileCalls* calls) {
    if (m_open)
        m_calls->close(m_handle);
    m_open = false;
    m_calls = &callsOr(calls);
    try {
        OpenFile file(*m_calls);
        FileStatus status;
        bool recovered = false;
        Outcome outcome = openForReading(*m_calls, path, limit, file, status, recovered);
        if (!outcome.ok())
            return outcome;
        m_buffer.resize(chunkSize);
        m_size = status.size;
        m_handle = file.release();
        m_open = true;
    } catch (const std::bad_alloc&) {
        return refused(Problem::NoMemory, Step::Open);
    }
    return {};
}

std::span<const unsigned char> FileReader::read(std::uint64_t offset, std::size_t want) {
    want = std::min(want, m_buffer.size());
    std::size_t done = 0;
    if (const int error = m_calls->read(m_handle, offset, m_buffer.data(), want, done)) {
        m_problem = failed(Step::Read, error);
        return {};
    }
    if (done == 0) {
        // The file ended before the size it had when opened.
        m_problem = refused(Problem::Changed, Step::Read);
        return {};
    }
    return {m_buffer.data(), done};
}

bool FileReader::grew() {
    unsigned char extra = 0;
    std::size_t done = 0;
    return m_calls->read(m_handle, m_size, &extra, 1, done) == 0 && done > 0;
}

void removeStaleTemporaries(const fs::path& folder, FileCalls* callsGiven) {
    FileCalls& calls = callsOr(callsGiven);
    std::vector<std::string> names;
    if (calls.list(folder, names) != 0)
        return;
    for (const std::string& name : names) {
        const std::optional<long long> pid = pidOfTemporary(name);
        if (!pid || *pid == processId() || !processGone(*pid))
            continue;
        const fs::path path = folder / pathFromUtf8(name);
        // The lock guards a writer whose pid this system does not see. On
        // Windows a file still being written cannot be opened or removed.
        OpenFile file(calls);
        if (calls.openRead(path, file.handle()) != 0)
            continue;
        file.opened();
        if (calls.tryLock(file.handle()) == 0)
            calls.remove(path);
    }
}

} // namespace storage
