#include "ball_table/CodePage.h"

#include <QHash>
#include <QStringDecoder>

#if __has_include(<iconv.h>)
#include <iconv.h>
#define VESTREL_HAVE_ICONV 1
#endif

namespace {

constexpr char16_t replacementCharacter = 0xFFFD;

// Some converters hand an undefined byte of 0x80..0x9F through as the C1
// control of the same number; Windows-1250 defines no C1 control, so such a
// result means "undefined".
char16_t definedOrReplacement(char16_t c, unsigned byte) {
    if (byte >= 0x80 && c >= 0x80 && c <= 0x9F)
        return replacementCharacter;
    return c;
}

struct EncodeMap {
    std::array<unsigned char, 256> latin{}; // characters below U+0100
    std::array<bool, 256> latinKnown{};
    QHash<char16_t, unsigned char> others;
};

const EncodeMap& encodeMap() {
    static const EncodeMap map = [] {
        EncodeMap m;
        const CodePageTable& table = windows1250Table();
        for (unsigned byte = 0; byte < 256; ++byte) {
            const char16_t c = table[byte];
            if (c == replacementCharacter)
                continue;
            if (c < 0x100) {
                m.latin[c] = static_cast<unsigned char>(byte);
                m.latinKnown[c] = true;
            } else {
                m.others.insert(c, static_cast<unsigned char>(byte));
            }
        }
        return m;
    }();
    return map;
}

} // namespace

std::optional<CodePageTable> windows1250TableFromQt() {
    QStringDecoder probe("windows-1250");
    if (!probe.isValid())
        return std::nullopt;
    CodePageTable table{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        QStringDecoder decoder("windows-1250");
        const char b = static_cast<char>(byte);
        const QString s = decoder(QByteArrayView(&b, 1));
        const char16_t c = (s.size() == 1 && !decoder.hasError()) ? s.at(0).unicode() : replacementCharacter;
        table[byte] = definedOrReplacement(c, byte);
    }
    return table;
}

std::optional<CodePageTable> windows1250TableFromIconv() {
#ifdef VESTREL_HAVE_ICONV
    iconv_t cd = iconv_open("UTF-16LE", "WINDOWS-1250");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    CodePageTable table{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char in = static_cast<char>(byte);
        char out[8] = {};
        char* inPtr = &in;
        char* outPtr = out;
        size_t inLeft = 1;
        size_t outLeft = sizeof out;
        const size_t done = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        if (done == static_cast<size_t>(-1) || sizeof out - outLeft != 2) {
            table[byte] = replacementCharacter;
            continue;
        }
        const auto c = static_cast<char16_t>(static_cast<unsigned char>(out[0]) |
                                             (static_cast<unsigned char>(out[1]) << 8));
        table[byte] = definedOrReplacement(c, byte);
    }
    iconv_close(cd);
    return table;
#else
    return std::nullopt;
#endif
}

const CodePageTable& windows1250Table() {
    static const CodePageTable table = [] {
        if (auto fromQt = windows1250TableFromQt())
            return *fromQt;
        if (auto fromIconv = windows1250TableFromIconv())
            return *fromIconv;
        // Without either converter only ASCII is certain.
        CodePageTable ascii{};
        for (unsigned byte = 0; byte < 256; ++byte)
            ascii[byte] = byte < 0x80 ? static_cast<char16_t>(byte) : replacementCharacter;
        return ascii;
    }();
    return table;
}

QString decodeWindows1250(QByteArrayView bytes) {
    const CodePageTable& table = windows1250Table();
    QString text(bytes.size(), Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    for (qsizetype i = 0; i < bytes.size(); ++i)
        out[i] = table[static_cast<unsigned char>(bytes[i])];
    return text;
}

QByteArray encodeWindows1250(QStringView text) {
    const EncodeMap& map = encodeMap();
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x100) {
            bytes.append(map.latinKnown[c] ? static_cast<char>(map.latin[c]) : '?');
            continue;
        }
        // A character outside the basic plane is one '?', not two.
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode()))
            ++i;
        const auto found = map.others.constFind(c);
        bytes.append(found != map.others.cend() ? static_cast<char>(*found) : '?');
    }
    return bytes;
}
