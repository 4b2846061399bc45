#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// The system calls beneath every read and replace of a file, behind one
// interface so that tests can fail any one of them, as a failing disk or a
// full one would. Each returns 0 or the system's error number: errno on
// POSIX, GetLastError() on Windows.
namespace storage {

using Handle = std::intptr_t; // a file descriptor, or a Windows HANDLE

enum class FileKind { Regular, Folder, Fifo, Device, Socket, Other };

struct FileStatus {
    FileKind kind = FileKind::Other;
    std::uint64_t size = 0;
    std::int64_t modified = 0; // nanoseconds since 1970
    // Which file this is: two names with the same device and index are one file.
    std::uint64_t device = 0;
    std::uint64_t index = 0;
    std::uint64_t links = 1;
    // POSIX owner, group and permission bits; on Windows `readOnly` alone.
    std::uint32_t owner = 0;
    std::uint32_t group = 0;
    std::uint32_t mode = 0;
    bool readOnly = false;
    // Extended attributes (ACLs among them), which a new file would not have.
    bool extendedAttributes = false;
};

class FileCalls {
public:
    virtual ~FileCalls() = default;

    // An existing file, for reading only (never blocking on a FIFO or
    // acting on a device), or for reading and writing.
    virtual int openRead(const std::filesystem::path& path, Handle& handle) = 0;
    virtual int openWrite(const std::filesystem::path& path, Handle& handle) = 0;
    // A new file without a name in `folder`; where the system has none, an
    // error such as EOPNOTSUPP, and the caller uses a named one.
    virtual int createUnnamed(const std::filesystem::path& folder, Handle& handle) = 0;
    // A new file that must not exist yet, readable and writable by its owner only.
    virtual int createNew(const std::filesystem::path& path, Handle& handle) = 0;
    // Gives an unnamed file a name, which must not exist yet.
    virtual int link(Handle handle, const std::filesystem::path& path) = 0;
    // Takes the advisory lock of a file without waiting: an error (EWOULDBLOCK
    // or ERROR_LOCK_VIOLATION) when another holds it. Released on close.
    virtual int tryLock(Handle handle) = 0;
    // The same lock, shared: readers hold it together, and a writer's
    // excludes them (EWOULDBLOCK or ERROR_LOCK_VIOLATION).
    virtual int tryLockShared(Handle handle) = 0;
    virtual int status(Handle handle, FileStatus& status) = 0;
    // The status of the file a path names, links followed.
    virtual int pathStatus(const std::filesystem::path& path, FileStatus& status) = 0;
    // Some bytes at an offset: `done` is at least one unless the file ends
    // there (a read) or the call failed.
    virtual int read(Handle handle, std::uint64_t offset, unsigned char* data, std::size_t size,
                     std::size_t& done) = 0;
    virtual int write(Handle handle, std::uint64_t offset, const unsigned char* data, std::size_t size,
                      std::size_t& done) = 0;
    virtual int truncate(Handle handle, std::uint64_t size) = 0;
    // The file's bytes on the disk.
    virtual int sync(Handle handle) = 0;
    virtual int setOwner(Handle handle, std::uint32_t owner, std::uint32_t group) = 0;
    virtual int setMode(Handle handle, std::uint32_t mode) = 0;
    virtual int close(Handle handle) = 0;
    // Puts `from` in the place of `to` in one step: replacing it, or, when
    // `replace` is false, failing with errorExists() if `to` exists.
    virtual int rename(const std::filesystem::path& from, const std::filesystem::path& to, bool replace) = 0;
    // 0 also when there was nothing to remove.
    virtual int remove(const std::filesystem::path& path) = 0;
    // A folder's entries on the disk; 0 where the system cannot sync a folder.
    virtual int syncFolder(const std::filesystem::path& folder) = 0;
    // The names in a folder.
    virtual int list(const std::filesystem::path& folder, std::vector<std::string>& names) = 0;
};

// The real system calls.
FileCalls& systemFileCalls();

// The error numbers the core itself reports in the system's own terms.
int errorBusy();        // a lock another program holds
int errorExists();      // a name that is taken
int errorNoSpace();     // a write that made no progress
int errorNotFound();    // no such file
int errorNoMemory();    // an allocation that failed
int errorUnsupported(); // the system cannot do this (no unnamed files)

// The system's own text for an error number, in UTF-8.
std::string errorText(int error);

} // namespace storage
