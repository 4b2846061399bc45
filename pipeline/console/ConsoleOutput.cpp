#include "pipeline/console/ConsoleOutput.h"

#include <cstdio>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <string>
#endif

namespace console {

namespace {

std::FILE* fileOf(Stream stream) {
    return stream == Stream::Output ? stdout : stderr;
}

bool writeBytes(Stream stream, std::string_view utf8) {
    return std::fwrite(utf8.data(), 1, utf8.size(), fileOf(stream)) == utf8.size() &&
           std::fflush(fileOf(stream)) == 0;
}

#ifdef _WIN32

// Consoles refuse very long writes on some Windows versions.
constexpr std::size_t consolePiece = 8192;

bool writeWide(HANDLE console, std::string_view utf8) {
    std::wstring wide;
    if (!utf8.empty()) {
        const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
        if (length <= 0)
            return false;
        wide.resize(std::size_t(length));
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), wide.data(), length);
    }
    for (std::size_t at = 0; at < wide.size();) {
        std::size_t count = std::min(consolePiece, wide.size() - at);
        // A pair of surrogates stays in one piece.
        if (at + count < wide.size() && IS_HIGH_SURROGATE(wide[at + count - 1]))
            --count;
        DWORD written = 0;
        if (!WriteConsoleW(console, wide.data() + at, DWORD(count), &written, nullptr) || written == 0)
            return false;
        at += written;
    }
    return true;
}

#endif

} // namespace

void useBinaryStreams() {
#ifdef _WIN32
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
}

bool write(Stream stream, std::string_view utf8) {
#ifdef _WIN32
    const HANDLE handle = GetStdHandle(stream == Stream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
        // Whatever went through the C runtime first comes first.
        std::fflush(fileOf(stream));
        return writeWide(handle, utf8);
    }
#endif
    return writeBytes(stream, utf8);
}

} // namespace console
