// Kills save_driver with SIGKILL at many moments of a save of a large table
// and checks after each kill that the game file is byte for byte either the
// old file or the complete new one.
//
//   kill_runner <build folder> [runs]
//
// Half of the kills are spread evenly over the whole save; the other half are
// aimed at each of its steps in turn (writing the table, the compress run, and
// checking and replacing the game file), using the step times of calibration
// saves. The step each kill really struck is read from the driver's step lines.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int ballsInTable = 32767;
// How the temporary file of Vestrel's replace of a game file begins.
constexpr const char* ownTemporaryPrefix = ".vt";

struct Step {
    std::string name;
    long long ns = 0;
};

struct RunResult {
    std::vector<Step> steps;
    bool finished = false; // ended by itself, not by the kill
    int exitCode = -1;
};

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool writeAll(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    return bool(out.flush());
}

std::vector<Step> parseSteps(const std::string& text) {
    std::vector<Step> steps;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        Step step;
        if (fields >> step.name >> step.ns)
            steps.push_back(step);
    }
    return steps;
}

long long stepTime(const std::vector<Step>& steps, const std::string& name, int occurrence = 0) {
    for (const Step& step : steps)
        if (step.name == name && occurrence-- == 0)
            return step.ns;
    return -1;
}

// When to kill: delayNs after the driver printed its occurrence-th (from 0)
// step line of that name. A negative delay lets it run to the end.
struct KillPlan {
    std::string anchor = "saving";
    int occurrence = 0;
    long long delayNs = -1;
};

// Runs the driver in a process group of its own and kills the group (the
// driver and a tool it may be running) as the plan says.
std::optional<RunResult> runDriver(const fs::path& driver, const std::vector<std::string>& arguments,
                                   const KillPlan& plan = {}) {
    int output[2];
    if (::pipe(output) != 0)
        return std::nullopt;
    const pid_t pid = ::fork();
    if (pid < 0)
        return std::nullopt;
    if (pid == 0) {
        ::setpgid(0, 0);
        ::dup2(output[1], STDOUT_FILENO);
        const int devNull = ::open("/dev/null", O_WRONLY);
        ::dup2(devNull, STDERR_FILENO);
        ::close(output[0]);
        ::close(output[1]);
        std::vector<char*> argv;
        std::string program = driver.string();
        argv.push_back(program.data());
        std::vector<std::string> copies = arguments;
        for (std::string& argument : copies)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::setpgid(pid, pid);
    ::close(output[1]);

    std::string text;
    char buffer[4096];
    bool killed = false;
    while (true) {
        const ssize_t n = ::read(output[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        text.append(buffer, std::size_t(n));
        if (plan.delayNs >= 0 && !killed) {
            const long long anchor = stepTime(parseSteps(text), plan.anchor, plan.occurrence);
            if (anchor >= 0) {
                const long long target = anchor + plan.delayNs;
                const timespec at{time_t(target / 1000000000), long(target % 1000000000)};
                while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
                }
                ::kill(-pid, SIGKILL);
                killed = true;
            }
        }
    }
    ::close(output[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (killed)
        ::kill(-pid, SIGKILL); // a tool that outlived its parent must not write on
    RunResult result;
    result.steps = parseSteps(text);
    result.finished = WIFEXITED(status);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

// The step of the save a kill struck, from the last step line printed.
std::string struckStep(const RunResult& run) {
    if (run.finished)
        return "after the save";
    int toolRuns = 0;
    std::string last;
    for (const Step& step : run.steps) {
        if (step.name == "tool-start")
            ++toolRuns;
        if (step.name == "saving" || step.name == "tool-start" || step.name == "tool-end" ||
            step.name == "message" || step.name == "done")
            last = step.name;
    }
    if (last == "saving")
        return "1 writing the table";
    if (last == "tool-start" && toolRuns == 2)
        return "2 compress run";
    if (last == "tool-end" && toolRuns == 2)
        return "3 checking and replacing the game file";
    if (last == "message" || last == "done")
        return "5 emptying the working folder, message";
    return "0 before the save";
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: kill_runner <build folder> [runs]\n");
        return 2;
    }
    const fs::path build = fs::absolute(argv[1]);
    const int runs = argc > 2 ? std::max(8, std::atoi(argv[2])) : 240;
    const fs::path driver = build / "tests" / "save_driver";
    const fs::path tool = build / "zlib" / "zlibtool";
    if (!fs::exists(driver) || !fs::exists(tool)) {
        std::fprintf(stderr, "kill_runner: %s or %s is missing; build them first\n", driver.c_str(),
                     tool.c_str());
        return 2;
    }

    char pattern[] = "/tmp/vestrel-kill-XXXXXX";
    if (!::mkdtemp(pattern))
        return 2;
    const fs::path work = pattern;
    const fs::path app = work / "app";
    const fs::path games = work / "games";
    const fs::path game = games / "unnamed_1964.bin";
    fs::create_directories(app / "zlib" / "temp");
    fs::create_directories(games);
    fs::create_symlink(tool, app / "zlib" / "zlibtool");
    const std::string appPath = app.string() + "/";

    const auto fail = [&](const char* what) {
        std::fprintf(stderr, "kill_runner: %s (files kept in %s)\n", what, work.c_str());
        return 1;
    };

    const auto made = runDriver(
        driver, {"make", game.string(), std::to_string(ballsInTable), (app / "zlib" / "zlibtool").string()});
    if (!made || made->exitCode != 0)
        return fail("could not make the game file");
    const std::string oldBytes = readAll(game);

    // Calibration: complete saves give the new file and the time of each step.
    std::string newBytes;
    std::vector<std::array<long long, 4>> timings;
    for (int i = 0; i < 3; ++i) {
        writeAll(game, oldBytes);
        const auto run = runDriver(driver, {"save", appPath, game.string()});
        if (!run || run->exitCode != 0)
            return fail("a save without a kill failed");
        const std::string bytes = readAll(game);
        if (bytes == oldBytes || (!newBytes.empty() && bytes != newBytes))
            return fail("complete saves do not give one new file");
        newBytes = bytes;
        const auto& s = run->steps;
        const long long saving = stepTime(s, "saving");
        timings.push_back({0, stepTime(s, "tool-start", 1) - saving, stepTime(s, "tool-end", 1) - saving,
                           stepTime(s, "message") - saving});
    }
    std::array<long long, 4> bounds{};
    for (std::size_t k = 0; k < bounds.size(); ++k) {
        std::vector<long long> values;
        for (const auto& t : timings)
            values.push_back(t[k]);
        std::sort(values.begin(), values.end());
        bounds[k] = values[1];
    }
    // Aimed kills start from the step line that opens their step (the tool's
    // runs are counted from the one of the open), so that a slow machine
    // cannot push them out of it.
    const std::array<std::pair<KillPlan, long long>, 3> aimed{
        {{{"saving", 0, 0}, bounds[1]},
         {{"tool-start", 1, 0}, bounds[2] - bounds[1]},
         {{"tool-end", 1, 0}, bounds[3] - bounds[2] + 500000}}};
    const long long whole = bounds[3] + bounds[3] / 10;

    std::mt19937_64 random(20261207);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::map<std::string, int> struck;
    std::map<std::string, std::pair<int, int>> oldAndNew; // per step struck
    int bad = 0, old = 0, fresh = 0, strayFiles = 0, ownTemporaryLeft = 0;
    const int spread = runs / 2;
    for (int i = 0; i < runs; ++i) {
        KillPlan plan;
        if (i < spread) {
            plan.delayNs = (long long)((i + unit(random)) / spread * double(whole));
        } else {
            const auto& [anchor, length] = aimed[std::size_t(i - spread) % aimed.size()];
            plan = anchor;
            plan.delayNs = (long long)(unit(random) * double(std::max(1LL, length)));
        }
        const long long delay = plan.delayNs;
        if (!writeAll(game, oldBytes))
            return fail("could not restore the game file");
        const auto run = runDriver(driver, {"save", appPath, game.string()}, plan);
        if (!run)
            return fail("could not start the driver");
        if (stepTime(run->steps, "saving") < 0)
            return fail("the driver did not reach the save");
        ++struck[struckStep(*run)];
        if (std::getenv("KILL_RUNNER_TRACE")) {
            const long long saving = stepTime(run->steps, "saving");
            std::fprintf(stderr, "run %d delay %.2f ms:", i, double(delay) / 1e6);
            for (const Step& step : run->steps)
                std::fprintf(stderr, " %s@%.2f", step.name.c_str(), double(step.ns - saving) / 1e6);
            std::fprintf(stderr, " -> %s\n", struckStep(*run).c_str());
        }

        const std::string bytes = readAll(game);
        if (bytes == oldBytes) {
            ++old;
            ++oldAndNew[struckStep(*run)].first;
        } else if (bytes == newBytes) {
            ++fresh;
            ++oldAndNew[struckStep(*run)].second;
        } else {
            ++bad;
            const fs::path kept = work / ("bad-" + std::to_string(i) + ".bin");
            fs::copy_file(game, kept, fs::copy_options::overwrite_existing);
            std::fprintf(stderr,
                         "run %d (kill %.3f ms after %s, %s): game file is neither old nor new, kept as %s\n",
                         i, double(delay) / 1e6, plan.anchor.c_str(), struckStep(*run).c_str(), kept.c_str());
        }
        // An unfinished replacement may leave its temporary file beside the
        // game file. Vestrel's own is left for the next save to remove;
        // anything else is counted and removed so that runs stay independent.
        for (const auto& entry : fs::directory_iterator(games)) {
            if (entry.path() == game)
                continue;
            if (entry.path().filename().string().starts_with(ownTemporaryPrefix)) {
                ++ownTemporaryLeft;
            } else {
                ++strayFiles;
                fs::remove(entry.path());
            }
        }
    }

    // One save that is not killed removes whatever temporary file of its own
    // the kills left.
    writeAll(game, oldBytes);
    const auto last = runDriver(driver, {"save", appPath, game.string()});
    if (!last || last->exitCode != 0 || readAll(game) != newBytes)
        return fail("the save after the kills failed");
    int ownTemporaryAfter = 0;
    for (const auto& entry : fs::directory_iterator(games))
        ownTemporaryAfter += entry.path() != game;

    std::printf("kill test: %d runs, each killed with SIGKILL during a save of %d balls (%.1f ms long)\n",
                runs, ballsInTable, double(bounds[3]) / 1e6);
    std::printf("  %-45s %5s %5s %5s\n", "step struck", "runs", "old", "new");
    for (const auto& [stepName, count] : struck)
        std::printf("  %-45s %5d %5d %5d\n", stepName.c_str(), count, oldAndNew[stepName].first,
                    oldAndNew[stepName].second);
    std::printf("  game file afterwards: old %d, new %d, neither (bad) %d\n", old, fresh, bad);
    std::printf("  runs that left Vestrel's temporary file beside the game file: %d\n", ownTemporaryLeft);
    std::printf("  other files left beside the game file: %d\n", strayFiles);
    std::printf("  files beside the game file after one more save: %d\n", ownTemporaryAfter);

    bool covered = true;
    for (const char* needed :
         {"1 writing the table", "2 compress run", "3 checking and replacing the game file"}) {
        if (struck[needed] == 0) {
            std::printf("  no kill struck \"%s\"\n", needed);
            covered = false;
        }
    }
    if (bad == 0)
        fs::remove_all(work);
    if (bad != 0 || ownTemporaryAfter != 0 || strayFiles != 0)
        return 1;
    return covered ? 0 : 1;
}
