// Loaded with LD_PRELOAD into the programs the writers test runs, so that
// their saves are slow enough to meet and to be killed halfway, without any
// hook in the programs themselves. Linux only.
//
//   VESTREL_SLOW_IO_US=N   a write to a regular file waits up to N
//                          microseconds; one of more than a page writes
//                          about half its pages first, since a kill can cut
//                          a write short between pages (never inside one,
//                          so a small file such as a lock file is written
//                          whole); every fsync and fdatasync waits as long
//                          first
//   VESTREL_SLOW_LOOK_US=N looking for an undo copy (".vestrel-undo-") and
//                          finding none waits up to N microseconds after
//   VESTREL_NO_UNNAMED=1   opening an unnamed file (O_TMPFILE) fails as on a
//                          file system without them, so that named temporary
//                          files are used
//   VESTREL_MEET=DIR,N     the first exclusive lock (a writer's, taken after
//                          its reads, which share the lock) waits until N
//                          processes have come that far (each leaves a file
//                          in DIR), so that all of them have read what they
//                          read before any of them writes
//
// The waits are random, each process with its own seed.

// The fortified inline forms of open() would clash with the ones below.
#undef _FORTIFY_SOURCE

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

template <typename Function> Function next(const char* name) {
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

long microsecondsFrom(const char* name) {
    const char* text = std::getenv(name);
    return text ? std::atol(text) : 0L;
}

long slowestMicroseconds() {
    static const long value = microsecondsFrom("VESTREL_SLOW_IO_US");
    return value;
}

long lookWaitMicroseconds() {
    static const long value = microsecondsFrom("VESTREL_SLOW_LOOK_US");
    return value;
}

bool unnamedRefused() {
    static const bool value = [] {
        const char* text = std::getenv("VESTREL_NO_UNNAMED");
        return text && *text == '1';
    }();
    return value;
}

// Up to `slowest` microseconds.
void waitUpTo(long slowest) {
    if (slowest <= 0)
        return;
    thread_local std::uint64_t state = 0;
    if (state == 0) {
        timespec now{};
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        state = (std::uint64_t(::getpid()) << 32) ^ std::uint64_t(now.tv_nsec) ^ 0x9e3779b97f4a7c15ULL;
    }
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    const long chosen = long(state % std::uint64_t(slowest + 1));
    const timespec span{chosen / 1000000, (chosen % 1000000) * 1000};
    ::nanosleep(&span, nullptr);
}

void waitAWhile() {
    waitUpTo(slowestMicroseconds());
}

bool regularFile(int fd) {
    struct stat info {};
    return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

int entriesIn(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return 0;
    int count = 0;
    while (const dirent* entry = ::readdir(dir))
        count += entry->d_name[0] != '.';
    ::closedir(dir);
    return count;
}

void meetTheOthers() {
    static std::atomic<bool> met{false};
    const char* text = std::getenv("VESTREL_MEET");
    if (!text || met.exchange(true))
        return;
    const std::string setting = text;
    const std::size_t comma = setting.rfind(',');
    if (comma == std::string::npos)
        return;
    const std::string folder = setting.substr(0, comma);
    const int expected = std::atoi(setting.c_str() + comma + 1);
    const int mark = ::open((folder + "/" + std::to_string(::getpid())).c_str(), O_CREAT | O_WRONLY, 0600);
    if (mark >= 0)
        ::close(mark);
    const timespec step{0, 5000000};
    for (int waited = 0; waited < 4000 && entriesIn(folder) < expected; ++waited)
        ::nanosleep(&step, nullptr);
}

// Both parts through the real call; a short first part is returned as it is.
template <typename Write> ssize_t inTwoHalves(int fd, std::size_t count, Write write) {
    if (!regularFile(fd))
        return write(0, count);
    constexpr std::size_t page = 4096;
    if (slowestMicroseconds() <= 0)
        return write(0, count);
    if (count <= page) {
        waitAWhile();
        return write(0, count);
    }
    const std::size_t half = std::max(page, count / 2 / page * page);
    const ssize_t first = write(0, half);
    if (first != ssize_t(half))
        return first;
    waitAWhile();
    const ssize_t second = write(half, count - half);
    return second < 0 ? first : first + second;
}

bool refusedOpen(int flags) {
#ifdef O_TMPFILE
    if (unnamedRefused() && (flags & O_TMPFILE) == O_TMPFILE) {
        errno = EOPNOTSUPP;
        return true;
    }
#endif
    (void)flags;
    return false;
}

mode_t modeOf(int flags, va_list arguments) {
#ifdef O_TMPFILE
    if ((flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE)
#else
    if (flags & O_CREAT)
#endif
        return mode_t(va_arg(arguments, int));
    return 0;
}

} // namespace

extern "C" {

ssize_t write(int fd, const void* data, size_t count) {
    static const auto real = next<ssize_t (*)(int, const void*, size_t)>("write");
    return inTwoHalves(fd, count, [&](std::size_t from, std::size_t size) {
        return real(fd, static_cast<const char*>(data) + from, size);
    });
}

ssize_t pwrite(int fd, const void* data, size_t count, off_t offset) {
    static const auto real = next<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite");
    return inTwoHalves(fd, count, [&](std::size_t from, std::size_t size) {
        return real(fd, static_cast<const char*>(data) + from, size, offset + off_t(from));
    });
}

ssize_t pwrite64(int fd, const void* data, size_t count, off64_t offset) {
    static const auto real = next<ssize_t (*)(int, const void*, size_t, off64_t)>("pwrite64");
    return inTwoHalves(fd, count, [&](std::size_t from, std::size_t size) {
        return real(fd, static_cast<const char*>(data) + from, size, offset + off64_t(from));
    });
}

// Looking for an undo copy and finding none, a reader goes on to read the
// file: the wait lets a writer start writing it in place meanwhile.
int stat(const char* path, struct stat* info) {
    static const auto real = next<int (*)(const char*, struct stat*)>("stat");
    const int result = real(path, info);
    // Kept from here on: even the first look at a static may set it, when
    // two threads look at once.
    const int error = errno;
    if (result != 0 && lookWaitMicroseconds() > 0 && std::strstr(path, ".vestrel-undo-"))
        waitUpTo(lookWaitMicroseconds());
    errno = error;
    return result;
}

int flock(int fd, int operation) {
    static const auto real = next<int (*)(int, int)>("flock");
    if (operation & LOCK_EX)
        meetTheOthers();
    return real(fd, operation);
}

int fsync(int fd) {
    static const auto real = next<int (*)(int)>("fsync");
    waitAWhile();
    return real(fd);
}

int fdatasync(int fd) {
    static const auto real = next<int (*)(int)>("fdatasync");
    waitAWhile();
    return real(fd);
}

int open(const char* path, int flags, ...) {
    static const auto real = next<int (*)(const char*, int, ...)>("open");
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeOf(flags, arguments);
    va_end(arguments);
    return refusedOpen(flags) ? -1 : real(path, flags, mode);
}

int open64(const char* path, int flags, ...) {
    static const auto real = next<int (*)(const char*, int, ...)>("open64");
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeOf(flags, arguments);
    va_end(arguments);
    return refusedOpen(flags) ? -1 : real(path, flags, mode);
}

int openat(int folder, const char* path, int flags, ...) {
    static const auto real = next<int (*)(int, const char*, int, ...)>("openat");
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeOf(flags, arguments);
    va_end(arguments);
    return refusedOpen(flags) ? -1 : real(folder, path, flags, mode);
}

int openat64(int folder, const char* path, int flags, ...) {
    static const auto real = next<int (*)(int, const char*, int, ...)>("openat64");
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeOf(flags, arguments);
    va_end(arguments);
    return refusedOpen(flags) ? -1 : real(folder, path, flags, mode);
}
}
