// Loading and saving a full ball table (32,767 records) against reading or
// writing the same bytes with one plain call. Target: each within 3x.
// Both sides run alternately in the same iterations, so the ratio is not
// skewed by the machine getting busier or quieter between benchmarks.
// Zapisz replaces its target atomically and QSaveFile syncs the new file to
// disk before renaming it; `synced_ratio` compares with a plain write that is
// synced the same way, to show what the sync alone costs.

#include "ball_table/BallFile.h"
#include "ball_table/Baza.h"
#include "bench/FullBallTable.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>

#include <unistd.h>

namespace {

constexpr int recordCount = fullTableSize;
constexpr double targetRatio = 3.0;

using Clock = std::chrono::steady_clock;

QVector<Ball> fullTable() {
    return fullBallTable();
}

struct Fixture {
    QTemporaryDir dir;
    QString source;
    QByteArray bytes;
    Fixture() {
        bytes = *BallFile::encode(fullTable());
        source = dir.filePath("full.unzlib");
        QFile file(source);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            std::abort();
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

void report(benchmark::State& state, double ours, double plain) {
    const double ratio = ours / plain;
    state.counters["plain_ms"] = plain * 1e3 / double(state.iterations());
    state.counters["ratio"] = ratio;
    char label[96];
    std::snprintf(label, sizeof label, "%.2fx of one plain call (target <= %.0fx): %s", ratio, targetRatio,
                  ratio <= targetRatio ? "ok" : "OVER");
    state.SetLabel(label);
}

void BM_Wczytaj(benchmark::State& state) {
    Fixture& f = fixture();
    Baza baza;
    double ours = 0;
    double plain = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        {
            QFile file(f.source);
            QByteArray buffer(f.bytes.size(), Qt::Uninitialized);
            if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered) ||
                file.read(buffer.data(), buffer.size()) != buffer.size())
                state.SkipWithError("plain read failed");
            benchmark::DoNotOptimize(buffer.data());
        }
        auto t1 = Clock::now();
        if (!baza.Wczytaj(f.source) || baza.Count() != recordCount)
            state.SkipWithError("Wczytaj failed");
        auto t2 = Clock::now();
        plain += seconds(t1 - t0);
        ours += seconds(t2 - t1);
        state.SetIterationTime(seconds(t2 - t1));
    }
    report(state, ours, plain);
}

void BM_Zapisz(benchmark::State& state) {
    Fixture& f = fixture();
    Baza baza;
    if (!baza.Wczytaj(f.source))
        state.SkipWithError("Wczytaj failed");
    const QString plainTarget = f.dir.filePath("plain.unzlib");
    const QString ourTarget = f.dir.filePath("saved.unzlib");
    // A file of its own: truncating a file just synced costs more than one
    // whose pages are still only cached, which would flatter the ratio.
    const QString syncedTarget = f.dir.filePath("synced.unzlib");
    double ours = 0;
    double plain = 0;
    double synced = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        {
            QFile file(plainTarget);
            if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered) ||
                file.write(f.bytes) != f.bytes.size())
                state.SkipWithError("plain write failed");
        }
        auto t1 = Clock::now();
        if (!baza.Zapisz(ourTarget))
            state.SkipWithError("Zapisz failed");
        auto t2 = Clock::now();
        {
            QFile file(syncedTarget);
            if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered) ||
                file.write(f.bytes) != f.bytes.size() || ::fdatasync(file.handle()) != 0)
                state.SkipWithError("synced write failed");
        }
        auto t3 = Clock::now();
        plain += seconds(t1 - t0);
        ours += seconds(t2 - t1);
        synced += seconds(t3 - t2);
        state.SetIterationTime(seconds(t2 - t1));
    }
    report(state, ours, plain);
    state.counters["synced_ms"] = synced * 1e3 / double(state.iterations());
    state.counters["synced_ratio"] = ours / synced;
}

} // namespace

BENCHMARK(BM_Wczytaj)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Zapisz)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
