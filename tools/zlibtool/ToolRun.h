#pragma once

#include "tools/zlibtool/ZlibStream.h"

#include <filesystem>
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

// Writes beside `target`, then renames over it; nothing is left behind on
// failure.
bool writeFileAtomically(const std::filesystem::path& target, std::span<const unsigned char> data,
                         std::string& message);

// The whole program; `args` without the program name. Messages go to `err`.
int run(const std::vector<std::string>& args, std::ostream& err);

} // namespace zlibtool
