#include "tools/zlibtool/ZlibStream.h"

#include <zlib.h>

#include <algorithm>
#include <limits>
#include <new>

namespace zlibtool {

namespace {

// zlib counts in uInt; larger inputs are fed in pieces.
constexpr std::size_t maxChunk = std::numeric_limits<uInt>::max();

std::uint32_t le32(const unsigned char* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

} // namespace

std::string_view describe(Error error) {
    switch (error) {
    case Error::None:
        return "no error";
    case Error::Corrupt:
        return "not a valid zlib stream";
    case Error::Truncated:
        return "the zlib stream is cut short";
    case Error::TrailingData:
        return "unexpected bytes after the end of the zlib stream";
    case Error::TooLarge:
        return "the data would decompress to more than 64 MiB";
    case Error::SizeMismatch:
        return "the sizes in the header do not match the zlib stream";
    case Error::OutOfMemory:
        return "out of memory";
    }
    return "unknown error";
}

Result compress(std::span<const unsigned char> input) {
    Result result;
    z_stream zs{};
    if (deflateInit(&zs, Z_DEFAULT_COMPRESSION) != Z_OK)
        return {Error::OutOfMemory, {}};
    try {
        result.data.resize(input.size() <= maxChunk ? deflateBound(&zs, uLong(input.size()))
                                                    : input.size() + 1024);
    } catch (const std::bad_alloc&) {
        deflateEnd(&zs);
        return {Error::OutOfMemory, {}};
    }
    std::size_t inPos = 0;
    int status = Z_OK;
    while (status != Z_STREAM_END) {
        if (zs.total_out == result.data.size()) {
            try {
                result.data.resize(result.data.size() * 2);
            } catch (const std::bad_alloc&) {
                deflateEnd(&zs);
                return {Error::OutOfMemory, {}};
            }
        }
        const std::size_t outPos = std::size_t(zs.total_out);
        zs.next_out = result.data.data() + outPos;
        zs.avail_out = uInt(std::min(result.data.size() - outPos, maxChunk));
        const std::size_t inChunk = std::min(input.size() - inPos, maxChunk);
        zs.next_in = const_cast<Bytef*>(input.data() + inPos);
        zs.avail_in = uInt(inChunk);
        const bool last = inPos + inChunk == input.size();
        status = deflate(&zs, last ? Z_FINISH : Z_NO_FLUSH);
        inPos += inChunk - zs.avail_in;
        if (status == Z_STREAM_ERROR) {
            deflateEnd(&zs);
            return {Error::OutOfMemory, {}};
        }
    }
    result.data.resize(std::size_t(zs.total_out));
    deflateEnd(&zs);
    return result;
}

Result decompressStream(std::span<const unsigned char> input, std::size_t limit) {
    if (input.empty())
        return {Error::Truncated, {}};
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK)
        return {Error::OutOfMemory, {}};
    Result result;
    // Room for one byte past the limit tells "exactly the limit" from "more".
    const std::size_t ceiling = limit + 1;
    // A first guess that fits most ball files at once; grows by doubling.
    std::size_t capacity = std::min(ceiling, std::max<std::size_t>(input.size() * 4, 4096));
    std::size_t inPos = 0;
    std::size_t produced = 0;
    Error error = Error::None;
    try {
        result.data.resize(capacity);
        while (true) {
            if (produced == capacity) {
                if (capacity == ceiling) {
                    error = Error::TooLarge;
                    break;
                }
                capacity = capacity > ceiling / 2 ? ceiling : capacity * 2;
                result.data.resize(capacity);
            }
            zs.next_out = result.data.data() + produced;
            zs.avail_out = uInt(std::min(capacity - produced, maxChunk));
            const std::size_t inChunk = std::min(input.size() - inPos, maxChunk);
            zs.next_in = const_cast<Bytef*>(input.data() + inPos);
            zs.avail_in = uInt(inChunk);
            const uInt outBefore = zs.avail_out;
            const int status = inflate(&zs, Z_NO_FLUSH);
            inPos += inChunk - zs.avail_in;
            produced += outBefore - zs.avail_out;
            if (status == Z_STREAM_END) {
                if (produced > limit)
                    error = Error::TooLarge;
                break;
            }
            if (status == Z_MEM_ERROR) {
                error = Error::OutOfMemory;
                break;
            }
            if (status != Z_OK && status != Z_BUF_ERROR) {
                error = Error::Corrupt; // data error, or a preset dictionary we cannot have
                break;
            }
            // zlib calls a stream that stops early merely "no progress";
            // with all input used and room left, it is cut short.
            if (inPos == input.size() && zs.avail_out != 0) {
                error = Error::Truncated;
                break;
            }
        }
    } catch (const std::bad_alloc&) {
        error = Error::OutOfMemory;
    }
    inflateEnd(&zs);
    // zlib reports success at the end of the stream whatever follows it.
    if (error == Error::None && inPos != input.size())
        error = Error::TrailingData;
    if (error != Error::None)
        return {error, {}};
    result.data.resize(produced);
    return result;
}

Result decompress(std::span<const unsigned char> input, std::size_t limit) {
    Result plain = decompressStream(input, limit);
    if (plain.ok() || input.size() <= containerHeaderSize)
        return plain;
    const std::uint32_t compressedSize = le32(input.data() + 8);
    const std::uint32_t decompressedSize = le32(input.data() + 12);
    if (compressedSize != input.size() - containerHeaderSize)
        return plain;
    // The sizes mark a container: its stream's own error is the one to tell.
    Result inner = decompressStream(input.subspan(containerHeaderSize), limit);
    if (inner.ok() && inner.data.size() != decompressedSize)
        return {Error::SizeMismatch, {}};
    return inner;
}

} // namespace zlibtool
