#pragma once

#include "pipeline/storage/FileCalls.h"
#include "pipeline/storage/FileStore.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>

// The real file calls, except that one chosen call fails with a chosen
// error number: the Nth call of one kind, or the Nth call of any kind (to
// sweep every call a piece of work makes). A write can instead be cut short:
// it writes only `partialBytes` and the next write fails, as a disk that
// fills up halfway through does.
class FailingFileCalls final : public storage::FileCalls {
public:
    enum Kind {
        OpenRead,
        OpenWrite,
        CreateUnnamed,
        CreateNew,
        Link,
        TryLock,
        Status,
        PathStatus,
        Read,
        Write,
        Truncate,
        Sync,
        SetOwner,
        SetMode,
        Close,
        Rename,
        Remove,
        SyncFolder,
        List,
        KindCount
    };
    // The old names of the steps of a replace.
    static constexpr Kind Create = CreateNew;

    // nth counts from 1; errorNumber 0 clears the failure of that kind.
    void failOn(Kind kind, int nth, int errorNumber, std::int64_t partialBytes = -1) {
        m_rules[kind] = {nth, errorNumber, partialBytes};
    }
    // Fails the nth call of any kind; 0 for none.
    void failCall(int nth, int errorNumber) {
        m_anyNth = nth;
        m_anyError = errorNumber;
    }
    int calls(Kind kind) const { return m_counts[kind]; }
    int totalCalls() const { return m_total; }
    // The kind of the call that failed through failCall, or KindCount.
    Kind failedKind() const { return m_failedKind; }
    // Runs before every write, to slow writes down.
    std::function<void()> beforeWrite;

    int openRead(const std::filesystem::path& path, storage::Handle& handle) override {
        if (const int error = fail(OpenRead))
            return error;
        return m_real.openRead(path, handle);
    }
    int openWrite(const std::filesystem::path& path, storage::Handle& handle) override {
        if (const int error = fail(OpenWrite))
            return error;
        return m_real.openWrite(path, handle);
    }
    int createUnnamed(const std::filesystem::path& folder, storage::Handle& handle) override {
        if (const int error = fail(CreateUnnamed))
            return error;
        return m_real.createUnnamed(folder, handle);
    }
    int createNew(const std::filesystem::path& path, storage::Handle& handle) override {
        if (const int error = fail(CreateNew))
            return error;
        return m_real.createNew(path, handle);
    }
    int link(storage::Handle handle, const std::filesystem::path& path) override {
        if (const int error = fail(Link))
            return error;
        return m_real.link(handle, path);
    }
    int tryLock(storage::Handle handle) override {
        if (const int error = fail(TryLock))
            return error;
        return m_real.tryLock(handle);
    }
    int tryLockShared(storage::Handle handle) override {
        if (const int error = fail(TryLock))
            return error;
        return m_real.tryLockShared(handle);
    }
    int status(storage::Handle handle, storage::FileStatus& status) override {
        if (const int error = fail(Status))
            return error;
        return m_real.status(handle, status);
    }
    int pathStatus(const std::filesystem::path& path, storage::FileStatus& status) override {
        if (const int error = fail(PathStatus))
            return error;
        return m_real.pathStatus(path, status);
    }
    int read(storage::Handle handle, std::uint64_t offset, unsigned char* data, std::size_t size,
             std::size_t& done) override {
        if (const int error = fail(Read))
            return error;
        return m_real.read(handle, offset, data, size, done);
    }
    int write(storage::Handle handle, std::uint64_t offset, const unsigned char* data, std::size_t size,
              std::size_t& done) override {
        if (beforeWrite)
            beforeWrite();
        const Rule& rule = m_rules[Write];
        const int call = m_counts[Write] + 1;
        if (rule.error != 0 && rule.partialBytes >= 0 && call == rule.nth) {
            ++m_counts[Write];
            ++m_total;
            return m_real.write(handle, offset, data,
                                std::size_t(std::max<std::int64_t>(
                                    1, std::min<std::int64_t>(std::int64_t(size), rule.partialBytes))),
                                done);
        }
        if (const int error = fail(Write, rule.partialBytes >= 0 ? 1 : 0))
            return error;
        return m_real.write(handle, offset, data, size, done);
    }
    int truncate(storage::Handle handle, std::uint64_t size) override {
        if (const int error = fail(Truncate))
            return error;
        return m_real.truncate(handle, size);
    }
    int sync(storage::Handle handle) override {
        if (const int error = fail(Sync))
            return error;
        return m_real.sync(handle);
    }
    int setOwner(storage::Handle handle, std::uint32_t owner, std::uint32_t group) override {
        if (const int error = fail(SetOwner))
            return error;
        return m_real.setOwner(handle, owner, group);
    }
    int setMode(storage::Handle handle, std::uint32_t mode) override {
        if (const int error = fail(SetMode))
            return error;
        return m_real.setMode(handle, mode);
    }
    // A failed close still releases the file, as the system's does.
    int close(storage::Handle handle) override {
        const int error = fail(Close);
        const int real = m_real.close(handle);
        return error ? error : real;
    }
    int rename(const std::filesystem::path& from, const std::filesystem::path& to, bool replace) override {
        if (const int error = fail(Rename))
            return error;
        return m_real.rename(from, to, replace);
    }
    int remove(const std::filesystem::path& path) override {
        if (const int error = fail(Remove))
            return error;
        return m_real.remove(path);
    }
    int syncFolder(const std::filesystem::path& folder) override {
        if (const int error = fail(SyncFolder))
            return error;
        return m_real.syncFolder(folder);
    }
    int list(const std::filesystem::path& folder, std::vector<std::string>& names) override {
        if (const int error = fail(List))
            return error;
        return m_real.list(folder, names);
    }

private:
    struct Rule {
        int nth = 0;
        int error = 0;
        std::int64_t partialBytes = -1;
    };
    // `later` shifts the failing call of a kind by that many calls.
    int fail(Kind kind, int later = 0) {
        const int call = ++m_counts[kind];
        ++m_total;
        if (m_anyError != 0 && m_total == m_anyNth) {
            m_failedKind = kind;
            return m_anyError;
        }
        const Rule& rule = m_rules[kind];
        return rule.error != 0 && call == rule.nth + later ? rule.error : 0;
    }

    storage::FileCalls& m_real = storage::systemFileCalls();
    std::array<Rule, KindCount> m_rules{};
    std::array<int, KindCount> m_counts{};
    int m_total = 0;
    int m_anyNth = 0;
    int m_anyError = 0;
    Kind m_failedKind = KindCount;
};

// Leaves `target` torn by an in-place write of `bytes` that failed halfway
// with `error` and could not be undone at once, as a crash would: its old
// bytes wait in the undo copy beside it. The file must be one written in
// place (with a second hard link, or on Windows). False if no write did so.
inline bool interruptInPlaceWrite(const std::filesystem::path& target, std::span<const unsigned char> bytes,
                                  int error) {
    for (int write = 1; write < 10; ++write) {
        FailingFileCalls calls;
        calls.failOn(FailingFileCalls::Write, write, error, 5);
        calls.failOn(FailingFileCalls::OpenRead, 1, error); // the undo copy, for the immediate undo
        storage::ReplaceOptions options;
        options.calls = &calls;
        if (storage::replaceFile(target, bytes, options).outcome.after == storage::After::Recoverable)
            return true;
    }
    return false;
}
