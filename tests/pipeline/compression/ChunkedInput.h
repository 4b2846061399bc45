#pragma once

#include "pipeline/compression/ZlibStream.h"

#include <algorithm>
#include <cstring>
#include <random>

// Bytes handed out as a file would: in pieces of random size, each copied
// into a buffer that the next read overwrites, and optionally a read that
// fails from some offset on.
class ChunkedInput final : public compression::Input {
public:
    ChunkedInput(std::span<const unsigned char> bytes, std::uint32_t seed, std::size_t largestPiece,
                 std::uint64_t failFrom = UINT64_MAX)
        : m_bytes(bytes), m_random(seed), m_largest(std::max<std::size_t>(largestPiece, 1)),
          m_failFrom(failFrom) {}

    std::uint64_t size() const override { return m_bytes.size(); }

    std::span<const unsigned char> read(std::uint64_t offset, std::size_t want) override {
        const std::size_t piece = std::min(want, std::size_t(m_random() % m_largest) + 1);
        if (offset + piece > m_failFrom)
            return {};
        m_buffer.assign(m_bytes.begin() + std::ptrdiff_t(offset),
                        m_bytes.begin() + std::ptrdiff_t(offset + piece));
        return m_buffer;
    }

private:
    std::span<const unsigned char> m_bytes;
    std::mt19937 m_random;
    std::size_t m_largest;
    std::uint64_t m_failFrom;
    compression::Bytes m_buffer;
};
