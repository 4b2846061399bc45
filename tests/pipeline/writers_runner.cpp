// Two real writers of one game file at once: the window's Open and Save
// (save_driver, with the real zlibtool) and vestrel-table, in the pairs
// window + vestrel-table, vestrel-table + vestrel-table and window + window.
// Their writes are slowed by the slow_io library (LD_PRELOAD), and in most
// rounds one of them is killed with SIGKILL at a random moment. Some rounds
// give the game file a second hard link, so that it is written in place with
// an undo copy beside it (half of their kills strike that write, and take
// both writers, so that no writer undoes it before the next read); some
// refuse unnamed temporary files, so that named ones are made and left
// behind by the kills. The two windows share one installation, and so its
// working folder.
//
// After every round the game file holds the old table or one writer's
// complete table (a writer may have started from the other's), and every
// reported outcome is true:
//   - a writer that reported failure never had its table in the file;
//   - a writer that reported success has its table in the file, unless the
//     other, a window whose user was asked and said yes, replaced it;
//   - a writer that said the file changed while it was editing (or a window
//     that asked, and was told no) saw the other's table, which stays;
//   - no writer fails for any other reason than these or a busy file.
// An interrupted in-place write leaves an undo copy: the next read puts the
// old table back and says so. After the rounds, one ordinary save leaves
// nothing beside the game file and nothing in the working folder.
//
//   writers_runner <build folder> rounds <n>   n rounds of each pair
//   writers_runner <build folder> overlap [n]  set against import, and n reads
//
// The second runs vestrel-table set and import so that both have read the
// file before either writes: one of them must refuse with "changed while
// being edited", and the file holds the other's complete table. Then it runs
// vestrel-table list while set writes the file in place: it lists the old
// table or the new one, never a file written halfway.

#ifndef __linux__
#include <cstdio>

int main() {
    std::printf(
        "skipped: the writers are slowed by a library loaded with LD_PRELOAD, which only Linux has\n");
    return 77;
}
#else

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int ballsInTable = 1000;
constexpr const char* gameName = "unnamed_1964.bin";
// The longest wait of a slowed write or sync, in microseconds.
constexpr int slowestWait = 15000;

std::string readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Puts `bytes` in place of `path` by a rename, as a new file.
bool restore(const fs::path& path, const std::string& bytes) {
    const fs::path spare = path.parent_path().parent_path() / "restoring.tmp";
    {
        std::ofstream out(spare, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), std::streamsize(bytes.size()));
        if (!out.flush())
            return false;
    }
    std::error_code error;
    fs::rename(spare, path, error);
    return !error;
}

bool contains(const std::string& text, const char* words) {
    return text.find(words) != std::string::npos;
}

struct Ended {
    bool killed = false; // by the runner, before it ended by itself
    int exitCode = -1;
    std::string out, err;
    double ms = 0;
};

// A program in a process group of its own, so that a kill takes the tool it
// runs with it; its output is gathered as it comes.
class Child {
public:
    bool start(const std::vector<std::string>& argv, const std::vector<std::string>& environment) {
        int out[2], err[2];
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
            return false;
        m_started = Clock::now();
        m_pid = ::fork();
        if (m_pid < 0)
            return false;
        if (m_pid == 0) {
            ::setpgid(0, 0);
            ::dup2(out[1], STDOUT_FILENO);
            ::dup2(err[1], STDERR_FILENO);
            for (const std::string& setting : environment)
                ::putenv(const_cast<char*>(setting.c_str()));
            std::vector<char*> pointers;
            for (const std::string& argument : argv)
                pointers.push_back(const_cast<char*>(argument.c_str()));
            pointers.push_back(nullptr);
            ::execv(pointers[0], pointers.data());
            ::_exit(127);
        }
        ::setpgid(m_pid, m_pid);
        ::close(out[1]);
        ::close(err[1]);
        m_fds = {out[0], err[0]};
        return true;
    }

    bool started() const { return m_pid > 0; }
    bool done() const { return m_reaped && m_fds[0] < 0 && m_fds[1] < 0; }
    double msSinceStart() const {
        return std::chrono::duration<double, std::milli>(Clock::now() - m_started).count();
    }

    void kill() {
        if (!m_reaped) {
            ::kill(-m_pid, SIGKILL);
            m_ended.killed = true;
        }
    }

    void addFds(std::vector<pollfd>& fds) const {
        for (const int fd : m_fds)
            if (fd >= 0)
                fds.push_back({fd, POLLIN, 0});
    }

    void readReady() {
        for (std::size_t i = 0; i < m_fds.size(); ++i) {
            if (m_fds[i] < 0)
                continue;
            pollfd one{m_fds[i], POLLIN, 0};
            if (::poll(&one, 1, 0) <= 0)
                continue;
            char buffer[4096];
            const ssize_t n = ::read(m_fds[i], buffer, sizeof buffer);
            if (n > 0) {
                (i == 0 ? m_ended.out : m_ended.err).append(buffer, std::size_t(n));
            } else {
                ::close(m_fds[i]);
                m_fds[i] = -1;
            }
        }
        int status = 0;
        if (!m_reaped && ::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_reaped = true;
            m_ended.ms = msSinceStart();
            if (WIFEXITED(status)) {
                m_ended.killed = false; // it ended before the kill struck
                m_ended.exitCode = WEXITSTATUS(status);
            }
            // A tool it left running must not write on.
            ::kill(-m_pid, SIGKILL);
        }
    }

    const Ended& ended() const { return m_ended; }

private:
    pid_t m_pid = -1;
    std::array<int, 2> m_fds{-1, -1};
    bool m_reaped = false;
    Clock::time_point m_started;
    Ended m_ended;
};

// Which program a round kills, and when: `at` ms after its start, or, when
// `sign` is given, `at` ms after `sign` first holds.
struct Kill {
    int victim = -1; // none; `everyone` for all of them
    double at = 0;
    std::function<bool()> sign;
};
constexpr int everyone = 1000;

// Starts each program with its environment at its time (ms from now), kills
// as told, and waits for all. Empty when one could not be started or they hung.
// A program whose time is negative starts when `startSign` first holds, or
// once the others have ended.
std::optional<std::vector<Ended>> runTogether(const std::vector<std::vector<std::string>>& argv,
                                              const std::vector<std::vector<std::string>>& environments,
                                              const std::vector<double>& startAt, const Kill& kill = {},
                                              const std::function<bool()>& startSign = {}) {
    std::vector<Child> children(argv.size());
    const Clock::time_point begin = Clock::now();
    const auto msSinceBegin = [&] {
        return std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
    };
    bool killed = false;
    std::optional<double> signSeen; // ms since the victim's start
    while (!std::all_of(children.begin(), children.end(), [](const Child& c) { return c.done(); })) {
        double wait = 20;
        for (std::size_t i = 0; i < children.size(); ++i) {
            if (children[i].started())
                continue;
            const bool othersEnded = std::all_of(children.begin(), children.end(), [&](const Child& c) {
                return &c == &children[i] || c.done();
            });
            if (startAt[i] < 0 && !othersEnded && !(startSign && startSign())) {
                wait = 1;
            } else if (msSinceBegin() >= startAt[i]) {
                if (!children[i].start(argv[i], environments[i]))
                    return std::nullopt;
            } else {
                wait = std::min(wait, startAt[i] - msSinceBegin());
            }
        }
        const std::size_t first = kill.victim == everyone ? 0 : std::size_t(kill.victim);
        if (kill.victim >= 0 && !killed && children[first].started()) {
            Child& victim = children[first];
            if (kill.sign && !signSeen && kill.sign())
                signSeen = victim.msSinceStart();
            if (!kill.sign || signSeen) {
                const double left = kill.at + signSeen.value_or(0) - victim.msSinceStart();
                if (left <= 0) {
                    for (std::size_t i = 0; i < children.size(); ++i)
                        if (i == first || kill.victim == everyone)
                            children[i].kill();
                    killed = true;
                } else {
                    wait = std::min(wait, left);
                }
            } else {
                wait = 1; // looking for the sign
            }
        }
        if (msSinceBegin() > 60000) {
            for (Child& child : children)
                child.kill();
            return std::nullopt;
        }
        std::vector<pollfd> fds;
        for (const Child& child : children)
            child.addFds(fds);
        ::poll(fds.data(), fds.size(), std::max(1, int(wait)));
        for (Child& child : children)
            if (child.started())
                child.readReady();
    }
    // A killed program's tool came to this process (see main): it is reaped
    // at once, so that no later run sees its pid alive.
    while (::waitpid(-1, nullptr, WNOHANG) > 0) {
    }
    std::vector<Ended> ended;
    for (const Child& child : children)
        ended.push_back(child.ended());
    return ended;
}

std::optional<Ended> runAlone(const std::vector<std::string>& argv,
                              const std::vector<std::string>& environment = {}) {
    const auto ended = runTogether({argv}, {environment}, {0});
    return ended ? std::optional(ended->front()) : std::nullopt;
}

struct Setup {
    fs::path build, work, app, games, game, links, calibration;
    std::string driver, table, tool, shim;
};

// One writer of a round: the window, saving a renamed ball some
// milliseconds after it opened the file, or a vestrel-table command.
struct Writer {
    std::string name;
    bool window = false;
    std::function<std::vector<std::string>(const Setup&, const fs::path& game, bool answerYes, int thinkMs)>
        argv;
};

Writer window(const char* name, const char* position, const char* ballName) {
    return {name, true, [=](const Setup& s, const fs::path& game, bool yes, int thinkMs) {
                return std::vector<std::string>{
                    s.driver, "edit",   s.app.string() + "/", game.string(),
                    position, ballName, yes ? "yes" : "no",   std::to_string(thinkMs)};
            }};
}

Writer tableRun(const char* name, std::vector<std::string> arguments) {
    return {name, false, [=](const Setup& s, const fs::path& game, bool, int) {
                std::vector<std::string> argv{s.table, arguments[0], game.string()};
                for (std::size_t i = 1; i < arguments.size(); ++i)
                    argv.push_back(arguments[i].starts_with("@") ? (s.work / arguments[i].substr(1)).string()
                                                                 : arguments[i]);
                return argv;
            }};
}

// What a writer's end says.
struct Reported {
    bool killed = false, ok = false, failed = false;
    bool asked = false, answerYes = false;
    bool changed = false; // refused: the file changed while it edited (or the window asked, told no)
    bool busy = false;
    std::string problem; // any other failure, as reported
};

// A program's error output on one line, its folder's name left out.
std::string oneLine(std::string text, const std::string& folder) {
    for (std::size_t at; (at = text.find(folder)) != std::string::npos;)
        text.replace(at, folder.size(), "...");
    std::string line;
    for (const char c : text) {
        if (c != '\n')
            line += c;
        else if (!line.empty() && !line.ends_with(" | "))
            line += " | ";
    }
    while (line.ends_with(" | "))
        line.resize(line.size() - 3);
    return line;
}

Reported reported(const Writer& writer, const Ended& ended, bool answerYes, const std::string& folder) {
    Reported r;
    r.asked = contains(ended.out, "asked ");
    r.answerYes = answerYes;
    if (ended.killed) {
        r.killed = true;
        return r;
    }
    if (ended.exitCode == 0 && (!writer.window || contains(ended.err, "Save File"))) {
        r.ok = true;
        return r;
    }
    r.failed = true;
    if (writer.window && ended.exitCode == 3 && r.asked && !answerYes)
        r.changed = true;
    else if (contains(ended.err, "changed while being edited") ||
             contains(ended.err, "was changed by another program while Vestrel was saving"))
        r.changed = true;
    else if (contains(ended.err, "nother program is saving"))
        r.busy = true;
    else
        r.problem = "exit " + std::to_string(ended.exitCode) + ": " + oneLine(ended.err, folder);
    return r;
}

// The outcomes a round may end in: the old table, one writer's table from
// the old one, or both writers' changes, the later writer having read the
// earlier one's table.
struct Candidate {
    std::string bytes;
    bool hasA = false, hasB = false;
    const char* name = "";
};

class Expectations {
public:
    explicit Expectations(const Setup& setup) : m_setup(setup) {}

    // What `writer` makes of `input` when it runs alone.
    std::optional<std::string> after(const Writer& writer, const std::string& input) {
        const auto key = std::make_pair(writer.name, input);
        if (const auto found = m_known.find(key); found != m_known.end())
            return found->second;
        fs::create_directories(m_setup.calibration);
        const fs::path game = m_setup.calibration / gameName;
        if (!restore(game, input))
            return std::nullopt;
        const auto ended = runAlone(writer.argv(m_setup, game, false, 0), {"LC_ALL=C"});
        if (!ended || ended->exitCode != 0) {
            std::fprintf(stderr, "writers_runner: %s alone failed: %s\n", writer.name.c_str(),
                         ended ? ended->err.c_str() : "did not run");
            return std::nullopt;
        }
        m_durations[writer.name] = ended->ms;
        return m_known[key] = readAll(game);
    }

    std::optional<std::vector<Candidate>> candidates(const Writer& a, const Writer& b,
                                                     const std::string& old) {
        const auto ea = after(a, old), eb = after(b, old);
        if (!ea || !eb)
            return std::nullopt;
        const auto eab = after(b, *ea), eba = after(a, *eb);
        if (!eab || !eba)
            return std::nullopt;
        std::vector<Candidate> list{{old, false, false, "old"},
                                    {*ea, true, false, "A's"},
                                    {*eb, false, true, "B's"},
                                    {*eab, true, true, "A's then B's"},
                                    {*eba, true, true, "B's then A's"}};
        // Each outcome must tell which changes it holds.
        for (const Candidate& one : list)
            for (const Candidate& other : list)
                if (one.bytes == other.bytes && (one.hasA != other.hasA || one.hasB != other.hasB)) {
                    std::fprintf(stderr, "writers_runner: %s and %s cannot be told apart\n", a.name.c_str(),
                                 b.name.c_str());
                    return std::nullopt;
                }
        return list;
    }

    double duration(const std::string& name) const {
        const auto found = m_durations.find(name);
        return found == m_durations.end() ? 100 : found->second;
    }
    void noteDuration(const std::string& name, double ms) {
        double& average = m_durations[name];
        average = average * 0.8 + ms * 0.2;
    }

private:
    const Setup& m_setup;
    std::map<std::pair<std::string, std::string>, std::string> m_known;
    std::map<std::string, double> m_durations;
};

// The files beside the game file: Vestrel's temporary files, an undo copy,
// and anything else.
struct Beside {
    int temporaries = 0;
    bool undo = false;
    std::vector<std::string> others;
};

Beside besideGame(const Setup& setup) {
    Beside beside;
    for (const auto& entry : fs::directory_iterator(setup.games)) {
        const std::string name = entry.path().filename().string();
        if (name == gameName)
            continue;
        if (name.starts_with(".vt") && name.ends_with(".tmp"))
            ++beside.temporaries;
        else if (name.starts_with(".vestrel-undo-"))
            beside.undo = true;
        else
            beside.others.push_back(name);
    }
    return beside;
}

struct Tally {
    int rounds = 0, kills = 0, inPlace = 0, namedTemporaries = 0, undoLeft = 0, temporariesLeft = 0;
    std::array<int, 2> recoveries{};     // by Open, by vestrel-table
    std::map<std::string, int> outcomes; // "A outcome / B outcome -> file"
};

std::string outcomeWord(const Reported& r) {
    if (r.killed)
        return "killed";
    if (r.ok)
        return r.asked ? "asked, yes, saved" : "saved";
    if (r.changed)
        return r.asked && !r.answerYes ? "asked, no" : "refused: changed";
    if (r.busy)
        return "refused: busy";
    return "failed";
}

class Runner {
public:
    Runner(Setup setup, std::uint64_t seed) : m_setup(std::move(setup)), m_expect(m_setup), m_random(seed) {}

    bool prepare() {
        fs::create_directories(m_setup.app / "zlib" / "temp");
        fs::create_directories(m_setup.games);
        fs::create_directories(m_setup.links);
        fs::create_symlink(m_setup.tool, m_setup.app / "zlib" / "zlibtool");
        const fs::path made = m_setup.work / gameName;
        const auto ended = runAlone({m_setup.driver, "make", made.string(), std::to_string(ballsInTable),
                                     (m_setup.app / "zlib" / "zlibtool").string()});
        if (!ended || ended->exitCode != 0)
            return false;
        m_old = readAll(made);
        fs::remove(made);
        std::ofstream(m_setup.work / "rows-a.csv")
            << "position,id,producer,mode,pole,name\n,1101,5,1,0,Imported A\n";
        std::ofstream(m_setup.work / "rows-b.csv")
            << "position,id,producer,mode,pole,name\n,1201,5,1,0,Imported B1\n,1202,7,2,0,Imported B2\n";
        return !m_old.empty();
    }

    // One round; false when a fault was found (it is reported).
    bool round(const std::string& pair, const Writer& a, const Writer& b, Tally& tally) {
        const auto candidates = m_expect.candidates(a, b, m_old);
        if (!candidates)
            return fault(pair, "the expected outcomes could not be made");
        std::uniform_real_distribution<double> unit(0, 1);
        const bool hardLink = unit(m_random) < 0.35;
        const bool noUnnamed = unit(m_random) < 0.35;
        const int victim = unit(m_random) < 0.75 ? int(unit(m_random) * 2) : -1;
        const std::array<bool, 2> yes{a.window && unit(m_random) < 0.35, b.window && unit(m_random) < 0.35};
        // Either may start first, the later one anywhere in most of the
        // earlier one's run.
        const double shorter = std::min(m_expect.duration(a.name), m_expect.duration(b.name));
        const double longer = std::max(m_expect.duration(a.name), m_expect.duration(b.name));
        const double gap = (unit(m_random) * 2 - 1) * 0.8 * longer;
        // A window's user takes a moment between Open and Save, in which the
        // other may save.
        const int think = unit(m_random) < 0.5 ? int(unit(m_random) * 0.5 * shorter) : 0;
        // Half of the kills strike the end of a run, where the file is
        // replaced. In place, half strike the write itself, from the moment
        // its undo copy appears, and both writers: the other would undo the
        // interrupted write before its own, and the next read is to be seen.
        Kill kill{victim, 0, {}};
        const double length = m_expect.duration(victim == 0 ? a.name : b.name);
        if (victim >= 0 && hardLink && unit(m_random) < 0.5) {
            kill.victim = everyone;
            kill.at = unit(m_random) * 2 * slowestWait / 1000.0;
            kill.sign = [this] { return besideGame(m_setup).undo; };
        } else if (victim >= 0) {
            kill.at = (unit(m_random) < 0.5 ? unit(m_random) * 1.2 : 0.5 + unit(m_random) * 0.6) * length;
        }

        const fs::path second = m_setup.links / "second-name.bin";
        fs::remove(second);
        if (!restore(m_setup.game, m_old))
            return fault(pair, "the game file could not be restored");
        if (hardLink)
            fs::create_hard_link(m_setup.game, second);
        std::vector<std::string> environment{"LC_ALL=C", "LD_PRELOAD=" + m_setup.shim,
                                             "VESTREL_SLOW_IO_US=" + std::to_string(slowestWait)};
        if (noUnnamed)
            environment.push_back("VESTREL_NO_UNNAMED=1");
        const auto ended = runTogether(
            {a.argv(m_setup, m_setup.game, yes[0], think), b.argv(m_setup, m_setup.game, yes[1], think)},
            {environment, environment}, {std::max(0.0, -gap), std::max(0.0, gap)}, kill);
        ++tally.rounds;
        tally.inPlace += hardLink;
        tally.namedTemporaries += noUnnamed;
        if (!ended)
            return fault(pair, "a writer hung or could not be started");
        const std::string folder = m_setup.work.string();
        const std::array<Reported, 2> r{reported(a, (*ended)[0], yes[0], folder),
                                        reported(b, (*ended)[1], yes[1], folder)};
        for (int i = 0; i < 2; ++i)
            if (!(*ended)[i].killed)
                m_expect.noteDuration(i == 0 ? a.name : b.name, (*ended)[i].ms);
        tally.kills += r[0].killed || r[1].killed;

        m_context =
            pair + ": " + a.name + " " + outcomeWord(r[0]) + ", " + b.name + " " + outcomeWord(r[1]) +
            (hardLink ? ", in place" : "") + (noUnnamed ? ", named temporaries" : "") +
            (kill.sign ? ", both killed " + std::to_string(int(kill.at)) + " ms after the undo copy appeared"
             : victim >= 0 ? ", kill at " + std::to_string(int(kill.at)) + " ms"
                           : "") +
            ", gap " + std::to_string(int(gap)) + " ms" +
            (think > 0 ? ", a window thinks " + std::to_string(think) + " ms" : "");
        // The other writer, killed or not, gives no cause for any other failure.
        for (int i = 0; i < 2; ++i)
            if (!r[i].problem.empty())
                return fault(pair, (i == 0 ? a.name : b.name) + " failed: " + r[i].problem);

        // What the kills left: an undo copy is undone by the next read,
        // which says so; nothing else but temporary files may be left.
        Beside beside = besideGame(m_setup);
        if (!beside.others.empty())
            return fault(pair, "a stray file beside the game file: " + beside.others.front());
        tally.temporariesLeft += beside.temporaries;
        const std::string raw = readAll(m_setup.game);
        if (beside.undo) {
            ++tally.undoLeft;
            const bool byWindow = (tally.rounds % 2) == 0;
            const auto read =
                byWindow
                    ? runAlone({m_setup.driver, "open", m_setup.app.string() + "/", m_setup.game.string()})
                    : runAlone({m_setup.table, "list", m_setup.game.string()}, {"LC_ALL=C"});
            if (!read || read->exitCode != 0)
                return fault(pair, "the read after an interrupted write failed: " + (read ? read->err : ""));
            const bool saidSo =
                byWindow ? contains(read->err, "został przerwany") : contains(read->err, "put back");
            // An undo copy made before the write began puts back the same
            // bytes: saying so is true then too.
            const bool restored = readAll(m_setup.game) != raw;
            if (restored && !saidSo)
                return fault(pair, std::string(byWindow ? "Open" : "vestrel-table list") +
                                       " put the old table back without saying so: " + read->err);
            tally.recoveries[byWindow ? 0 : 1] += restored;
            if (besideGame(m_setup).undo)
                return fault(pair, "the undo copy stayed after the next read");
        }
        const std::string now = readAll(m_setup.game);
        if (hardLink && readAll(second) != now)
            return fault(pair, "the game file's second hard link holds another table");
        const auto found = std::find_if(candidates->begin(), candidates->end(),
                                        [&](const Candidate& c) { return c.bytes == now; });
        if (found == candidates->end())
            return fault(
                pair, beside.undo ? "after the undo the game file is torn" : "the game file is torn or empty",
                now);
        ++tally.outcomes[a.name + " " + outcomeWord(r[0]) + " / " + b.name + " " + outcomeWord(r[1]) +
                         " -> " + found->name];

        const std::array<bool, 2> has{found->hasA, found->hasB};
        const std::array<const Candidate*, 2> alone{&(*candidates)[1], &(*candidates)[2]};
        for (int i = 0; i < 2; ++i) {
            const int o = 1 - i;
            const std::string who = i == 0 ? "A (" + a.name + ")" : "B (" + b.name + ")";
            if (r[i].failed && has[i])
                return fault(pair, who + " reported failure, but its table is in the file", now);
            // Replaced only by a window whose user said yes to replacing it.
            if (r[i].ok && !has[i] &&
                !(r[o].asked && r[o].answerYes && !r[o].failed && now == alone[o]->bytes))
                return fault(pair, who + " reported success, but its table was overwritten", now);
            if (r[i].changed && !has[o])
                return fault(pair, who + " said the file changed, but the other's table is not in it", now);
        }
        return true;
    }

    // vestrel-table set and import --append, both having read the file
    // before either writes: one refuses, the other's table is in the file.
    bool overlap(int rounds) {
        const Writer set = tableRun("set", {"set", "2", "name=Table A"});
        const Writer import = tableRun("import --append", {"import", "@rows-b.csv", "--append"});
        const auto candidates = m_expect.candidates(set, import, m_old);
        if (!candidates)
            return fault("overlap", "the expected outcomes could not be made");
        int setWon = 0, importWon = 0;
        const std::string folder = m_setup.work.string();
        for (int i = 0; i < rounds; ++i) {
            const fs::path meeting = m_setup.work / ("meeting-" + std::to_string(i));
            fs::create_directories(meeting);
            const fs::path second = m_setup.links / "second-name.bin";
            fs::remove(second);
            if (!restore(m_setup.game, m_old))
                return fault("overlap", "the game file could not be restored");
            if (i % 2)
                fs::create_hard_link(m_setup.game, second);
            // The slower of the two loses the race to the lock.
            const auto environment = [&](bool slower) {
                return std::vector<std::string>{"LC_ALL=C", "LD_PRELOAD=" + m_setup.shim,
                                                std::string("VESTREL_SLOW_IO_US=") +
                                                    (slower ? "150000" : "20000"),
                                                "VESTREL_MEET=" + meeting.string() + ",2"};
            };
            const bool setSlower = i % 4 < 2;
            const auto ended = runTogether(
                {set.argv(m_setup, m_setup.game, false, 0), import.argv(m_setup, m_setup.game, false, 0)},
                {environment(setSlower), environment(!setSlower)}, {0, 0});
            m_context = "overlap round " + std::to_string(i) + (i % 2 ? ", in place" : "");
            if (!ended)
                return fault("overlap", "a writer hung or could not be started");
            const Ended& s = (*ended)[0];
            const Ended& m = (*ended)[1];
            const std::string now = readAll(m_setup.game);
            const bool setWins = s.exitCode == 0 && m.exitCode == 1 && now == (*candidates)[1].bytes;
            const bool importWins = m.exitCode == 0 && s.exitCode == 1 && now == (*candidates)[2].bytes;
            const std::string& refused = setWins ? m.err : s.err;
            if (!(setWins || importWins) || !contains(refused, "changed while being edited"))
                return fault("overlap",
                             "set exited " + std::to_string(s.exitCode) + " (" + oneLine(s.err, folder) +
                                 "), import " + std::to_string(m.exitCode) + " (" + oneLine(m.err, folder) +
                                 ")",
                             now);
            if (i % 2 && readAll(second) != now)
                return fault("overlap", "the second hard link holds another table");
            if (besideGame(m_setup).temporaries || besideGame(m_setup).undo ||
                !besideGame(m_setup).others.empty())
                return fault("overlap", "files were left beside the game file");
            setWon += setWins;
            importWon += importWins;
        }
        std::printf("set against import --append, both having read the file first: %d rounds, set saved %d, "
                    "import saved %d, the other refused with \"changed while being edited\" each time\n",
                    rounds, setWon, importWon);
        return true;
    }

    // vestrel-table list started while set writes the hard-linked game file
    // in place (as soon as the temporary file of its undo copy appears), and
    // slowed between looking for an undo copy and reading the file: it lists
    // the old table or the new one, never a file written halfway.
    bool readDuringInPlaceWrite(int rounds) {
        const Writer set = tableRun("set", {"set", "2", "name=Table A"});
        const auto written = m_expect.after(set, m_old);
        const auto listing = [&](const std::string& bytes) {
            const fs::path game = m_setup.calibration / gameName;
            const auto ended = restore(game, bytes)
                                   ? runAlone({m_setup.table, "list", game.string()}, {"LC_ALL=C"})
                                   : std::nullopt;
            return ended && ended->exitCode == 0 ? ended->out : std::string();
        };
        if (!written)
            return fault("reading", "the new table could not be made");
        const std::array<std::string, 2> listings{listing(m_old), listing(*written)};
        if (listings[0].empty() || listings[1].empty())
            return fault("reading", "the tables could not be listed");
        const fs::path second = m_setup.links / "second-name.bin";
        const std::vector<std::string> common{"LC_ALL=C", "LD_PRELOAD=" + m_setup.shim,
                                              "VESTREL_SLOW_IO_US=40000"};
        std::vector<std::string> writer = common, reader = common;
        writer.push_back("VESTREL_NO_UNNAMED=1");
        reader.push_back("VESTREL_SLOW_LOOK_US=120000");
        std::array<int, 2> saw{};
        for (int i = 0; i < rounds; ++i) {
            m_context = "reading round " + std::to_string(i);
            fs::remove(second);
            if (!restore(m_setup.game, m_old))
                return fault("reading", "the game file could not be restored");
            fs::create_hard_link(m_setup.game, second);
            const auto ended = runTogether(
                {set.argv(m_setup, m_setup.game, false, 0), {m_setup.table, "list", m_setup.game.string()}},
                {writer, reader}, {0, -1}, {}, [this] { return besideGame(m_setup).temporaries > 0; });
            if (!ended)
                return fault("reading", "a program hung or could not be started");
            const Ended& list = (*ended)[1];
            const auto seen = std::find(listings.begin(), listings.end(), list.out);
            if ((*ended)[0].exitCode != 0 || list.exitCode != 0 || !list.err.empty() ||
                seen == listings.end())
                return fault("reading", "set exited " + std::to_string((*ended)[0].exitCode) + ", list " +
                                            std::to_string(list.exitCode) + " (" +
                                            oneLine(list.err, m_setup.work.string()) + ")");
            ++saw[std::size_t(seen - listings.begin())];
        }
        fs::remove(second);
        std::printf(
            "vestrel-table list while set writes the file in place: %d rounds, listed the old table %d "
            "times and the new one %d times, never one written halfway\n",
            rounds, saw[0], saw[1]);
        return true;
    }

    // After the rounds, one ordinary save by each program, of the game file
    // written in place (hard-linked) and by a rename: each removes what
    // killed writers left (one more is left first where there is none), and
    // nothing stays beside the game file or in the working folder.
    bool settle() {
        const fs::path second = m_setup.links / "second-name.bin";
        int removed = 0;
        for (const bool hardLink : {true, false}) {
            for (const Writer& writer :
                 {window("window", "1", "Settled"), tableRun("add", {"add", "--id", "77"})}) {
                fs::remove(second);
                if (hardLink)
                    fs::create_hard_link(m_setup.game, second);
                m_context =
                    "the ordinary save after the rounds (" + writer.name + (hardLink ? ", in place)" : ")");
                if (!leaveATemporaryFile())
                    return fault("settle", "no killed writer left a temporary file to be removed");
                removed += besideGame(m_setup).temporaries;
                const auto ended = runAlone(writer.argv(m_setup, m_setup.game, true, 0), {"LC_ALL=C"});
                if (!ended || ended->exitCode != 0)
                    return fault("settle", "it failed: " + (ended ? ended->err : ""));
                const Beside beside = besideGame(m_setup);
                if (beside.temporaries || beside.undo || !beside.others.empty())
                    return fault("settle", "files are left beside the game file");
            }
        }
        fs::remove(second);
        // Qt's own guard for removing a stale lock (".rmlock"), which a
        // window killed in that moment leaves, goes when Qt next needs it.
        for (const auto& entry : fs::directory_iterator(m_setup.app / "zlib" / "temp"))
            if (!entry.path().filename().string().ends_with(".rmlock"))
                return fault("settle",
                             "a file is left in the working folder: " + entry.path().filename().string());
        std::printf(
            "after the rounds, 4 ordinary saves (the window and vestrel-table, in place and by a rename) "
            "removed the %d temporary files killed writers had left; nothing is left beside the game "
            "file or in the working folder\n",
            removed);
        return true;
    }

    // Kills a vestrel-table set as soon as its temporary file has a name
    // beside the game file, unless one is there already.
    bool leaveATemporaryFile() {
        std::uniform_real_distribution<double> unit(0, 1);
        const Writer set = tableRun("set", {"set", "2", "name=Killed"});
        const std::vector<std::string> environment{"LC_ALL=C", "LD_PRELOAD=" + m_setup.shim,
                                                   "VESTREL_SLOW_IO_US=" + std::to_string(slowestWait),
                                                   "VESTREL_NO_UNNAMED=1"};
        for (int attempt = 0; attempt < 20 && besideGame(m_setup).temporaries == 0; ++attempt)
            runTogether({set.argv(m_setup, m_setup.game, false, 0)}, {environment}, {0},
                        {0, unit(m_random) * 5, [this] { return besideGame(m_setup).temporaries > 0; }});
        return besideGame(m_setup).temporaries > 0;
    }

    int faults() const { return m_faults; }

private:
    bool fault(const std::string& pair, const std::string& what, const std::string& bytes = {}) {
        ++m_faults;
        std::fprintf(stderr, "FAULT [%s] %s\n  in %s\n", pair.c_str(), what.c_str(), m_context.c_str());
        if (!bytes.empty()) {
            const fs::path kept = m_setup.work / ("fault-" + std::to_string(m_faults) + ".bin");
            std::ofstream(kept, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
            std::fprintf(stderr, "  the file is kept as %s\n", kept.c_str());
        }
        return false;
    }

    Setup m_setup;
    Expectations m_expect;
    std::mt19937_64 m_random;
    std::string m_old;
    std::string m_context;
    int m_faults = 0;
};

} // namespace

int main(int argc, char** argv) {
#ifndef __linux__
    std::printf(
        "skipped: the writers are slowed by a library loaded with LD_PRELOAD, which only Linux has\n");
    return 77;
#endif
    // The tools of killed programs come to this process rather than to the
    // system's first process, which may reap them only seconds later: a
    // pid seen alive would keep the next writer from removing their files.
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    if (argc < 3 || (std::strcmp(argv[2], "rounds") != 0 && std::strcmp(argv[2], "overlap") != 0)) {
        std::fprintf(stderr, "usage: writers_runner <build folder> rounds <n>\n"
                             "       writers_runner <build folder> overlap [n]\n");
        return 2;
    }
    Setup setup;
    setup.build = fs::absolute(argv[1]);
    setup.driver = (setup.build / "tests" / "save_driver").string();
    setup.table = (setup.build / "vestrel-table").string();
    setup.tool = (setup.build / "zlib" / "zlibtool").string();
    setup.shim = (setup.build / "tests" / "libslow_io.so").string();
    for (const std::string& program : {setup.driver, setup.table, setup.tool, setup.shim})
        if (!fs::exists(program)) {
            std::fprintf(stderr, "writers_runner: %s is missing; build it first\n", program.c_str());
            return 2;
        }
    char pattern[] = "/tmp/vestrel-writers-XXXXXX";
    if (!::mkdtemp(pattern))
        return 2;
    setup.work = pattern;
    setup.app = setup.work / "app";
    setup.games = setup.work / "games";
    setup.game = setup.games / gameName;
    setup.links = setup.work / "links";
    setup.calibration = setup.work / "calibration";

    const Clock::time_point begin = Clock::now();
    Runner runner(setup, 20261208);
    if (!runner.prepare()) {
        std::fprintf(stderr, "writers_runner: could not make the game file (files kept in %s)\n", pattern);
        return 1;
    }
    if (std::strcmp(argv[2], "overlap") == 0) {
        const bool overlapped = runner.overlap(4);
        const bool passed =
            runner.readDuringInPlaceWrite(argc > 3 ? std::max(1, std::atoi(argv[3])) : 8) && overlapped;
        if (passed)
            fs::remove_all(setup.work);
        return passed ? 0 : 1;
    }

    const int rounds = argc > 3 ? std::max(3, std::atoi(argv[3])) : 60;
    const Writer windowA = window("window A", "1", "Window A");
    const Writer windowB = window("window B", "4", "Window B");
    const std::array<Writer, 3> tablesA{tableRun("set A", {"set", "2", "name=Table A"}),
                                        tableRun("add A", {"add", "--id", "1001", "--name", "Added A"}),
                                        tableRun("import A", {"import", "@rows-a.csv", "--append"})};
    const std::array<Writer, 3> tablesB{tableRun("set B", {"set", "3", "name=Table B"}),
                                        tableRun("add B", {"add", "--id", "1002", "--name", "Added B"}),
                                        tableRun("import B", {"import", "@rows-b.csv", "--append"})};
    std::map<std::string, Tally> tallies;
    for (int i = 0; i < rounds; ++i) {
        const Writer& tableA = tablesA[std::size_t(i) % 3];
        const Writer& tableB = tablesB[std::size_t(i / 3 + i) % 3];
        runner.round("window + vestrel-table", windowA, tableB, tallies["window + vestrel-table"]);
        runner.round("vestrel-table + vestrel-table", tableA, tableB,
                     tallies["vestrel-table + vestrel-table"]);
        runner.round("window + window", windowA, windowB, tallies["window + window"]);
    }

    std::printf("writers that meet: %d rounds of each pair, writes slowed by up to %d ms\n", rounds,
                slowestWait / 1000);
    for (const auto& [pair, tally] : tallies) {
        std::printf("%s: %d rounds, %d with a kill, %d in place, %d with named temporaries, %d left an undo "
                    "copy, undone and said by the next Open %d, by vestrel-table list %d; %d temporary files "
                    "left for a later writer\n",
                    pair.c_str(), tally.rounds, tally.kills, tally.inPlace, tally.namedTemporaries,
                    tally.undoLeft, tally.recoveries[0], tally.recoveries[1], tally.temporariesLeft);
        for (const auto& [outcome, count] : tally.outcomes)
            std::printf("  %4d  %s\n", count, outcome.c_str());
    }
    const bool settled = runner.settle();
    std::printf("%.1f s in all\n", std::chrono::duration<double>(Clock::now() - begin).count());
    const bool passed = runner.faults() == 0 && settled;
    if (passed)
        fs::remove_all(setup.work);
    else
        std::printf("%d faults; files kept in %s\n", runner.faults(), pattern);
    return passed ? 0 : 1;
}

#endif
