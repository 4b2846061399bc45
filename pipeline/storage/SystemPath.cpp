#include "pipeline/storage/FileStore.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace storage {

namespace fs = std::filesystem;

fs::path pathFromUtf8(std::string_view text) {
    // From UTF-8 explicitly: on Windows a path made from a plain string would
    // be read in the ANSI code page; elsewhere the bytes are kept as they are.
    return fs::path(std::u8string(reinterpret_cast<const char8_t*>(text.data()), text.size()));
}

std::string utf8Of(const fs::path& path) {
#ifdef _WIN32
    const std::wstring& wide = path.native();
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string text(std::size_t(size > 0 ? size : 0), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), text.data(), size, nullptr, nullptr);
    return text;
#else
    return path.native();
#endif
}

fs::path systemPath(const fs::path& path) {
#ifdef _WIN32
    const std::wstring& given = path.native();
    const auto prefixed = [](const std::wstring& text) {
        return text.starts_with(LR"(\\?\)") || text.starts_with(LR"(\\.\)");
    };
    if (given.empty() || prefixed(given))
        return path;
    // Resolved as Windows would resolve it without the prefix, which turns
    // off every rewriting of the path.
    std::wstring full(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 3; ++attempt) {
        const DWORD length = GetFullPathNameW(given.c_str(), DWORD(full.size()), full.data(), nullptr);
        if (length == 0)
            return path;
        if (length >= full.size()) {
            full.resize(length); // too small: length counts the terminating zero
            continue;
        }
        full.resize(length);
        if (prefixed(full)) // a device, such as NUL
            return full;
        if (full.starts_with(LR"(\\)"))
            return LR"(\\?\UNC\)" + full.substr(2);
        return LR"(\\?\)" + full;
    }
    return path;
#else
    return path;
#endif
}

} // namespace storage
