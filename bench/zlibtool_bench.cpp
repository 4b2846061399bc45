// A round trip of a full ball table (32,767 records) through the zlibtool
// program, compress then decompress, process starts included, against
// zlib's compress and uncompress on the same bytes in this process.
// Target: within 1.5x. Both run alternately in the same iterations.
// On a busy machine the wall-clock figure also counts waiting for a CPU, so
// the processor time of both sides is reported too (`cpu_ratio`).

#include "ball_table/BallFile.h"
#include "bench/BenchClocks.h"
#include "bench/FullBallTable.h"

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include <sys/resource.h>
#include <time.h>

namespace {

constexpr int recordCount = fullTableSize;
constexpr double targetRatio = 1.5;

using namespace bench_clocks;

QByteArray fullTable() {
    return *BallFile::encode(fullBallTable());
}

// The program sits in <build>/zlib/, this benchmark in <build>/bench/.
QString toolPath() {
    const std::filesystem::path self = std::filesystem::canonical("/proc/self/exe");
    return QString::fromStdString((self.parent_path().parent_path() / "zlib" / "zlibtool").string());
}

bool runTool(const QStringList& args) {
    QProcess process;
    process.start(toolPath(), args);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void BM_ZlibtoolRoundTrip(benchmark::State& state) {
    QTemporaryDir dir;
    const QByteArray table = fullTable();
    const QString source = dir.filePath("full.unzlib");
    {
        QFile file(source);
        if (!file.open(QIODevice::WriteOnly) || file.write(table) != table.size()) {
            state.SkipWithError("cannot write the table");
            return;
        }
    }
    if (!QFile::exists(toolPath())) {
        state.SkipWithError("zlibtool is not built");
        return;
    }
    double ours = 0;
    double plain = 0;
    double plainCpu = 0;
    double toolCpu = 0;
    for (auto _ : state) {
        const double cpu0 = threadCpuSeconds();
        auto t0 = Clock::now();
        {
            std::vector<Bytef> packed(compressBound(uLong(table.size())));
            uLongf packedSize = uLongf(packed.size());
            std::vector<Bytef> unpacked(std::size_t(table.size()));
            uLongf unpackedSize = uLongf(unpacked.size());
            if (compress(packed.data(), &packedSize, reinterpret_cast<const Bytef*>(table.constData()),
                         uLong(table.size())) != Z_OK ||
                uncompress(unpacked.data(), &unpackedSize, packed.data(), packedSize) != Z_OK)
                state.SkipWithError("zlib failed");
            benchmark::DoNotOptimize(unpacked.data());
        }
        auto t1 = Clock::now();
        const double cpu1 = threadCpuSeconds();
        const double children0 = childCpuSeconds();
        if (!runTool({source}) || !runTool({source + ".zlib", "-d"}))
            state.SkipWithError("zlibtool failed");
        auto t2 = Clock::now();
        plainCpu += cpu1 - cpu0;
        toolCpu += childCpuSeconds() - children0;
        plain += seconds(t1 - t0);
        ours += seconds(t2 - t1);
        state.SetIterationTime(seconds(t2 - t1));
    }
    if (readFile(source + ".zlib.unzlib") != table)
        state.SkipWithError("the round trip changed the table");
    const double ratio = ours / plain;
    state.counters["in_process_ms"] = plain * 1e3 / double(state.iterations());
    state.counters["ratio"] = ratio;
    state.counters["cpu_ratio"] = toolCpu / plainCpu;
    char label[96];
    std::snprintf(label, sizeof label, "%.2fx of in-process zlib (target <= %.1fx): %s", ratio, targetRatio,
                  ratio <= targetRatio ? "ok" : "OVER");
    state.SetLabel(label);
}

} // namespace

BENCHMARK(BM_ZlibtoolRoundTrip)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
