// The vestrel-table program's export and import of a full table (32,767
// balls) in a compressed game file, run as a user runs it, against the floor
// of the same work measured in the same run: starting a bare program, plus
// the zlib work, plus the write. Export writes its output durably, so its
// floor is reading and decompressing the game file and writing the result
// with fdatasync; import's is compressing the table and writing it with
// fdatasync. Target: each within 2x. Both sides run alternately in the same
// iterations. On a busy machine the wall-clock figure also counts waiting for
// a CPU, so the processor time of both sides is compared too (`cpu_ratio`).

#include "ball_table/BallFile.h"
#include "bench/BenchClocks.h"
#include "bench/FullBallTable.h"
#include "pipeline/compression/ZlibStream.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr double targetRatio = 2.0;
using namespace bench_clocks;

// The programs sit in <build>/ and <build>/bench/, beside this benchmark.
std::string builtProgram(const char* relative) {
    const std::filesystem::path bench = std::filesystem::canonical("/proc/self/exe").parent_path();
    return (bench / relative).lexically_normal().string();
}

// Runs a program with its output thrown away, as posix_spawn starts it for
// both sides alike; true when it exits with 0.
bool runProgram(const std::string& program, const std::vector<std::string>& args) {
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int started = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    return started == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool writeSynced(const QString& path, const compression::Bytes& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered) &&
           file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size())) ==
               qint64(bytes.size()) &&
           ::fdatasync(file.handle()) == 0;
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly | QIODevice::Unbuffered) ? file.readAll() : QByteArray();
}

struct Fixture {
    QTemporaryDir dir;
    std::string tool = builtProgram("../vestrel-table");
    std::string bare = builtProgram("bare_program");
    QByteArray table;
    QByteArray game;
    QString gamePath = dir.filePath("unnamed_1964.bin");
    QString csvPath = dir.filePath("balls.csv");
    bool ready = false;
    Fixture() {
        table = *BallFile::encode(fullBallTable());
        const auto packed = compression::compress(
            {reinterpret_cast<const unsigned char*>(table.constData()), std::size_t(table.size())});
        game = QByteArray(reinterpret_cast<const char*>(packed.data.data()), qsizetype(packed.data.size()));
        QFile file(gamePath);
        ready = file.open(QIODevice::WriteOnly) && file.write(game) == game.size() && (file.close(), true) &&
                runProgram(tool, {"export", gamePath.toStdString(), "-o", csvPath.toStdString()});
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

// `work` is the floor's zlib step and write; `ours` runs the program.
template <typename Work, typename Ours>
void measure(benchmark::State& state, const Work& work, const Ours& ours, const char* floorText) {
    Fixture& f = fixture();
    if (!f.ready) {
        state.SkipWithError("vestrel-table or the bare program is not built, or the fixture failed");
        return;
    }
    double bare = 0, zlibAndWrite = 0, program = 0;
    double floorCpu = 0, programCpu = 0;
    for (auto _ : state) {
        const double children0 = childCpuSeconds();
        const auto t0 = Clock::now();
        if (!runProgram(f.bare, {}))
            state.SkipWithError("the bare program failed");
        const auto t1 = Clock::now();
        const double children1 = childCpuSeconds();
        const double cpu1 = threadCpuSeconds();
        if (!work())
            state.SkipWithError("the floor's work failed");
        const auto t2 = Clock::now();
        const double cpu2 = threadCpuSeconds();
        if (!ours())
            state.SkipWithError("vestrel-table failed");
        const auto t3 = Clock::now();
        bare += seconds(t1 - t0);
        zlibAndWrite += seconds(t2 - t1);
        program += seconds(t3 - t2);
        floorCpu += (children1 - children0) + (cpu2 - cpu1);
        programCpu += childCpuSeconds() - children1;
        state.SetIterationTime(seconds(t3 - t2));
    }
    const double n = double(state.iterations());
    const double floor = bare + zlibAndWrite;
    const double ratio = program / floor;
    state.counters["bare_start_ms"] = bare * 1e3 / n;
    state.counters["floor_ms"] = floor * 1e3 / n;
    state.counters["ratio"] = ratio;
    state.counters["cpu_ratio"] = programCpu / floorCpu;
    char label[128];
    std::snprintf(label, sizeof label, "%.2fx of a bare start, %s (target <= %.0fx): %s", ratio, floorText,
                  targetRatio, ratio <= targetRatio ? "ok" : "OVER");
    state.SetLabel(label);
}

void BM_TableExport(benchmark::State& state) {
    Fixture& f = fixture();
    const QString out = f.dir.filePath("export.csv");
    const QString floorOut = f.dir.filePath("floor.unzlib");
    measure(
        state,
        [&] {
            const QByteArray packed = readFile(f.gamePath);
            const compression::Result table = compression::decompress(
                {reinterpret_cast<const unsigned char*>(packed.constData()), std::size_t(packed.size())});
            return table.ok() && writeSynced(floorOut, table.data);
        },
        [&] {
            return runProgram(f.tool, {"export", f.gamePath.toStdString(), "-o", out.toStdString()});
        },
        "zlib decompression and a synced write");
    if (readFile(out) != readFile(f.csvPath))
        state.SkipWithError("the export differs from the first one");
}

void BM_TableImport(benchmark::State& state) {
    Fixture& f = fixture();
    const QString floorOut = f.dir.filePath("floor.bin");
    measure(
        state,
        [&] {
            const compression::Result packed = compression::compress(
                {reinterpret_cast<const unsigned char*>(f.table.constData()), std::size_t(f.table.size())});
            return packed.ok() && writeSynced(floorOut, packed.data);
        },
        [&] {
            return runProgram(f.tool,
                              {"import", f.gamePath.toStdString(), f.csvPath.toStdString(), "--replace"});
        },
        "zlib compression and a synced write");
    if (readFile(f.gamePath) != f.game)
        state.SkipWithError("the import changed the table");
}

} // namespace

BENCHMARK(BM_TableExport)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TableImport)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
