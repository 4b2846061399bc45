#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace storage {
class FileCalls;
}

// The command line of zlibtool and its output.
//   zlibtool "<path>" -d   writes <path>.unzlib, the decompressed data
//   zlibtool "<path>"      writes <path>.zlib, one zlib stream
// The input is streamed, never held whole, and the result is written as
// every Vestrel program replaces a file: it appears only complete. On
// failure no result file is left, not even an older one, so that a caller
// who only looks for the file sees the failure.
namespace zlibtool {

inline constexpr int exitSuccess = 0;
inline constexpr int exitFailure = 1;
inline constexpr int exitUsage = 2;

enum class Mode { Compress, Decompress };

struct Command {
    std::filesystem::path input;
    Mode mode = Mode::Compress;
};

// nullopt for any other command line than the two above. The arguments are
// UTF-8 on Windows and the system's bytes elsewhere.
std::optional<Command> parseArguments(const std::vector<std::string>& args);

std::filesystem::path resultPath(const Command& command);

// The whole program; `args` without the program name. Messages go to `err`.
// `calls` lets tests fail the file system under it.
int run(const std::vector<std::string>& args, std::ostream& err, storage::FileCalls* calls = nullptr);

} // namespace zlibtool
