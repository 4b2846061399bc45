#include "tools/zlibtool/ToolRun.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <utility>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zlibtool {

namespace fs = std::filesystem;

namespace {

constexpr const char* usage = "usage: zlibtool \"<file>\" [-d]   (-d decompresses to <file>.unzlib, "
                              "otherwise compresses to <file>.zlib)";

// Input is read through a buffer of this size.
constexpr std::size_t readChunk = std::size_t(256) << 10;

std::string reason(int error) {
    return std::generic_category().message(error);
}

int injected(const FaultInjection& fault, WriteStep step, std::size_t& size) {
    return fault ? fault(step, size) : 0;
}

int injected(const FaultInjection& fault, WriteStep step) {
    std::size_t unused = 0;
    return injected(fault, step, unused);
}

fs::path folderOf(const fs::path& target) {
    const fs::path folder = target.parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

int processId() {
#ifdef _WIN32
    return _getpid();
#else
    return int(getpid());
#endif
}

// Short, so that it fits wherever the result's name fits; the pid tells a
// later run whether its writer is still alive.
fs::path temporaryBeside(const fs::path& target) {
    static std::atomic<unsigned> counter{0};
    return folderOf(target) /
           (".zt" + std::to_string(processId()) + "-" + std::to_string(counter.fetch_add(1)) + ".tmp");
}

// The process whose pid a temporary name carries, if any.
std::optional<long long> pidOfTemporary(const std::string& name) {
    if (name.size() < 8 || name.compare(0, 3, ".zt") != 0 || name.compare(name.size() - 4, 4, ".tmp") != 0)
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

#ifndef _WIN32

bool isFolder(const fs::path& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

void removeFile(const fs::path& path) {
    std::error_code ec;
    fs::remove(path, ec);
}

int retryingOpen(const char* path, int flags, mode_t mode = 0) {
    int fd;
    do
        fd = ::open(path, flags | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
    return fd;
}

// One output file on its way to the result's name.
class Output {
public:
    Output(const fs::path& target, const FaultInjection& fault) : m_target(target), m_fault(fault) {}
    ~Output() {
        if (m_fd >= 0)
            ::close(m_fd);
        if (!m_temporary.empty())
            ::unlink(m_temporary.c_str());
    }

    // 0 or the errno of the failed creation.
    int create() {
        const fs::path folder = folderOf(m_target);
#ifdef O_TMPFILE
        int error = injected(m_fault, WriteStep::CreateUnnamed);
        if (error == 0) {
            m_fd = retryingOpen(folder.c_str(), O_TMPFILE | O_WRONLY, 0666);
            error = m_fd < 0 ? errno : 0;
        }
        // A file system without unnamed files, or an older kernel, refuses
        // with one of these; the named temporary file works everywhere.
        if (error != EOPNOTSUPP && error != EISDIR && error != EINVAL)
            return error;
#endif
        for (unsigned attempt = 0; attempt < 100; ++attempt) {
            const fs::path name = temporaryBeside(m_target);
            if (const int error = injected(m_fault, WriteStep::Create))
                return error;
            m_fd = retryingOpen(name.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
            if (m_fd >= 0) {
                m_temporary = name;
                // Held until the process ends, so that no other run takes
                // the file for a stale one.
                ::flock(m_fd, LOCK_EX);
                return 0;
            }
            if (errno != EEXIST)
                return errno;
        }
        return EEXIST;
    }

    int write(std::span<const unsigned char> piece) {
        while (!piece.empty()) {
            std::size_t size = piece.size();
            ssize_t written = -1;
            if (const int error = injected(m_fault, WriteStep::Write, size))
                errno = error;
            else
                written = ::write(m_fd, piece.data(), std::min(size, piece.size()));
            if (written < 0 && errno == EINTR)
                continue;
            if (written < 0)
                return errno;
            if (written == 0)
                return ENOSPC;
            piece = piece.subspan(std::size_t(written));
        }
        return 0;
    }

    int sync() {
        if (const int error = injected(m_fault, WriteStep::Sync))
            return error;
        return ::fsync(m_fd) == 0 ? 0 : errno;
    }

    int close() {
        int error = injected(m_fault, WriteStep::Close);
        const int fd = std::exchange(m_fd, -1);
        if (error != 0) {
            ::close(fd);
            return error;
        }
        // After EINTR Linux has closed the file, and the data is synced.
        return ::close(fd) == 0 || errno == EINTR ? 0 : errno;
    }

    // Before close(): an unnamed file is linked through its descriptor.
    int place() {
        if (const int error = injected(m_fault, WriteStep::Place))
            return error;
        if (!m_temporary.empty()) {
            if (::rename(m_temporary.c_str(), m_target.c_str()) != 0)
                return errno;
            m_temporary.clear();
            return 0;
        }
        const std::string self = "/proc/self/fd/" + std::to_string(m_fd);
        for (int attempt = 0; attempt < 3; ++attempt) {
            // A link never replaces a name, so an older result goes first;
            // were the run killed in between, no result at all is what a
            // failed run leaves anyway.
            if (::unlink(m_target.c_str()) != 0 && errno != ENOENT)
                return errno;
            if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, m_target.c_str(), AT_SYMLINK_FOLLOW) == 0)
                return 0;
            int error = errno;
#ifdef AT_EMPTY_PATH
            if (error == ENOENT) // no /proc: the privileged form may still work
                error = ::linkat(m_fd, "", AT_FDCWD, m_target.c_str(), AT_EMPTY_PATH) == 0 ? 0 : errno;
#endif
            if (error != EEXIST)
                return error;
        }
        return EEXIST;
    }

    int syncFolder() {
        if (const int error = injected(m_fault, WriteStep::SyncFolder))
            return error;
        const int fd = retryingOpen(folderOf(m_target).c_str(), O_RDONLY | O_DIRECTORY);
        if (fd < 0)
            return errno == EACCES ? 0 : errno; // a folder we may write but not read
        int error = ::fsync(fd) == 0 ? 0 : errno;
        ::close(fd);
        // Some file systems cannot sync a folder at all.
        return error == EINVAL || error == EROFS ? 0 : error;
    }

    bool placesBeforeClose() const {
        return m_temporary.empty();
    }

private:
    fs::path m_target;
    const FaultInjection& m_fault;
    int m_fd = -1;
    fs::path m_temporary;
};

#else

// The errno closest to a Windows error, so that every message is made the
// same way.
int errnoOf(DWORD error) {
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EACCES;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return ENOENT;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
        return EEXIST;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    default:
        return EIO;
    }
}

// The form of a path the system calls get: absolute, with the "\\?\"
// prefix, so that a path longer than MAX_PATH (260 characters) works like
// any other. GetFullPathNameW first resolves it as Windows would resolve it
// without the prefix. The C runtime's stat refuses such paths, so the
// file's kind and size come from the system's own calls.
fs::path systemPath(const fs::path& path) {
    const std::wstring& given = path.native();
    const auto prefixed = [](const std::wstring& text) {
        return text.starts_with(LR"(\\?\)") || text.starts_with(LR"(\\.\)");
    };
    if (given.empty() || prefixed(given))
        return path;
    std::wstring full(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 3; ++attempt) {
        const DWORD length = GetFullPathNameW(given.c_str(), DWORD(full.size()), full.data(), nullptr);
        if (length == 0)
            return path;
        if (length >= full.size()) {
            full.resize(length); // too small: length counts the terminating zero
            continue;
        }
        full.resize(length);
        if (prefixed(full)) // a device, such as NUL
            return full;
        if (full.starts_with(LR"(\\)"))
            return LR"(\\?\UNC\)" + full.substr(2);
        return LR"(\\?\)" + full;
    }
    return path;
}

bool isFolder(const fs::path& path) {
    const DWORD attributes = GetFileAttributesW(systemPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void removeFile(const fs::path& path) {
    DeleteFileW(systemPath(path).c_str());
}

// Windows: a named temporary file, renamed over the result.
class Output {
public:
    Output(const fs::path& target, const FaultInjection& fault)
        : m_target(systemPath(target)), m_fault(fault) {}
    ~Output() {
        if (m_file)
            std::fclose(m_file);
        if (!m_temporary.empty())
            DeleteFileW(m_temporary.c_str());
    }

    int create() {
        for (unsigned attempt = 0; attempt < 100; ++attempt) {
            const fs::path name = temporaryBeside(m_target);
            if (const int error = injected(m_fault, WriteStep::Create))
                return error;
            // Created exclusively: checking for the name first would leave a
            // gap in which another run could take it.
            const int fd = _wopen(name.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                                  _S_IREAD | _S_IWRITE);
            if (fd < 0 && errno == EEXIST)
                continue;
            if (fd < 0)
                return errno;
            m_file = _wfdopen(fd, L"wb");
            if (!m_file) {
                const int error = errno;
                _close(fd);
                DeleteFileW(name.c_str());
                return error;
            }
            m_temporary = name;
            return 0;
        }
        return EEXIST;
    }

    int write(std::span<const unsigned char> piece) {
        while (!piece.empty()) {
            std::size_t size = piece.size();
            if (const int error = injected(m_fault, WriteStep::Write, size))
                return error;
            const std::size_t written = std::fwrite(piece.data(), 1, std::min(size, piece.size()), m_file);
            if (written == 0)
                return errno != 0 ? errno : ENOSPC;
            piece = piece.subspan(written);
        }
        return 0;
    }

    int sync() {
        if (const int error = injected(m_fault, WriteStep::Sync))
            return error;
        if (std::fflush(m_file) != 0)
            return errno;
        // Flushing only hands the bytes to the system; _commit asks it to
        // put them on the disk (FlushFileBuffers).
        return _commit(_fileno(m_file)) == 0 ? 0 : errno;
    }

    int close() {
        const int error = injected(m_fault, WriteStep::Close);
        const int closed = std::fclose(std::exchange(m_file, nullptr)) == 0 ? 0 : errno;
        return error != 0 ? error : closed;
    }

    int place() {
        if (const int error = injected(m_fault, WriteStep::Place))
            return error;
        // Replaces an older result in one step, and returns only once the
        // new name is on the disk: Windows has no folder to sync afterwards.
        if (!MoveFileExW(m_temporary.c_str(), m_target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return errnoOf(GetLastError());
        m_temporary.clear();
        return 0;
    }

    int syncFolder() { return injected(m_fault, WriteStep::SyncFolder); }

    bool placesBeforeClose() const { return false; }

private:
    fs::path m_target;
    const FaultInjection& m_fault;
    std::FILE* m_file = nullptr;
    fs::path m_temporary;
};

#endif

#ifndef _WIN32
const char* notARegularFile(mode_t mode) {
    if (S_ISREG(mode))
        return nullptr;
    if (S_ISDIR(mode))
        return "it is a folder, not a file";
    if (S_ISFIFO(mode))
        return "it is a named pipe (FIFO), not a regular file";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "it is a device, not a regular file";
    if (S_ISSOCK(mode))
        return "it is a socket, not a regular file";
    return "it is not a regular file";
}
#endif

std::string inputMessage(const fs::path& path, const std::string& what) {
    return "cannot read " + path.string() + ": " + what;
}

} // namespace

std::optional<Command> parseArguments(const std::vector<std::string>& args) {
    // From UTF-8: on Windows a path made from a plain string would be read in
    // the ANSI code page; elsewhere the bytes are kept as they are.
    const auto pathOf = [](const std::string& arg) {
        return fs::path(std::u8string(reinterpret_cast<const char8_t*>(arg.data()), arg.size()));
    };
    if (args.size() == 1 && !args[0].empty() && args[0] != "-d")
        return Command{pathOf(args[0]), Mode::Compress};
    if (args.size() == 2 && !args[0].empty() && args[0] != "-d" && args[1] == "-d")
        return Command{pathOf(args[0]), Mode::Decompress};
    return std::nullopt;
}

fs::path resultPath(const Command& command) {
    fs::path result = command.input;
    result += command.mode == Mode::Decompress ? ".unzlib" : ".zlib";
    return result;
}

FileInput::~FileInput() {
#ifdef _WIN32
    if (m_file)
        std::fclose(m_file);
#else
    if (m_fd >= 0)
        ::close(m_fd);
#endif
}

std::span<const unsigned char> FileInput::read(std::uint64_t offset, std::size_t want) {
    want = std::min(want, m_buffer.size());
#ifdef _WIN32
    if (_fseeki64(m_file, std::int64_t(offset), SEEK_SET) != 0) {
        m_problem = reason(errno);
        return {};
    }
    const std::size_t got = std::fread(m_buffer.data(), 1, want, m_file);
    if (got == 0) {
        m_problem = std::ferror(m_file) ? reason(errno) : "it changed while being read";
        return {};
    }
#else
    ssize_t got;
    do
        got = ::pread(m_fd, m_buffer.data(), want, off_t(offset));
    while (got < 0 && errno == EINTR);
    if (got <= 0) {
        m_problem = got < 0 ? reason(errno) : "it changed while being read";
        return {};
    }
#endif
    return std::span(m_buffer.data(), std::size_t(got));
}

bool FileInput::grew() {
    unsigned char extra = 0;
#ifdef _WIN32
    return _fseeki64(m_file, std::int64_t(m_size), SEEK_SET) == 0 && std::fread(&extra, 1, 1, m_file) == 1;
#else
    return ::pread(m_fd, &extra, 1, off_t(m_size)) > 0;
#endif
}

std::unique_ptr<FileInput> openInput(const fs::path& path, std::string& message) {
    std::unique_ptr<FileInput> input(new FileInput);
#ifdef _WIN32
    const fs::path file = systemPath(path);
    // A device's name (NUL, COM1, a pipe) resolves to the "\\.\" form.
    if (file.native().starts_with(LR"(\\.\)")) {
        message = inputMessage(path, "it is a device or pipe, not a regular file");
        return nullptr;
    }
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data)) {
        message = "cannot open " + path.string() + ": " + reason(errnoOf(GetLastError()));
        return nullptr;
    }
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        message = inputMessage(path, "it is a folder, not a file");
        return nullptr;
    }
    input->m_size = (std::uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
#else
    // The type is checked before opening, since merely opening a FIFO or a
    // device can block or act; opening without blocking and checking the
    // opened file again closes the gap between the two.
    struct stat info {};
    const auto refused = [&](const std::string& what) {
        message = what;
        return nullptr;
    };
    if (::stat(path.c_str(), &info) != 0)
        return refused("cannot open " + path.string() + ": " + reason(errno));
    if (const char* notAFile = notARegularFile(info.st_mode))
        return refused(inputMessage(path, notAFile));
    input->m_fd = retryingOpen(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (input->m_fd < 0 || ::fstat(input->m_fd, &info) != 0)
        return refused("cannot open " + path.string() + ": " + reason(errno));
    if (const char* notAFile = notARegularFile(info.st_mode))
        return refused(inputMessage(path, notAFile));
    input->m_size = std::uint64_t(info.st_size);
#endif
    if (input->m_size > maxInputSize) {
        message = inputMessage(path, "it has " + std::to_string(input->m_size) + " bytes, more than the " +
                                         std::to_string(maxInputSize >> 20) + " MiB a game file can have");
        return nullptr;
    }
#ifdef _WIN32
    input->m_file = _wfopen(file.c_str(), L"rb");
    if (!input->m_file) {
        message = "cannot open " + path.string() + ": " + reason(errno);
        return nullptr;
    }
    if (GetFileType(HANDLE(_get_osfhandle(_fileno(input->m_file)))) != FILE_TYPE_DISK) {
        message = inputMessage(path, "it is a device or pipe, not a regular file");
        return nullptr;
    }
#endif
    input->m_buffer.resize(readChunk);
    return input;
}

bool writeFileAtomically(const fs::path& target, const Producer& produce, std::string& message,
                         const FaultInjection& fault) {
    if (isFolder(target)) {
        message = "cannot write " + target.string() + ": it is a folder";
        return false;
    }
    const auto failed = [&](const std::string& step, int error) {
        message = "cannot " + step + " " + target.string() + ": " + reason(error);
        return false;
    };
    Output out(target, fault);
    if (const int error = out.create())
        return failed("create a file for", error);
    int writeError = 0;
    const Error error = produce([&](std::span<const unsigned char> piece) {
        writeError = out.write(piece);
        return writeError == 0;
    });
    if (writeError != 0)
        return failed("write", writeError);
    if (error != Error::None) {
        message = std::string(describe(error));
        return false;
    }
    if (const int e = out.sync())
        return failed("sync", e);
    // Once the result has its name, a failure must take it away again.
    const auto failedPlaced = [&](const std::string& step, int error) {
        removeFile(target);
        return failed(step, error);
    };
    const bool linked = out.placesBeforeClose();
    if (const int e = linked ? out.place() : 0)
        return failed("link", e);
    if (const int e = out.close())
        return linked ? failedPlaced("close", e) : failed("close", e);
    if (const int e = linked ? 0 : out.place())
        return failed("rename the finished file to", e);
    if (const int e = out.syncFolder())
        return failedPlaced("sync the folder of", e);
    return true;
}

void removeStaleTemporaries(const fs::path& folder) {
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const std::optional<long long> pid = pidOfTemporary(name);
        if (!pid || *pid == processId())
            continue;
#ifdef _WIN32
        // A file another run still writes is open, and Windows refuses to
        // remove an open file.
        std::error_code ignored;
        fs::remove(it->path(), ignored);
#else
        if (::kill(pid_t(*pid), 0) == 0 || errno != ESRCH)
            continue;
        // The lock guards a writer whose pid this system does not see.
        const int fd = retryingOpen(it->path().c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW);
        if (fd < 0)
            continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlink(it->path().c_str());
        ::close(fd);
#endif
    }
}

int run(const std::vector<std::string>& args, std::ostream& err) {
    const std::optional<Command> command = parseArguments(args);
    if (!command) {
        err << usage << '\n';
        return exitUsage;
    }
    const fs::path target = resultPath(*command);
    auto fail = [&](const std::string& message) {
        // An older result must not pass for this run's.
        if (!isFolder(target))
            removeFile(target);
        err << "zlibtool: " << message << '\n';
        return exitFailure;
    };

    std::string message;
    const std::unique_ptr<FileInput> input = openInput(command->input, message);
    if (!input)
        return fail(message);
    removeStaleTemporaries(folderOf(target));
    const bool decompressing = command->mode == Mode::Decompress;
    Error streamError = Error::None;
    const Producer produce = [&](const Sink& sink) {
        streamError =
            decompressing ? compression::decompressTo(*input, sink) : compression::compressTo(*input, sink);
        if (streamError == Error::None && input->grew())
            streamError = Error::ReadFailed;
        return streamError;
    };
    if (!writeFileAtomically(target, produce, message)) {
        if (streamError == Error::ReadFailed)
            return fail(inputMessage(command->input, input->problem().empty() ? "it changed while being read"
                                                                              : input->problem()));
        if (streamError != Error::None && streamError != Error::SinkFailed)
            return fail(command->input.string() + ": " + std::string(describe(streamError)));
        return fail(message);
    }
    return exitSuccess;
}

} // namespace zlibtool
