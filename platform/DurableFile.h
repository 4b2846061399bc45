#pragma once

#include <QByteArrayView>
#include <QString>

#include <cstdint>

// Replaces a whole file so that it is always either the old file or the new
// one, even if the program is killed or the machine loses power, and reports
// success only when every step did: the bytes go to a temporary file beside
// the target, which is written, synced to disk, closed, renamed over the
// target, and then the folder is synced so that the rename itself is kept.
// QSaveFile does the same but ignores errors of the sync and the close, which
// is where a full disk or a failing drive often shows first.
//
// Needs only QtCore, so command-line programs use it as well.

// The system calls behind a replace. Each returns 0 or the system's error
// number (errno, or GetLastError() on Windows). Tests put a failing one in
// place to see that every failure is caught.
class FileCalls {
public:
    using Handle = std::intptr_t;
    virtual ~FileCalls() = default;
    // Creates path, which must not exist yet, for writing; mode is taken from
    // modeLike when that file exists.
    virtual int create(const QString& path, const QString& modeLike, Handle& handle) = 0;
    // Writes some of the bytes (at least one on success) and sets written.
    virtual int write(Handle handle, const char* data, std::int64_t size, std::int64_t& written) = 0;
    virtual int sync(Handle handle) = 0;
    virtual int close(Handle handle) = 0;
    // Replaces `to` by `from` in one step.
    virtual int rename(const QString& from, const QString& to) = 0;
    // 0 also when there was nothing to remove.
    virtual int remove(const QString& path) = 0;
    // Syncs a folder's entries. 0 where the system cannot sync a folder.
    virtual int syncFolder(const QString& folder) = 0;
};

// The real system calls.
FileCalls& systemFileCalls();

enum class DurableStep { None, RemoveStale, Create, Write, Sync, Close, Rename, SyncFolder };

struct DurableResult {
    DurableStep failedStep = DurableStep::None;
    int errorNumber = 0;
    QString reason; // the system's own text for errorNumber
    // True once the rename has happened: only the folder sync failed, so the
    // target already holds the new bytes, but may not keep them after a
    // power loss.
    bool replaced = false;

    bool ok() const { return failedStep == DurableStep::None; }
    // What went wrong, in one line: the step and the system's reason, such
    // as "the new file could not be synced to the disk: Input/output error".
    QString describe() const;
};

// The temporary file a replace of target writes: a hidden name in the
// target's folder, the same for every replace of that target and short
// enough for any name the file system accepts for the target.
QString durableTemporaryPath(const QString& target);

// Writes bytes to target as described above; when target is a symbolic link,
// the file it points to is replaced. A temporary file left by an
// earlier replace of the same target (one that was killed) is removed first;
// on failure the temporary file is removed and the target keeps its old
// bytes (unless `replaced` says otherwise).
DurableResult replaceFileDurably(const QString& target, QByteArrayView bytes,
                                 FileCalls& calls = systemFileCalls());
