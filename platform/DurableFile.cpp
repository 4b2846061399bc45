#include "platform/DurableFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtGlobal>

#include <algorithm>

#ifdef Q_OS_WIN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

#ifdef Q_OS_WIN

class WindowsFileCalls final : public FileCalls {
public:
    int create(const QString& path, const QString&, Handle& handle) override {
        const HANDLE file =
            CreateFileW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(path).utf16()),
                        GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return int(GetLastError());
        handle = reinterpret_cast<Handle>(file);
        return 0;
    }
    int write(Handle handle, const char* data, std::int64_t size, std::int64_t& written) override {
        DWORD done = 0;
        const DWORD chunk = DWORD(std::min<std::int64_t>(size, 1 << 30));
        if (!WriteFile(reinterpret_cast<HANDLE>(handle), data, chunk, &done, nullptr))
            return int(GetLastError());
        written = done;
        return done == 0 ? int(ERROR_WRITE_FAULT) : 0;
    }
    int sync(Handle handle) override {
        return FlushFileBuffers(reinterpret_cast<HANDLE>(handle)) ? 0 : int(GetLastError());
    }
    int close(Handle handle) override {
        return CloseHandle(reinterpret_cast<HANDLE>(handle)) ? 0 : int(GetLastError());
    }
    int rename(const QString& from, const QString& to) override {
        return MoveFileExW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(from).utf16()),
                           reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(to).utf16()),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
                   ? 0
                   : int(GetLastError());
    }
    int remove(const QString& path) override {
        if (DeleteFileW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(path).utf16())))
            return 0;
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? 0 : int(error);
    }
    // MOVEFILE_WRITE_THROUGH already waits until the move is on the disk.
    int syncFolder(const QString&) override { return 0; }
};

#else

class PosixFileCalls final : public FileCalls {
public:
    int create(const QString& path, const QString& modeLike, Handle& handle) override {
        mode_t mode = 0666;
        struct stat existing {};
        if (::stat(QFile::encodeName(modeLike).constData(), &existing) == 0)
            mode = existing.st_mode & 07777;
        const int fd =
            ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd < 0)
            return errno;
        handle = fd;
        return 0;
    }
    int write(Handle handle, const char* data, std::int64_t size, std::int64_t& written) override {
        const std::size_t chunk = std::size_t(std::min<std::int64_t>(size, SSIZE_MAX));
        ssize_t done;
        do
            done = ::write(int(handle), data, chunk);
        while (done < 0 && errno == EINTR);
        if (done < 0)
            return errno;
        written = done;
        // A write that makes no progress would loop for ever; the usual cause is a full disk.
        return done == 0 ? ENOSPC : 0;
    }
    int sync(Handle handle) override {
#if defined(Q_OS_LINUX)
        return ::fdatasync(int(handle)) == 0 ? 0 : errno;
#else
        return ::fsync(int(handle)) == 0 ? 0 : errno;
#endif
    }
    // Not retried on EINTR: the descriptor is gone either way on Linux.
    int close(Handle handle) override {
        return ::close(int(handle)) == 0 ? 0 : errno;
    }
    int rename(const QString& from, const QString& to) override {
        return ::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0 ? 0
                                                                                                     : errno;
    }
    int remove(const QString& path) override {
        if (::unlink(QFile::encodeName(path).constData()) == 0 || errno == ENOENT)
            return 0;
        return errno;
    }
    int syncFolder(const QString& folder) override {
        const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return errno;
        int error = ::fsync(fd) == 0 ? 0 : errno;
        ::close(fd);
        // Some file systems cannot sync a folder at all.
        if (error == EINVAL || error == ENOTSUP)
            error = 0;
        return error;
    }
};

#endif

} // namespace

FileCalls& systemFileCalls() {
#ifdef Q_OS_WIN
    static WindowsFileCalls calls;
#else
    static PosixFileCalls calls;
#endif
    return calls;
}

QString DurableResult::describe() const {
    QString what;
    switch (failedStep) {
    case DurableStep::None:
        return {};
    case DurableStep::RemoveStale:
        what = QStringLiteral("a temporary file left by an earlier save could not be removed");
        break;
    case DurableStep::Create:
        what = QStringLiteral("the new file could not be created");
        break;
    case DurableStep::Write:
        what = QStringLiteral("the new file could not be written");
        break;
    case DurableStep::Sync:
        what = QStringLiteral("the new file could not be synced to the disk");
        break;
    case DurableStep::Close:
        what = QStringLiteral("the new file could not be closed");
        break;
    case DurableStep::Rename:
        what = QStringLiteral("the new file could not be renamed over the old one");
        break;
    case DurableStep::SyncFolder:
        what = QStringLiteral("the new file is in place, but its folder could not be synced to the disk");
        break;
    }
    return what + QStringLiteral(": ") + reason;
}

QString durableTemporaryPath(const QString& target) {
    const QFileInfo info(target);
    // A fixed-length name: the target's own name may already be as long as
    // the file system allows.
    const QByteArray digest =
        QCryptographicHash::hash(info.fileName().toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    return QDir(info.path())
        .filePath(QStringLiteral(".vestrel-save-%1.tmp").arg(QString::fromLatin1(digest)));
}

namespace {

// A symbolic link keeps pointing where it did: the file it names is replaced.
QString resolvedTarget(const QString& path) {
    QFileInfo info(path);
    for (int hops = 0; info.isSymLink() && hops < 40; ++hops)
        info.setFile(info.symLinkTarget());
    return info.filePath();
}

} // namespace

DurableResult replaceFileDurably(const QString& requested, QByteArrayView bytes, FileCalls& calls) {
    const QString target = resolvedTarget(requested);
    const QString temporary = durableTemporaryPath(target);
    const auto failure = [](DurableStep step, int error) {
        return DurableResult{step, error, qt_error_string(error), false};
    };

    if (const int error = calls.remove(temporary))
        return failure(DurableStep::RemoveStale, error);
    FileCalls::Handle handle = 0;
    if (const int error = calls.create(temporary, target, handle))
        return failure(DurableStep::Create, error);

    // Before the rename, the target is untouched: undo and report.
    const auto abandon = [&](DurableStep step, int error, bool stillOpen) {
        if (stillOpen)
            calls.close(handle);
        calls.remove(temporary);
        return failure(step, error);
    };
    const char* data = bytes.data();
    std::int64_t left = bytes.size();
    while (left > 0) {
        std::int64_t written = 0;
        if (const int error = calls.write(handle, data, left, written))
            return abandon(DurableStep::Write, error, true);
        data += written;
        left -= written;
    }
    if (const int error = calls.sync(handle))
        return abandon(DurableStep::Sync, error, true);
    if (const int error = calls.close(handle))
        return abandon(DurableStep::Close, error, false);
    if (const int error = calls.rename(temporary, target))
        return abandon(DurableStep::Rename, error, false);
    if (const int error = calls.syncFolder(QFileInfo(target).absolutePath())) {
        DurableResult result = failure(DurableStep::SyncFolder, error);
        result.replaced = true;
        return result;
    }
    return {};
}
