#include "pipeline/compression/ZlibStream.h"

#include <zlib.h>

#include <algorithm>
#include <limits>
#include <new>

namespace compression {

namespace {

// zlib counts in uInt; larger inputs are fed in pieces.
constexpr std::size_t maxChunk = std::numeric_limits<uInt>::max();
// Output goes to the sink through a buffer of this size.
constexpr std::size_t outputChunk = std::size_t(256) << 10;

std::uint32_t le32(const unsigned char* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

// Whether the first two bytes can open a zlib stream (RFC 1950): deflate,
// a window of at most 32K, the check bits right and no preset dictionary.
bool looksLikeZlibHeader(std::span<const unsigned char> input) {
    if (input.size() < 2)
        return false;
    const unsigned cmf = input[0];
    const unsigned flg = input[1];
    return (cmf & 0x0F) == 8 && (cmf >> 4) <= 7 && (cmf * 256 + flg) % 31 == 0 && !(flg & 0x20);
}

Sink appendTo(Bytes& out) {
    return [&out](std::span<const unsigned char> piece) {
        out.insert(out.end(), piece.begin(), piece.end());
        return true;
    };
}

// Feeds the input's bytes to zlib one piece at a time; returns false when a
// read fails.
bool refill(Input& input, z_stream& zs, std::uint64_t& pos) {
    if (zs.avail_in != 0 || pos == input.size())
        return true;
    const std::span<const unsigned char> piece =
        input.read(pos, std::size_t(std::min<std::uint64_t>(input.size() - pos, maxChunk)));
    if (piece.empty())
        return false;
    zs.next_in = const_cast<Bytef*>(piece.data());
    zs.avail_in = uInt(piece.size());
    pos += piece.size();
    return true;
}

// Inflates one stream, from `from` to the end of the input, into the sink;
// `produced` counts what came out.
Error inflateTo(Input& input, std::uint64_t from, const Sink& sink, std::size_t limit,
                std::size_t& produced) {
    produced = 0;
    if (from >= input.size())
        return Error::Truncated;
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK)
        return Error::OutOfMemory;
    Error error = Error::None;
    std::uint64_t pos = from;
    try {
        Bytes buffer(outputChunk);
        while (true) {
            if (!refill(input, zs, pos)) {
                error = Error::ReadFailed;
                break;
            }
            zs.next_out = buffer.data();
            zs.avail_out = uInt(buffer.size());
            const int status = inflate(&zs, Z_NO_FLUSH);
            const std::size_t got = buffer.size() - zs.avail_out;
            if (got > limit - produced) {
                error = Error::TooLarge;
                break;
            }
            produced += got;
            if (got > 0 && !sink(std::span(buffer.data(), got))) {
                error = Error::SinkFailed;
                break;
            }
            if (status == Z_STREAM_END)
                break;
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
            if (zs.avail_in == 0 && pos == input.size() && zs.avail_out != 0) {
                error = Error::Truncated;
                break;
            }
        }
    } catch (const std::bad_alloc&) {
        error = Error::OutOfMemory;
    }
    const bool allUsed = zs.avail_in == 0 && pos == input.size();
    inflateEnd(&zs);
    // zlib reports success at the end of the stream whatever follows it.
    if (error == Error::None && !allUsed)
        error = Error::TrailingData;
    return error;
}

Error containerTo(Input& input, std::uint32_t decompressedSize, const Sink& sink, std::size_t limit) {
    std::size_t produced = 0;
    const Error error = inflateTo(input, containerHeaderSize, sink, limit, produced);
    if (error == Error::None && produced != decompressedSize)
        return Error::SizeMismatch;
    return error;
}

bool readExactly(Input& input, std::uint64_t offset, std::span<unsigned char> out) {
    std::size_t done = 0;
    while (done < out.size()) {
        const std::span<const unsigned char> piece = input.read(offset + done, out.size() - done);
        if (piece.empty())
            return false;
        std::copy(piece.begin(), piece.end(), out.begin() + std::ptrdiff_t(done));
        done += piece.size();
    }
    return true;
}

bool discard(std::span<const unsigned char>) {
    return true;
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
    case Error::SinkFailed:
        return "the output could not be written";
    case Error::ReadFailed:
        return "the input could not be read";
    }
    return "unknown error";
}

Error compressTo(std::span<const unsigned char> input, const Sink& sink) {
    SpanInput in(input);
    return compressTo(in, sink);
}

Error compressTo(Input& input, const Sink& sink) {
    z_stream zs{};
    if (deflateInit(&zs, Z_DEFAULT_COMPRESSION) != Z_OK)
        return Error::OutOfMemory;
    Error error = Error::None;
    std::uint64_t pos = 0;
    try {
        Bytes buffer(outputChunk);
        int status = Z_OK;
        while (status != Z_STREAM_END) {
            if (!refill(input, zs, pos)) {
                error = Error::ReadFailed;
                break;
            }
            zs.next_out = buffer.data();
            zs.avail_out = uInt(buffer.size());
            status = deflate(&zs, pos == input.size() ? Z_FINISH : Z_NO_FLUSH);
            if (status == Z_STREAM_ERROR) {
                error = Error::OutOfMemory;
                break;
            }
            const std::size_t got = buffer.size() - zs.avail_out;
            if (got > 0 && !sink(std::span(buffer.data(), got))) {
                error = Error::SinkFailed;
                break;
            }
        }
    } catch (const std::bad_alloc&) {
        error = Error::OutOfMemory;
    }
    deflateEnd(&zs);
    return error;
}

Result compress(std::span<const unsigned char> input) {
    Result result;
    result.error = compressTo(input, appendTo(result.data));
    if (!result.ok())
        result.data.clear();
    return result;
}

Result decompressStream(std::span<const unsigned char> input, std::size_t limit) {
    Result result;
    SpanInput in(input);
    std::size_t produced = 0;
    result.error = inflateTo(in, 0, appendTo(result.data), limit, produced);
    if (!result.ok())
        result.data = {};
    return result;
}

Error decompressTo(std::span<const unsigned char> input, const Sink& sink, std::size_t limit, Form* form) {
    SpanInput in(input);
    return decompressTo(in, sink, limit, form);
}

Error decompressTo(Input& input, const Sink& sink, std::size_t limit, Form* form) {
    std::array<unsigned char, containerHeaderSize> head{};
    bool container = false;
    if (input.size() > containerHeaderSize) {
        if (!readExactly(input, 0, head))
            return Error::ReadFailed;
        container = le32(head.data() + 8) == input.size() - containerHeaderSize;
    }
    const Form bare;
    Form wrapped{true, {}};
    std::copy_n(head.begin(), wrapped.signature.size(), wrapped.signature.begin());
    const auto readAs = [form](const Form& which, Error error) {
        if (form && error == Error::None)
            *form = which;
        return error;
    };
    std::size_t produced = 0;
    if (!container) {
        const Error plain = inflateTo(input, 0, sink, limit, produced);
        // A container header whose stream size is wrong: the stream behind
        // it reads, so the cause to name is the header's sizes.
        if (plain == Error::Corrupt && input.size() > containerHeaderSize && !looksLikeZlibHeader(head)) {
            std::size_t ignored = 0;
            if (inflateTo(input, containerHeaderSize, discard, limit, ignored) == Error::None)
                return Error::SizeMismatch;
        }
        return readAs(bare, plain);
    }
    const std::uint32_t decompressedSize = le32(head.data() + 12);
    if (!looksLikeZlibHeader(head))
        return readAs(wrapped, containerTo(input, decompressedSize, sink, limit));
    // A signature that happens to look like a zlib header: the plain reading
    // is tried first without output, so that its failure leaves the sink
    // untouched, and only a reading known to succeed is repeated into it.
    const Error plain = inflateTo(input, 0, discard, limit, produced);
    if (plain == Error::ReadFailed)
        return plain;
    if (plain == Error::None)
        return readAs(bare, inflateTo(input, 0, sink, limit, produced));
    return readAs(wrapped, containerTo(input, decompressedSize, sink, limit));
}

FormResult formOf(std::span<const unsigned char> input, std::size_t limit) {
    SpanInput in(input);
    return formOf(in, limit);
}

FormResult formOf(Input& input, std::size_t limit) {
    FormResult result;
    result.error = decompressTo(input, discard, limit, &result.form);
    return result;
}

std::optional<Bytes> inForm(const Form& form, std::span<const unsigned char> stream,
                            std::uint64_t decompressedSize) {
    if (!form.container)
        return Bytes(stream.begin(), stream.end());
    constexpr std::uint64_t most = std::numeric_limits<std::uint32_t>::max();
    if (stream.size() > most || decompressedSize > most)
        return std::nullopt;
    Bytes file(form.signature.begin(), form.signature.end());
    for (const std::uint64_t size : {std::uint64_t(stream.size()), decompressedSize})
        for (int shift = 0; shift < 32; shift += 8)
            file.push_back(static_cast<unsigned char>(size >> shift));
    file.insert(file.end(), stream.begin(), stream.end());
    return file;
}

Result decompress(std::span<const unsigned char> input, std::size_t limit) {
    Result result;
    result.error = decompressTo(input, appendTo(result.data), limit);
    if (!result.ok())
        result.data = {};
    return result;
}

bool givesBack(std::span<const unsigned char> file, std::span<const unsigned char> table, const Form& form) {
    Form readBack;
    std::size_t compared = 0;
    const Error error = decompressTo(
        file,
        [&](std::span<const unsigned char> piece) {
            if (piece.size() > table.size() - compared ||
                !std::equal(piece.begin(), piece.end(), table.begin() + std::ptrdiff_t(compared)))
                return false;
            compared += piece.size();
            return true;
        },
        maxDecompressedSize, &readBack);
    return error == Error::None && compared == table.size() && readBack == form;
}

} // namespace compression
