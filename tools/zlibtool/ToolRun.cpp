#include "tools/zlibtool/ToolRun.h"

#include "pipeline/compression/ZlibStream.h"
#include "pipeline/storage/FileStore.h"

#include <new>

namespace zlibtool {

namespace fs = std::filesystem;

namespace {

constexpr const char* usage = "usage: zlibtool \"<file>\" [-d]   (-d decompresses to <file>.unzlib, "
                              "otherwise compresses to <file>.zlib)";

// The stream code reads the input file in pieces through the reader.
class ReaderInput final : public compression::Input {
public:
    explicit ReaderInput(storage::FileReader& reader) : m_reader(reader) {}
    std::uint64_t size() const override { return m_reader.size(); }
    std::span<const unsigned char> read(std::uint64_t offset, std::size_t want) override {
        return m_reader.read(offset, want);
    }

private:
    storage::FileReader& m_reader;
};

std::string inputProblem(const storage::Outcome& outcome) {
    switch (outcome.problem) {
    case storage::Problem::Missing:
    case storage::Problem::System:
        return outcome.problem == storage::Problem::Missing ? storage::errorText(storage::errorNotFound())
                                                            : outcome.reason();
    case storage::Problem::TooLarge:
        return "it has " + std::to_string(outcome.size) + " bytes, more than the " +
               std::to_string(compression::maxInputSize >> 20) + " MiB a game file can have";
    default:
        return outcome.describe();
    }
}

int runCommand(const std::vector<std::string>& args, std::ostream& err, storage::FileCalls* calls);

} // namespace

std::optional<Command> parseArguments(const std::vector<std::string>& args) {
    if (args.size() == 1 && !args[0].empty() && args[0] != "-d")
        return Command{storage::pathFromUtf8(args[0]), Mode::Compress};
    if (args.size() == 2 && !args[0].empty() && args[0] != "-d" && args[1] == "-d")
        return Command{storage::pathFromUtf8(args[0]), Mode::Decompress};
    return std::nullopt;
}

fs::path resultPath(const Command& command) {
    fs::path result = command.input;
    result += command.mode == Mode::Decompress ? ".unzlib" : ".zlib";
    return result;
}

int run(const std::vector<std::string>& args, std::ostream& err, storage::FileCalls* calls) {
    try {
        return runCommand(args, err, calls);
    } catch (const std::bad_alloc&) {
        // Nothing is in place before the last step, which does not allocate.
        err << "zlibtool: not enough memory\n";
        return exitFailure;
    }
}

namespace {

int runCommand(const std::vector<std::string>& args, std::ostream& err, storage::FileCalls* calls) {
    const std::optional<Command> command = parseArguments(args);
    if (!command) {
        err << usage << '\n';
        return exitUsage;
    }
    const fs::path target = resultPath(*command);
    const std::string input = storage::utf8Of(command->input);
    const auto fail = [&](const std::string& message) {
        // An older result must not pass for this run's (a folder is not one).
        storage::FileCalls& files = calls ? *calls : storage::systemFileCalls();
        files.remove(target);
        err << "zlibtool: " << message << '\n';
        return exitFailure;
    };

    storage::FileReader reader;
    if (const storage::Outcome opened = reader.open(command->input, compression::maxInputSize, calls);
        !opened.ok()) {
        const bool cannotOpen =
            opened.problem == storage::Problem::Missing || opened.problem == storage::Problem::System;
        return fail((cannotOpen ? "cannot open " : "cannot read ") + input + ": " + inputProblem(opened));
    }
    ReaderInput source(reader);
    compression::Error streamError = compression::Error::None;
    const storage::Producer produce = [&](const storage::Sink& sink) {
        streamError = command->mode == Mode::Decompress ? compression::decompressTo(source, sink)
                                                        : compression::compressTo(source, sink);
        if (streamError == compression::Error::None && reader.grew())
            streamError = compression::Error::ReadFailed;
        return streamError == compression::Error::None;
    };
    storage::ReplaceOptions options;
    options.calls = calls;
    const storage::ReplaceResult written = storage::replaceFile(target, produce, options);
    if (written.outcome.ok())
        return exitSuccess;
    if (streamError == compression::Error::ReadFailed) {
        const storage::Outcome& problem = reader.problem();
        return fail("cannot read " + input + ": " +
                    (problem.ok() || problem.problem == storage::Problem::Changed
                         ? "it changed while being read"
                         : problem.reason()));
    }
    if (streamError != compression::Error::None && streamError != compression::Error::SinkFailed)
        return fail(input + ": " + std::string(compression::describe(streamError)));
    return fail("cannot write " + storage::utf8Of(target) + ": " + written.outcome.describe(false));
}

} // namespace

} // namespace zlibtool
