// Opening and saving a game file through the pipeline with the real zlibtool,
// step by step: each benchmark runs the whole command and reports the time of
// one step, taken from the moments the pipeline reaches the platform layer.
// The balls have varied names, which compress about as badly as real ones can.

#include "ball_table/Baza.h"
#include "common/ToolFolder.h"
#include "pipeline/GameFilePipeline.h"
#include "platform/Platform.h"

#include <QCoreApplication>
#include <QFile>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <memory>

namespace {

using Clock = std::chrono::steady_clock;

struct Stamps {
    Clock::time_point start;
    Clock::time_point dialogAnswered;
    std::vector<std::pair<Clock::time_point, Clock::time_point>> runs;
    Clock::time_point messageShown;
    Clock::time_point end;
};

class StampingDialog final : public OpenFileDialog {
public:
    explicit StampingDialog(Stamps& stamps) : m_stamps(stamps) {}
    QString getOpenFileName(QWidget*, const QString&, const QString&,
                            const std::vector<std::pair<QString, QString>>&) override {
        m_stamps.dialogAnswered = Clock::now();
        return path;
    }
    QString path;

private:
    Stamps& m_stamps;
};

class StampingRunner final : public ProcessRunner {
public:
    explicit StampingRunner(Stamps& stamps) : m_stamps(stamps) {}
    ProcessOutcome runAndWait(const QString& program, const QStringList& arguments) override {
        const auto started = Clock::now();
        ProcessOutcome outcome = defaultPlatform().processes->runAndWait(program, arguments);
        m_stamps.runs.emplace_back(started, Clock::now());
        return outcome;
    }

private:
    Stamps& m_stamps;
};

class StampingMessages final : public MessageBoxes {
public:
    explicit StampingMessages(Stamps& stamps) : m_stamps(stamps) {}
    void show(QWidget*, const QString& text, const QString&, MessageIcon) override {
        m_stamps.messageShown = Clock::now();
        lastText = text;
    }
    bool ask(QWidget*, const QString& text, const QString&) override {
        lastText = text;
        return false;
    }
    QString lastText;

private:
    Stamps& m_stamps;
};

// An application folder with one game file of the given size, and a pipeline
// whose platform stamps every step.
struct Setup {
    explicit Setup(int balls) : dialog(stamps), runner(stamps), messages(stamps) {
        gameFile = tools.scratch() + QStringLiteral("unnamed_1964.bin");
        ready = tools.isValid() && tools.makeGameFile(gameFile, ballFileBytes(variedBalls(balls)));
        dialog.path = gameFile;
    }
    ToolFolder tools;
    QString gameFile;
    bool ready = false;
    Stamps stamps;
    StampingDialog dialog;
    StampingRunner runner;
    StampingMessages messages;
    Platform platform{&messages, &dialog, &runner, nullptr, nullptr, nullptr};
    Baza table;
    GameFilePipeline pipeline{table, platform, nullptr, tools.appPath()};
};

double seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

enum class OpenStep { Total, Copy, Tool, Load };
enum class SaveStep { Total, Write, Compress, Replace };

void openBenchmark(benchmark::State& state, int balls, OpenStep step) {
    Setup setup(balls);
    if (!setup.ready) {
        state.SkipWithError("zlibtool or its folder is missing");
        return;
    }
    for (auto _ : state) {
        Stamps& s = setup.stamps;
        s = Stamps{};
        s.start = Clock::now();
        const auto outcome = setup.pipeline.open();
        s.end = Clock::now();
        if (outcome != GameFilePipeline::OpenOutcome::Loaded || s.runs.size() != 1 ||
            setup.table.Count() != balls) {
            state.SkipWithError("the open failed");
            return;
        }
        switch (step) {
        case OpenStep::Total:
            state.SetIterationTime(seconds(s.dialogAnswered, s.end));
            break;
        case OpenStep::Copy:
            state.SetIterationTime(seconds(s.dialogAnswered, s.runs[0].first));
            break;
        case OpenStep::Tool:
            state.SetIterationTime(seconds(s.runs[0].first, s.runs[0].second));
            break;
        case OpenStep::Load:
            state.SetIterationTime(seconds(s.runs[0].second, s.end));
            break;
        }
    }
}

void saveBenchmark(benchmark::State& state, int balls, SaveStep step) {
    Setup setup(balls);
    if (!setup.ready || setup.pipeline.open() != GameFilePipeline::OpenOutcome::Loaded) {
        state.SkipWithError("zlibtool or its folder is missing");
        return;
    }
    for (auto _ : state) {
        Stamps& s = setup.stamps;
        s = Stamps{};
        setup.table.Zmien_Dane(0, 1, QStringLiteral("Saved"), 1, 1);
        s.start = Clock::now();
        const auto outcome = setup.pipeline.save();
        s.end = Clock::now();
        if (outcome != GameFilePipeline::SaveOutcome::Saved || s.runs.size() != 1) {
            state.SkipWithError("the save failed");
            return;
        }
        switch (step) {
        case SaveStep::Total:
            state.SetIterationTime(seconds(s.start, s.end));
            break;
        case SaveStep::Write:
            state.SetIterationTime(seconds(s.start, s.runs[0].first));
            break;
        case SaveStep::Compress:
            state.SetIterationTime(seconds(s.runs[0].first, s.runs[0].second));
            break;
        case SaveStep::Replace:
            state.SetIterationTime(seconds(s.runs[0].second, s.messageShown));
            break;
        }
    }
}

// A file far larger than any game file (sparse, so it costs no disk) is
// refused without being copied or read.
void oversizedOpenBenchmark(benchmark::State& state) {
    Setup setup(1);
    QFile huge(setup.tools.scratch() + QStringLiteral("movie.bin"));
    if (!setup.ready || !huge.open(QIODevice::WriteOnly) || !huge.resize(qint64(300) * 1000 * 1000)) {
        state.SkipWithError("the application folder or the large file could not be made");
        return;
    }
    huge.close();
    setup.dialog.path = huge.fileName();
    for (auto _ : state) {
        Stamps& s = setup.stamps;
        s = Stamps{};
        const auto outcome = setup.pipeline.open();
        s.end = Clock::now();
        if (outcome != GameFilePipeline::OpenOutcome::Refused || !s.runs.empty()) {
            state.SkipWithError("the file was not refused at once");
            return;
        }
        state.SetIterationTime(seconds(s.dialogAnswered, s.end));
    }
}

void registerAll() {
    benchmark::RegisterBenchmark("pipeline_open/300MB_not_a_game_file/refused", oversizedOpenBenchmark)
        ->UseManualTime()
        ->Iterations(50)
        ->Unit(benchmark::kMillisecond);
    const std::pair<const char*, OpenStep> openSteps[] = {{"total", OpenStep::Total},
                                                          {"1_copy", OpenStep::Copy},
                                                          {"2_tool", OpenStep::Tool},
                                                          {"3_load", OpenStep::Load}};
    for (int balls : {40, 32767}) {
        for (const auto& [name, step] : openSteps) {
            const std::string label = "pipeline_open/" + std::to_string(balls) + "_balls/" + name;
            benchmark::RegisterBenchmark(label.c_str(), openBenchmark, balls, step)
                ->UseManualTime()
                ->Iterations(balls < 1000 ? 200 : 20)
                ->Unit(benchmark::kMillisecond);
        }
    }
    const std::pair<const char*, SaveStep> saveSteps[] = {{"total", SaveStep::Total},
                                                          {"1_write", SaveStep::Write},
                                                          {"2_compress", SaveStep::Compress},
                                                          {"3_check_replace_clear", SaveStep::Replace}};
    for (const auto& [name, step] : saveSteps) {
        const std::string label = std::string("pipeline_save/32767_balls/") + name;
        benchmark::RegisterBenchmark(label.c_str(), saveBenchmark, 32767, step)
            ->UseManualTime()
            ->Iterations(15)
            ->Unit(benchmark::kMillisecond);
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // Run from the build folder by bench/run; the tool sits in its zlib/.
    if (qEnvironmentVariableIsEmpty("VESTREL_BUILD_DIR"))
        qputenv("VESTREL_BUILD_DIR",
                (QCoreApplication::applicationDirPath() + QStringLiteral("/..")).toLocal8Bit());
    benchmark::Initialize(&argc, argv);
    registerAll();
    std::fprintf(
        stderr,
        "targets (median): open 40 balls <= 8 ms and 32767 balls <= 60 ms, both with the window's list "
        "fill (measured by the window's benchmark); save 32767 balls <= 80 ms; a 300 MB file refused <= 5 "
        "ms\n");
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
