#pragma once

#include "tools/zlibtool/ZlibStream.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

// The command line of zlibtool and the files it reads and writes.
//   zlibtool "<path>" -d   writes <path>.unzlib, the decompressed data
//   zlibtool "<path>"      writes <path>.zlib, one zlib stream
// A result file appears only complete: it is written beside its target and
// renamed into place. On failure no result file is left, not even an older
// one, so that a caller who only looks for the file sees the failure.
namespace zlibtool {

inline constexpr int exitSuccess = 0;
inline constexpr int exitFailure = 1;
inline constexpr int exitUsage = 2;

enum class Mode { Compress, Decompress };

struct Command {
    std::filesystem::path input;
    Mode mode = Mode::Compress;
};

// nullopt for any other command line than the two above.
std::optional<Command> parseArguments(const std::vector<std::string>& args);

std::filesystem::path resultPath(const Command& command);

// Reads a whole file; nullopt with a message when it cannot.
std::optional<Bytes> readWholeFile(const std::filesystem::path& path, std::string& message);

// Writes what `produce` hands to its sink into a file beside `target`, then
// renames it over `target`; nothing is left behind on failure.
using Producer = std::function<Error(const Sink&)>;
bool writeFileAtomically(const std::filesystem::path& target, const Producer& produce, std::string& message);

// The whole program; `args` without the program name. Messages go to `err`.
int run(const std::vector<std::string>& args, std::ostream& err);

} // namespace zlibtool
