#include "ball_table/CodePage.h"

#include <QHash>
#include <QStringDecoder>

#include <algorithm>

#if __has_include(<iconv.h>)
#include <iconv.h>
#define VESTREL_HAVE_ICONV 1
#endif

namespace {

constexpr char16_t replacementCharacter = 0xFFFD;

// The code page leaves five bytes of 0x80..0x9F undefined. Each reads as the
// C1 control of the same value, a character of its own that no defined byte
// uses, so that it writes back as the byte it came from. Converters differ
// here: some give that control already, others U+FFFD or an error.
char16_t definedOrOwnControl(char16_t c, unsigned byte) {
    if (byte >= 0x80 && byte <= 0x9F && (c == replacementCharacter || (c >= 0x80 && c <= 0x9F)))
        return static_cast<char16_t>(byte);
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
        table[byte] = definedOrOwnControl(c, byte);
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
            table[byte] = definedOrOwnControl(replacementCharacter, byte);
            continue;
        }
        const auto c = static_cast<char16_t>(static_cast<unsigned char>(out[0]) |
                                             (static_cast<unsigned char>(out[1]) << 8));
        table[byte] = definedOrOwnControl(c, byte);
    }
    iconv_close(cd);
    return table;
#else
    return std::nullopt;
#endif
}

CodePageTable windows1250BuiltInTable() {
    // Bytes 0x80 to 0xFF; the lower half is ASCII. The undefined bytes are
    // their own C1 controls, as above.
    static constexpr std::array<char16_t, 128> upperHalf = {
        0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021, 0x0088, 0x2030, 0x0160, 0x2039,
        0x015A, 0x0164, 0x017D, 0x0179, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
        0x0098, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A, 0x00A0, 0x02C7, 0x02D8, 0x0141,
        0x00A4, 0x0104, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
        0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x0105, 0x015F, 0x00BB,
        0x013D, 0x02DD, 0x013E, 0x017C, 0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
        0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E, 0x0110, 0x0143, 0x0147, 0x00D3,
        0x00D4, 0x0150, 0x00D6, 0x00D7, 0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
        0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7, 0x010D, 0x00E9, 0x0119, 0x00EB,
        0x011B, 0x00ED, 0x00EE, 0x010F, 0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
        0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
    };
    CodePageTable table{};
    for (unsigned byte = 0; byte < 0x80; ++byte)
        table[byte] = static_cast<char16_t>(byte);
    for (unsigned byte = 0x80; byte < 256; ++byte)
        table[byte] = upperHalf[byte - 0x80];
    return table;
}

const CodePageTable& windows1250Table() {
    static const CodePageTable table = [] {
        if (auto fromQt = windows1250TableFromQt())
            return *fromQt;
        if (auto fromIconv = windows1250TableFromIconv())
            return *fromIconv;
        // Qt without ICU (as on Windows) and no iconv: the fixed table.
        return windows1250BuiltInTable();
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

namespace {

// Below U+0300 every text is composed already: composing only ever joins a
// letter with a mark, or replaces a character, from U+0300 up.
bool mayNeedComposing(QStringView text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x300; });
}

QByteArray encodeComposed(QStringView text) {
    const EncodeMap& map = encodeMap();
    // One byte per character at most: written in place, then cut to size.
    QByteArray bytes(text.size(), Qt::Uninitialized);
    char* out = bytes.data();
    qsizetype written = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x100) {
            out[written++] = map.latinKnown[c] ? static_cast<char>(map.latin[c]) : '?';
            continue;
        }
        // A character outside the basic plane is one '?', not two.
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode()))
            ++i;
        const auto found = map.others.constFind(c);
        out[written++] = found != map.others.cend() ? static_cast<char>(*found) : '?';
    }
    bytes.truncate(written);
    return bytes;
}

} // namespace

QByteArray encodeWindows1250(QStringView text) {
    if (mayNeedComposing(text))
        return encodeComposed(text.toString().normalized(QString::NormalizationForm_C));
    return encodeComposed(text);
}

QString representableInWindows1250(QStringView text) {
    return decodeWindows1250(encodeWindows1250(text));
}
