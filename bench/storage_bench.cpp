// A durable replace of a compressed full ball table (about 1.4 MB) through
// the storage core, lock and checks included, against its true floor: the
// same bytes written over the file with one plain write and fdatasync.
// Both run alternately in the same iterations. Two kinds of replace: a new
// file renamed over the old one (the usual case), and a write in place with
// an undo copy beside it (a hard-linked file). Targets: within 2x for the
// rename, which syncs the folder too; within 3x in place, which syncs two
// files (the undo copy and the file) and the folder.

#include "ball_table/BallFile.h"
#include "bench/FullBallTable.h"
#include "pipeline/compression/ZlibStream.h"
#include "pipeline/storage/FileStore.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr double renameTarget = 2.0;
constexpr double inPlaceTarget = 3.0;
using Clock = std::chrono::steady_clock;

double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

struct Fixture {
    std::filesystem::path dir;
    compression::Bytes game;
    Fixture() {
        char pattern[] = "/tmp/vestrel-storage-bench-XXXXXX";
        dir = ::mkdtemp(pattern);
        const QByteArray table = *BallFile::encode(fullBallTable());
        game = compression::compress(
                   {reinterpret_cast<const unsigned char*>(table.constData()), std::size_t(table.size())})
                   .data;
    }
    ~Fixture() { std::filesystem::remove_all(dir); }
};

bool plainSyncedWrite(const std::filesystem::path& path, const compression::Bytes& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size()) && ::fdatasync(fd) == 0;
    return ::close(fd) == 0 && ok;
}

void replaceBenchmark(benchmark::State& state, bool inPlace) {
    Fixture f;
    const std::filesystem::path target = f.dir / "unnamed_1964.bin";
    const std::filesystem::path floorFile = f.dir / "floor.bin";
    if (!plainSyncedWrite(target, f.game) || !plainSyncedWrite(floorFile, f.game) ||
        (inPlace && ::link(target.c_str(), (f.dir / "second-name.bin").c_str()) != 0)) {
        state.SkipWithError("cannot set up the files");
        return;
    }
    storage::FileIdentity known = storage::identityOf(f.game);
    double ours = 0, floor = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        if (!plainSyncedWrite(floorFile, f.game))
            state.SkipWithError("the floor failed");
        const auto t1 = Clock::now();
        storage::ReplaceOptions options;
        options.expected = known;
        options.identifyWritten = true;
        const storage::ReplaceResult result = storage::replaceFile(target, f.game, options);
        const auto t2 = Clock::now();
        if (!result.outcome.ok()) {
            state.SkipWithError(result.outcome.describe().c_str());
            return;
        }
        known = result.written;
        floor += seconds(t1 - t0);
        ours += seconds(t2 - t1);
        state.SetIterationTime(seconds(t2 - t1));
    }
    const double ratio = ours / floor;
    const double targetRatio = inPlace ? inPlaceTarget : renameTarget;
    state.counters["floor_ms"] = floor * 1e3 / double(state.iterations());
    state.counters["ratio"] = ratio;
    char label[96];
    std::snprintf(label, sizeof label, "%.2fx of a plain write and fdatasync (target <= %.0fx): %s", ratio,
                  targetRatio, ratio <= targetRatio ? "ok" : "OVER");
    state.SetLabel(label);
}

void BM_ReplaceByRename(benchmark::State& state) {
    replaceBenchmark(state, false);
}
void BM_ReplaceInPlace(benchmark::State& state) {
    replaceBenchmark(state, true);
}

} // namespace

BENCHMARK(BM_ReplaceByRename)->UseManualTime()->Iterations(40)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReplaceInPlace)->UseManualTime()->Iterations(40)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
