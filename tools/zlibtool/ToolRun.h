#pragma once

#include "pipeline/compression/ZlibStream.h"

#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

// The command line of zlibtool and the files it reads and writes.
//   zlibtool "<path>" -d   writes <path>.unzlib, the decompressed data
//   zlibtool "<path>"      writes <path>.zlib, one zlib stream
// The input is streamed, never held whole. A result file appears only
// complete: it is written without a name (or under a short temporary one)
// and linked or renamed into place. On failure no result file is left, not
// even an older one, so that a caller who only looks for the file sees the
// failure.
namespace zlibtool {

using compression::Bytes;
using compression::describe;
using compression::Error;
using compression::Input;
using compression::maxInputSize;
using compression::Sink;

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

// A regular file of at most maxInputSize bytes, read in pieces through a
// small buffer. After a failed read, `problem()` says why.
class FileInput : public Input {
public:
    ~FileInput() override;
    std::uint64_t size() const override { return m_size; }
    std::span<const unsigned char> read(std::uint64_t offset, std::size_t want) override;
    const std::string& problem() const { return m_problem; }
    // Whether bytes were added past the size the file had when opened.
    bool grew();

private:
    friend std::unique_ptr<FileInput> openInput(const std::filesystem::path&, std::string&);
    FileInput() = default;
    std::uint64_t m_size = 0;
    Bytes m_buffer;
    std::string m_problem;
#ifdef _WIN32
    std::FILE* m_file = nullptr;
#else
    int m_fd = -1;
#endif
};

// Checks the file before reading a byte: a directory, a FIFO, a device or a
// file larger than maxInputSize is refused with a message that says so.
// A FIFO is never waited on.
std::unique_ptr<FileInput> openInput(const std::filesystem::path& path, std::string& message);

// The steps of writing a result, each of which can fail on a real device.
enum class WriteStep {
    CreateUnnamed, // a file without a name (O_TMPFILE), where the system has it
    Create,        // the short temporary name, otherwise
    Write,
    Sync,
    Close,
    Place, // the link or rename to the result's name
    SyncFolder,
};

// Lets tests fail one step as a failing device would: a non-zero errno value
// fails the step with it; for WriteStep::Write, lowering `size` makes the
// write a short one. Empty in the program.
using FaultInjection = std::function<int(WriteStep step, std::size_t& size)>;

// Writes what `produce` hands to its sink into a file beside `target` and
// puts it in place only when every write, the sync and the close succeeded;
// nothing is left behind on failure, and the message names the step and the
// system's reason.
using Producer = std::function<Error(const Sink&)>;
bool writeFileAtomically(const std::filesystem::path& target, const Producer& produce, std::string& message,
                         const FaultInjection& fault = {});

// Removes the temporary files that earlier, killed runs left in `folder`:
// only names of the writer's own pattern (".zt<pid>-<n>.tmp", used where a
// file cannot be written without a name) whose process has ended.
void removeStaleTemporaries(const std::filesystem::path& folder);

// The whole program; `args` without the program name. Messages go to `err`.
int run(const std::vector<std::string>& args, std::ostream& err);

} // namespace zlibtool
