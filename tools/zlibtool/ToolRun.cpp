#include "tools/zlibtool/ToolRun.h"

#include <cstdio>
#include <fstream>
#include <random>
#include <system_error>

namespace zlibtool {

namespace fs = std::filesystem;

namespace {

constexpr const char* usage = "usage: zlibtool \"<file>\" [-d]   (-d decompresses to <file>.unzlib, "
                              "otherwise compresses to <file>.zlib)";

// A name beside the target that no other run picks at the same time.
fs::path temporaryBeside(const fs::path& target) {
    std::random_device random;
    const unsigned long long tag = (static_cast<unsigned long long>(random()) << 32) ^ random();
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%016llx.part", tag);
    fs::path temporary = target;
    temporary += suffix;
    return temporary;
}

} // namespace

std::optional<Command> parseArguments(const std::vector<std::string>& args) {
    if (args.size() == 1 && !args[0].empty() && args[0] != "-d")
        return Command{fs::path(args[0]), Mode::Compress};
    if (args.size() == 2 && !args[0].empty() && args[0] != "-d" && args[1] == "-d")
        return Command{fs::path(args[0]), Mode::Decompress};
    return std::nullopt;
}

fs::path resultPath(const Command& command) {
    fs::path result = command.input;
    result += command.mode == Mode::Decompress ? ".unzlib" : ".zlib";
    return result;
}

std::optional<Bytes> readWholeFile(const fs::path& path, std::string& message) {
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
        message = "cannot read " + path.string() + ": no such file";
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        message = "cannot open " + path.string();
        return std::nullopt;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    if (size < 0) {
        message = "cannot read " + path.string();
        return std::nullopt;
    }
    Bytes data;
    try {
        data.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        message = path.string() + " is too large";
        return std::nullopt;
    }
    if (!in.read(reinterpret_cast<char*>(data.data()), size) ||
        in.peek() != std::ifstream::traits_type::eof()) {
        message = "cannot read " + path.string() + " (it changed while being read)";
        return std::nullopt;
    }
    return data;
}

bool writeFileAtomically(const fs::path& target, const Producer& produce, std::string& message) {
    std::error_code ec;
    if (fs::is_directory(target, ec)) {
        message = "cannot write " + target.string() + ": it is a directory";
        return false;
    }
    const fs::path temporary = temporaryBeside(target);
    Error error = Error::None;
    bool written = false;
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) {
            message = "cannot create " + temporary.string();
            return false;
        }
        error = produce([&out](std::span<const unsigned char> piece) {
            out.write(reinterpret_cast<const char*>(piece.data()),
                      static_cast<std::streamsize>(piece.size()));
            return bool(out);
        });
        out.flush();
        out.close();
        written = !out.fail();
    }
    if (error == Error::None && written) {
        fs::rename(temporary, target, ec);
        if (!ec)
            return true;
    }
    message = error != Error::None && error != Error::SinkFailed ? std::string(describe(error))
                                                                 : "cannot write " + target.string();
    fs::remove(temporary, ec);
    return false;
}

int run(const std::vector<std::string>& args, std::ostream& err) {
    const std::optional<Command> command = parseArguments(args);
    if (!command) {
        err << usage << '\n';
        return exitUsage;
    }
    const fs::path target = resultPath(*command);
    auto fail = [&](const std::string& message) {
        // An older result must not pass for this run's.
        std::error_code ec;
        if (!fs::is_directory(target, ec))
            fs::remove(target, ec);
        err << "zlibtool: " << message << '\n';
        return exitFailure;
    };

    std::string message;
    const std::optional<Bytes> input = readWholeFile(command->input, message);
    if (!input)
        return fail(message);
    const std::span<const unsigned char> bytes(*input);
    const bool decompressing = command->mode == Mode::Decompress;
    const Producer produce = [&](const Sink& sink) {
        return decompressing ? decompressTo(bytes, sink) : compressTo(bytes, sink);
    };
    if (!writeFileAtomically(target, produce, message))
        return fail(command->input.string() + ": " + message);
    return exitSuccess;
}

} // namespace zlibtool
