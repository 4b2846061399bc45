#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

// The zlib stream (RFC 1950) and the container form of game files, shared
// by zlibtool, the editor and vestrel-table. Input is untrusted, so
// decompression is bounded and strict.
namespace compression {

using Bytes = std::vector<unsigned char>;

// More than this much decompressed data is refused: no ball file comes
// near it, and a small bomb must not fill the memory.
inline constexpr std::size_t maxDecompressedSize = std::size_t(64) << 20;

// No input larger than this is read, compressed or decompressed: a zlib
// stream of maxDecompressedSize bytes is at most a few hundredths of a per
// cent larger than its data, so this leaves a generous margin for any real
// game file or table while refusing a huge file before a byte of it is read.
inline constexpr std::size_t maxInputSize = std::size_t(80) << 20;

// Some files carry the stream behind a 16-byte header: 8 bytes of
// signature, then the compressed and the decompressed size as 32-bit
// little-endian numbers.
inline constexpr std::size_t containerHeaderSize = 16;

enum class Error {
    None,
    Corrupt,      // not a zlib stream, or damaged data
    Truncated,    // the stream stops before its end
    TrailingData, // bytes follow the end of the stream
    TooLarge,     // more than maxDecompressedSize would come out
    SizeMismatch, // a container's sizes disagree with its stream
    OutOfMemory,
    SinkFailed, // the receiver of the output gave up
    ReadFailed, // the input could not be read; the Input keeps the reason
};

std::string_view describe(Error error);

struct Result {
    Error error = Error::None;
    Bytes data;
    bool ok() const { return error == Error::None; }
};

// Receives output piece by piece; returning false stops the work (a failed
// write), which is reported as Error::SinkFailed.
using Sink = std::function<bool(std::span<const unsigned char>)>;

// Input of a known size read in pieces, from memory or from a file, so that
// a file is streamed through the same code that reads a buffer.
class Input {
public:
    virtual ~Input() = default;
    virtual std::uint64_t size() const = 0;
    // Some of the bytes from `offset` on: at least one and at most `want`
    // (offset + want <= size(), want > 0), valid until the next call. Empty
    // when the read fails, which is reported as Error::ReadFailed.
    virtual std::span<const unsigned char> read(std::uint64_t offset, std::size_t want) = 0;
};

class SpanInput final : public Input {
public:
    explicit SpanInput(std::span<const unsigned char> bytes) : m_bytes(bytes) {}
    std::uint64_t size() const override { return m_bytes.size(); }
    std::span<const unsigned char> read(std::uint64_t offset, std::size_t want) override {
        return m_bytes.subspan(std::size_t(offset), want);
    }

private:
    std::span<const unsigned char> m_bytes;
};

// One zlib stream of the whole input, at zlib's default level.
Error compressTo(std::span<const unsigned char> input, const Sink& sink);
Error compressTo(Input& input, const Sink& sink);
Result compress(std::span<const unsigned char> input);

// Exactly one complete zlib stream, every byte of the input consumed.
Result decompressStream(std::span<const unsigned char> input, std::size_t limit = maxDecompressedSize);

// How a compressed file carries its stream: bare, or behind the container
// header with its own 8 signature bytes. A file is saved back in the form it
// was read in, so that a game reading the container still reads its file.
struct Form {
    bool container = false;
    std::array<unsigned char, 8> signature{}; // all zero for a bare stream
    bool operator==(const Form&) const = default;
};

// A zlib stream at offset 0, or else one behind a container header whose
// two sizes match the stream; any 8 signature bytes are accepted, since
// only the sizes can be checked. On failure the sink may have received part
// of the output, which the caller must discard. On success `form`, if given,
// receives the form the input was read in.
Error decompressTo(std::span<const unsigned char> input, const Sink& sink,
                   std::size_t limit = maxDecompressedSize, Form* form = nullptr);
// The same for an input read in pieces. When the signature itself looks like
// a zlib header, the plain reading is first tried without output and the
// input is read a second time, so memory stays small either way.
Error decompressTo(Input& input, const Sink& sink, std::size_t limit = maxDecompressedSize,
                   Form* form = nullptr);
Result decompress(std::span<const unsigned char> input, std::size_t limit = maxDecompressedSize);

// The form decompressTo reads this input in, judged exactly as it judges
// it; the error is the one it would report.
struct FormResult {
    Error error = Error::None;
    Form form;
};
FormResult formOf(std::span<const unsigned char> input, std::size_t limit = maxDecompressedSize);
FormResult formOf(Input& input, std::size_t limit = maxDecompressedSize);

// The whole file for one zlib stream in this form: the stream itself, or the
// header (signature, the stream's size, decompressedSize) and the stream.
// nullopt when a size does not fit the header's 32 bits.
std::optional<Bytes> inForm(const Form& form, std::span<const unsigned char> stream,
                            std::uint64_t decompressedSize);

// Whether a whole compressed file reads back, in exactly `form`, as
// `table`: what is about to replace a game file must give back the table
// being saved. Compared piece by piece, without a second copy of the table.
bool givesBack(std::span<const unsigned char> file, std::span<const unsigned char> table, const Form& form);

} // namespace compression
