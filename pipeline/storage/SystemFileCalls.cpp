#include "pipeline/storage/FileCalls.h"
#include "pipeline/storage/FileStore.h"

#include <algorithm>
#include <system_error>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/xattr.h>
#endif
#endif

namespace storage {

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32

HANDLE handleOf(Handle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

int lastError() {
    return int(GetLastError());
}

std::int64_t nanosecondsSince1970(FILETIME time) {
    // FILETIME counts 100 ns steps since 1601.
    const std::int64_t ticks = std::int64_t((std::uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime);
    return (ticks - 116444736000000000LL) * 100;
}

int statusOf(HANDLE file, FileStatus& status) {
    BY_HANDLE_FILE_INFORMATION info{};
    switch (GetFileType(file)) {
    case FILE_TYPE_DISK:
        break;
    case FILE_TYPE_PIPE:
        status = FileStatus{};
        status.kind = FileKind::Fifo;
        return 0;
    case FILE_TYPE_CHAR:
        status = FileStatus{};
        status.kind = FileKind::Device;
        return 0;
    default:
        if (GetLastError() != NO_ERROR)
            return lastError();
        status = FileStatus{};
        return 0;
    }
    if (!GetFileInformationByHandle(file, &info))
        return lastError();
    status = FileStatus{};
    status.kind = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? FileKind::Folder : FileKind::Regular;
    status.size = (std::uint64_t(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    status.modified = nanosecondsSince1970(info.ftLastWriteTime);
    status.device = info.dwVolumeSerialNumber;
    status.index = (std::uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    status.links = info.nNumberOfLinks;
    status.readOnly = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    return 0;
}

// A lock on one byte far past any game file's end: Windows' locks keep
// others from the bytes they cover, and readers such as the game must still
// read the file while it is locked.
constexpr DWORD lockOffsetHigh = 0x40000000;

class WindowsFileCalls final : public FileCalls {
public:
    int openRead(const fs::path& path, Handle& handle) override { return open(path, GENERIC_READ, handle); }
    int openWrite(const fs::path& path, Handle& handle) override {
        return open(path, GENERIC_READ | GENERIC_WRITE, handle);
    }
    int createUnnamed(const fs::path&, Handle&) override { return ERROR_NOT_SUPPORTED; }
    int createNew(const fs::path& path, Handle& handle) override {
        // No delete sharing: a stale-file sweep cannot remove the file of a
        // writer that is still at work.
        const HANDLE file = CreateFileW(systemPath(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                        FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return lastError();
        handle = reinterpret_cast<Handle>(file);
        return 0;
    }
    int link(Handle, const fs::path&) override { return ERROR_NOT_SUPPORTED; }
    int tryLock(Handle handle) override { return lock(handle, LOCKFILE_EXCLUSIVE_LOCK); }
    int tryLockShared(Handle handle) override { return lock(handle, 0); }
    int status(Handle handle, FileStatus& status) override { return statusOf(handleOf(handle), status); }
    int pathStatus(const fs::path& path, FileStatus& status) override {
        const HANDLE file =
            CreateFileW(systemPath(path).c_str(), FILE_READ_ATTRIBUTES,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return lastError();
        const int error = statusOf(file, status);
        CloseHandle(file);
        return error;
    }
    int read(Handle handle, std::uint64_t offset, unsigned char* data, std::size_t size,
             std::size_t& done) override {
        OVERLAPPED at{};
        at.Offset = DWORD(offset);
        at.OffsetHigh = DWORD(offset >> 32);
        DWORD got = 0;
        done = 0;
        if (!ReadFile(handleOf(handle), data, DWORD(std::min<std::size_t>(size, 1 << 30)), &got, &at)) {
            const int error = lastError();
            return error == ERROR_HANDLE_EOF ? 0 : error;
        }
        done = got;
        return 0;
    }
    int write(Handle handle, std::uint64_t offset, const unsigned char* data, std::size_t size,
              std::size_t& done) override {
        OVERLAPPED at{};
        at.Offset = DWORD(offset);
        at.OffsetHigh = DWORD(offset >> 32);
        DWORD wrote = 0;
        done = 0;
        if (!WriteFile(handleOf(handle), data, DWORD(std::min<std::size_t>(size, 1 << 30)), &wrote, &at))
            return lastError();
        done = wrote;
        return wrote == 0 ? ERROR_HANDLE_DISK_FULL : 0;
    }
    int truncate(Handle handle, std::uint64_t size) override {
        FILE_END_OF_FILE_INFO end{};
        end.EndOfFile.QuadPart = LONGLONG(size);
        return SetFileInformationByHandle(handleOf(handle), FileEndOfFileInfo, &end, sizeof end)
                   ? 0
                   : lastError();
    }
    int sync(Handle handle) override { return FlushFileBuffers(handleOf(handle)) ? 0 : lastError(); }
    int setOwner(Handle, std::uint32_t, std::uint32_t) override { return 0; }
    int setMode(Handle, std::uint32_t) override { return 0; }
    int close(Handle handle) override { return CloseHandle(handleOf(handle)) ? 0 : lastError(); }
    int rename(const fs::path& from, const fs::path& to, bool replace) override {
        // Returns once the new name is on the disk: there is no folder to sync.
        return MoveFileExW(systemPath(from).c_str(), systemPath(to).c_str(),
                           (replace ? MOVEFILE_REPLACE_EXISTING : 0) | MOVEFILE_WRITE_THROUGH)
                   ? 0
                   : lastError();
    }
    int remove(const fs::path& path) override {
        if (DeleteFileW(systemPath(path).c_str()))
            return 0;
        const int error = lastError();
        return error == ERROR_FILE_NOT_FOUND ? 0 : error;
    }
    int syncFolder(const fs::path&) override { return 0; }
    int list(const fs::path& folder, std::vector<std::string>& names) override {
        WIN32_FIND_DATAW found{};
        const HANDLE search = FindFirstFileW((systemPath(folder) / L"*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE)
            return lastError();
        do
            names.push_back(utf8Of(fs::path(found.cFileName)));
        while (FindNextFileW(search, &found));
        const int error = lastError();
        FindClose(search);
        return error == ERROR_NO_MORE_FILES ? 0 : error;
    }

private:
    static int lock(Handle handle, DWORD kind) {
        OVERLAPPED at{};
        at.OffsetHigh = lockOffsetHigh;
        return LockFileEx(handleOf(handle), kind | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at) ? 0 : lastError();
    }
    static int open(const fs::path& path, DWORD access, Handle& handle) {
        // Others may go on reading, writing and renaming, as they may with a
        // POSIX file; the lock is what keeps writers apart.
        const HANDLE file = CreateFileW(systemPath(path).c_str(), access,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return lastError();
        handle = reinterpret_cast<Handle>(file);
        return 0;
    }
};

#else

int fdOf(Handle handle) {
    return int(handle);
}

int retryingOpen(const char* path, int flags, mode_t mode = 0) {
    int fd;
    do
        fd = ::open(path, flags | O_CLOEXEC | O_NOCTTY, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

FileKind kindOf(mode_t mode) {
    if (S_ISREG(mode))
        return FileKind::Regular;
    if (S_ISDIR(mode))
        return FileKind::Folder;
    if (S_ISFIFO(mode))
        return FileKind::Fifo;
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return FileKind::Device;
    if (S_ISSOCK(mode))
        return FileKind::Socket;
    return FileKind::Other;
}

FileStatus statusFrom(const struct stat& info) {
    FileStatus status;
    status.kind = kindOf(info.st_mode);
    status.size = std::uint64_t(info.st_size);
#ifdef __APPLE__
    status.modified = std::int64_t(info.st_mtimespec.tv_sec) * 1000000000 + info.st_mtimespec.tv_nsec;
#else
    status.modified = std::int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
#endif
    status.device = std::uint64_t(info.st_dev);
    status.index = std::uint64_t(info.st_ino);
    status.links = std::uint64_t(info.st_nlink);
    status.owner = info.st_uid;
    status.group = info.st_gid;
    status.mode = info.st_mode & 07777;
    return status;
}

class PosixFileCalls final : public FileCalls {
public:
    int openRead(const fs::path& path, Handle& handle) override {
        // Opening a FIFO for reading would wait for a writer.
        return open(path, O_RDONLY | O_NONBLOCK, handle);
    }
    int openWrite(const fs::path& path, Handle& handle) override {
        return open(path, O_RDWR | O_NONBLOCK, handle);
    }
    int createUnnamed(const fs::path& folder, Handle& handle) override {
#ifdef O_TMPFILE
        const int fd = retryingOpen(folder.c_str(), O_TMPFILE | O_RDWR, 0600);
        if (fd < 0)
            return errno;
        handle = fd;
        return 0;
#else
        (void)folder;
        (void)handle;
        return EOPNOTSUPP;
#endif
    }
    int createNew(const fs::path& path, Handle& handle) override {
        const int fd = retryingOpen(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
        if (fd < 0)
            return errno;
        handle = fd;
        return 0;
    }
    int link(Handle handle, const fs::path& path) override {
#ifdef __linux__
        const std::string self = "/proc/self/fd/" + std::to_string(fdOf(handle));
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return 0;
        int error = errno;
#ifdef AT_EMPTY_PATH
        if (error == ENOENT) // no /proc: the privileged form may still work
            error = ::linkat(fdOf(handle), "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0 ? 0 : errno;
#endif
        return error;
#else
        (void)handle;
        (void)path;
        return EOPNOTSUPP;
#endif
    }
    int tryLock(Handle handle) override {
        return lock(handle, LOCK_EX);
    }
    int tryLockShared(Handle handle) override {
        return lock(handle, LOCK_SH);
    }
    int status(Handle handle, FileStatus& status) override {
        struct stat info {};
        if (::fstat(fdOf(handle), &info) != 0)
            return errno;
        status = statusFrom(info);
#ifdef __linux__
        if (status.kind == FileKind::Regular) {
            const ssize_t names = ::flistxattr(fdOf(handle), nullptr, 0);
            // A file system without them answers ENOTSUP: there are none.
            if (names < 0 && errno != ENOTSUP)
                return errno;
            status.extendedAttributes = names > 0;
        }
#endif
        return 0;
    }
    int pathStatus(const fs::path& path, FileStatus& status) override {
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0)
            return errno;
        status = statusFrom(info);
        return 0;
    }
    int read(Handle handle, std::uint64_t offset, unsigned char* data, std::size_t size,
             std::size_t& done) override {
        ssize_t got;
        do
            got = ::pread(fdOf(handle), data, std::min<std::size_t>(size, SSIZE_MAX), off_t(offset));
        while (got < 0 && errno == EINTR);
        done = got > 0 ? std::size_t(got) : 0;
        return got < 0 ? errno : 0;
    }
    int write(Handle handle, std::uint64_t offset, const unsigned char* data, std::size_t size,
              std::size_t& done) override {
        ssize_t wrote;
        do
            wrote = ::pwrite(fdOf(handle), data, std::min<std::size_t>(size, SSIZE_MAX), off_t(offset));
        while (wrote < 0 && errno == EINTR);
        done = wrote > 0 ? std::size_t(wrote) : 0;
        if (wrote < 0)
            return errno;
        // A write that makes no progress would loop for ever; the usual cause is a full disk.
        return wrote == 0 ? ENOSPC : 0;
    }
    int truncate(Handle handle, std::uint64_t size) override {
        int result;
        do
            result = ::ftruncate(fdOf(handle), off_t(size));
        while (result != 0 && errno == EINTR);
        return result == 0 ? 0 : errno;
    }
    int sync(Handle handle) override {
#ifdef __linux__
        return ::fdatasync(fdOf(handle)) == 0 ? 0 : errno;
#else
        return ::fsync(fdOf(handle)) == 0 ? 0 : errno;
#endif
    }
    int setOwner(Handle handle, std::uint32_t owner, std::uint32_t group) override {
        return ::fchown(fdOf(handle), uid_t(owner), gid_t(group)) == 0 ? 0 : errno;
    }
    int setMode(Handle handle, std::uint32_t mode) override {
        return ::fchmod(fdOf(handle), mode_t(mode)) == 0 ? 0 : errno;
    }
    // Not retried on EINTR: the descriptor is gone either way on Linux.
    int close(Handle handle) override {
        return ::close(fdOf(handle)) == 0 || errno == EINTR ? 0 : errno;
    }
    int rename(const fs::path& from, const fs::path& to, bool replace) override {
        if (replace)
            return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
#ifdef RENAME_NOREPLACE
        if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
            return 0;
        if (errno != EINVAL && errno != ENOSYS)
            return errno;
#endif
        // A second name never replaces a first one.
        if (::link(from.c_str(), to.c_str()) != 0)
            return errno;
        return ::unlink(from.c_str()) == 0 ? 0 : errno;
    }
    int remove(const fs::path& path) override {
        return ::unlink(path.c_str()) == 0 || errno == ENOENT ? 0 : errno;
    }
    int syncFolder(const fs::path& folder) override {
        const int fd = retryingOpen(folder.c_str(), O_RDONLY | O_DIRECTORY);
        if (fd < 0)
            return errno == EACCES ? 0 : errno; // a folder we may write but not read
        const int error = ::fsync(fd) == 0 ? 0 : errno;
        ::close(fd);
        // Some file systems cannot sync a folder at all.
        return error == EINVAL || error == EROFS || error == ENOTSUP ? 0 : error;
    }
    int list(const fs::path& folder, std::vector<std::string>& names) override {
        DIR* dir = ::opendir(folder.c_str());
        if (!dir)
            return errno;
        errno = 0;
        while (const dirent* entry = ::readdir(dir)) {
            names.emplace_back(entry->d_name);
            errno = 0;
        }
        const int error = errno;
        ::closedir(dir);
        return error;
    }

private:
    static int lock(Handle handle, int kind) {
        int result;
        do
            result = ::flock(fdOf(handle), kind | LOCK_NB);
        while (result != 0 && errno == EINTR);
        return result == 0 ? 0 : errno;
    }
    static int open(const fs::path& path, int flags, Handle& handle) {
        const int fd = retryingOpen(path.c_str(), flags);
        if (fd < 0)
            return errno;
        // Non-blocking only for the open itself.
        const int status = ::fcntl(fd, F_GETFL);
        if (status < 0 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) < 0) {
            const int error = errno;
            ::close(fd);
            return error;
        }
        handle = fd;
        return 0;
    }
};

#endif

} // namespace

FileCalls& systemFileCalls() {
#ifdef _WIN32
    static WindowsFileCalls calls;
#else
    static PosixFileCalls calls;
#endif
    return calls;
}

#ifdef _WIN32
int errorBusy() {
    return ERROR_LOCK_VIOLATION;
}
int errorExists() {
    return ERROR_FILE_EXISTS;
}
int errorNoSpace() {
    return ERROR_HANDLE_DISK_FULL;
}
int errorNotFound() {
    return ERROR_FILE_NOT_FOUND;
}
int errorNoMemory() {
    return ERROR_NOT_ENOUGH_MEMORY;
}
int errorUnsupported() {
    return ERROR_NOT_SUPPORTED;
}

std::string errorText(int error) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        DWORD(error), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring wide = length > 0 && text ? std::wstring(text, length) : std::wstring();
    LocalFree(text);
    // The system's text ends in a full stop and a line end.
    while (!wide.empty() &&
           (wide.back() == L'\n' || wide.back() == L'\r' || wide.back() == L'.' || wide.back() == L' '))
        wide.pop_back();
    if (wide.empty())
        return "Windows error " + std::to_string(error);
    return utf8Of(fs::path(wide));
}
#else
int errorBusy() {
    return EWOULDBLOCK;
}
int errorExists() {
    return EEXIST;
}
int errorNoSpace() {
    return ENOSPC;
}
int errorNotFound() {
    return ENOENT;
}
int errorNoMemory() {
    return ENOMEM;
}
int errorUnsupported() {
    return EOPNOTSUPP;
}

std::string errorText(int error) {
    return std::generic_category().message(error);
}
#endif

} // namespace storage
