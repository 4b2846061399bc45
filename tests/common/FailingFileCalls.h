#pragma once

#include "platform/DurableFile.h"

#include <algorithm>
#include <array>
#include <cstdint>

// The real file calls, except that the Nth call of a chosen kind fails with a
// chosen error number. A write can instead be cut short: it writes only
// `partialBytes` and the next write fails, as a disk that fills up halfway
// through does.
class FailingFileCalls final : public FileCalls {
public:
    enum Kind { Create, Write, Sync, Close, Rename, Remove, SyncFolder, KindCount };

    // nth counts from 1; errorNumber 0 clears the failure of that kind.
    void failOn(Kind kind, int nth, int errorNumber, std::int64_t partialBytes = -1) {
        m_rules[kind] = {nth, errorNumber, partialBytes};
    }
    int calls(Kind kind) const { return m_counts[kind]; }

    int create(const QString& path, const QString& modeLike, Handle& handle) override {
        if (const int error = injected(Create))
            return error;
        return m_real.create(path, modeLike, handle);
    }
    int write(Handle handle, const char* data, std::int64_t size, std::int64_t& written) override {
        const Rule& rule = m_rules[Write];
        const int call = ++m_counts[Write];
        if (rule.error != 0 && rule.partialBytes >= 0 && call == rule.nth)
            return m_real.write(handle, data, std::max<std::int64_t>(1, std::min(size, rule.partialBytes)),
                                written);
        if (rule.error != 0 && call == rule.nth + (rule.partialBytes >= 0 ? 1 : 0))
            return rule.error;
        return m_real.write(handle, data, size, written);
    }
    int sync(Handle handle) override {
        if (const int error = injected(Sync))
            return error;
        return m_real.sync(handle);
    }
    // A failed close still releases the file, as the system's does.
    int close(Handle handle) override {
        const int error = injected(Close);
        const int real = m_real.close(handle);
        return error ? error : real;
    }
    int rename(const QString& from, const QString& to) override {
        if (const int error = injected(Rename))
            return error;
        return m_real.rename(from, to);
    }
    int remove(const QString& path) override {
        if (const int error = injected(Remove))
            return error;
        return m_real.remove(path);
    }
    int syncFolder(const QString& folder) override {
        if (const int error = injected(SyncFolder))
            return error;
        return m_real.syncFolder(folder);
    }

private:
    struct Rule {
        int nth = 0;
        int error = 0;
        std::int64_t partialBytes = -1;
    };
    int injected(Kind kind) {
        const int call = ++m_counts[kind];
        return m_rules[kind].error != 0 && call == m_rules[kind].nth ? m_rules[kind].error : 0;
    }

    FileCalls& m_real = systemFileCalls();
    std::array<Rule, KindCount> m_rules{};
    std::array<int, KindCount> m_counts{};
};
