// Feeds arbitrary bytes to zlibtool's decompression. Nothing may crash or
// grow past the limit; whatever is accepted must compress and decompress
// back to itself, and the streaming and whole-buffer forms must agree, the
// streaming form also when the input comes in pieces as from a file.

#include "pipeline/compression/ZlibStream.h"
#include "tests/pipeline/compression/ChunkedInput.h"

#include <cstdint>
#include <cstdlib>

namespace {

void require(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace compression;
    const std::span<const unsigned char> input(data, size);
    // A small limit as well, so that the bound itself is exercised often.
    const std::size_t smallLimit = 1000;
    const Result small = decompress(input, smallLimit);
    require(small.ok() ? small.data.size() <= smallLimit : small.data.empty());

    // Piece boundaries drawn from the input itself, so the fuzzer steers them.
    const std::uint32_t seed = size < 4 ? std::uint32_t(size) : std::uint32_t(data[0] | data[size - 1] << 8);
    ChunkedInput pieces(input, seed, 1 + size % 61);
    Bytes piecewise;
    Form form;
    const Error error = decompressTo(
        pieces,
        [&piecewise](std::span<const unsigned char> piece) {
            piecewise.insert(piecewise.end(), piece.begin(), piece.end());
            return true;
        },
        smallLimit, &form);
    require(error == small.error);
    require(!small.ok() || (piecewise == small.data && form == formOf(input, smallLimit).form));

    const Result result = decompress(input);
    if (!result.ok()) {
        require(result.data.empty());
        return 0;
    }
    require(result.data.size() <= maxDecompressedSize);
    if (small.ok())
        require(small.data == result.data);
    else
        require(small.error == Error::TooLarge && result.data.size() > smallLimit);

    Bytes streamed;
    require(decompressTo(input, [&streamed](std::span<const unsigned char> piece) {
                streamed.insert(streamed.end(), piece.begin(), piece.end());
                return true;
            }) == Error::None);
    require(streamed == result.data);

    const Result packed = compress(result.data);
    require(packed.ok());
    const Result back = decompress(packed.data);
    require(back.ok() && back.data == result.data);
    return 0;
}
