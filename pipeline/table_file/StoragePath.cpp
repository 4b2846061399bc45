#include "pipeline/table_file/StoragePath.h"

#include <utility>

namespace table_file {

namespace {

// The code point of the UTF-8 sequence at `at`, and its length; length 0
// when the bytes there are no valid sequence (overlong forms, surrogates
// and code points past U+10FFFF included).
std::pair<char32_t, int> utf8At(QByteArrayView bytes, qsizetype at) {
    const auto lead = uchar(bytes[at]);
    if (lead < 0x80)
        return {lead, 1};
    const int length = lead >= 0xC2 && lead < 0xE0   ? 2
                       : lead >= 0xE0 && lead < 0xF0 ? 3
                       : lead >= 0xF0 && lead < 0xF5 ? 4
                                                     : 0;
    if (length == 0 || at + length > bytes.size())
        return {0, 0};
    char32_t code = lead & (0x7F >> length);
    for (int i = 1; i < length; ++i) {
        const auto next = uchar(bytes[at + i]);
        if ((next & 0xC0) != 0x80)
            return {0, 0};
        code = code << 6 | (next & 0x3F);
    }
    const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000))
        return {0, 0};
    return {code, length};
}

} // namespace

QString argumentText(QByteArrayView bytes) {
    QString text;
    text.reserve(bytes.size());
    for (qsizetype at = 0; at < bytes.size();) {
        const auto [code, length] = utf8At(bytes, at);
        if (length == 0) {
            text += QChar(char16_t(0xDC00 + uchar(bytes[at])));
            ++at;
            continue;
        }
        const char32_t one[] = {code};
        text += QString::fromUcs4(one, 1);
        at += length;
    }
    return text;
}

std::filesystem::path storagePath(const QString& path) {
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    std::string bytes;
    bytes.reserve(std::size_t(path.size()));
    for (qsizetype i = 0; i < path.size(); ++i) {
        const char16_t unit = path[i].unicode();
        if (unit >= 0xDC80 && unit <= 0xDCFF && (i == 0 || !path[i - 1].isHighSurrogate())) {
            bytes += char(unit - 0xDC00);
            continue;
        }
        qsizetype end = i + 1;
        if (QChar::isHighSurrogate(unit) && end < path.size() && path[end].isLowSurrogate())
            ++end;
        bytes += QStringView(path).sliced(i, end - i).toUtf8().toStdString();
        i = end - 1;
    }
    return std::filesystem::path(bytes);
#endif
}

QString qtPath(const std::filesystem::path& path) {
#ifdef Q_OS_WIN
    return QString::fromStdWString(path.native());
#else
    return argumentText(QByteArrayView(path.native().data(), qsizetype(path.native().size())));
#endif
}

std::optional<storage::FileStatus> statusOf(const QString& path) {
    storage::FileStatus status;
    if (storage::systemFileCalls().pathStatus(storagePath(path), status) != 0)
        return std::nullopt;
    return status;
}

bool sameFile(const QString& a, const QString& b) {
    const std::optional<storage::FileStatus> first = statusOf(a);
    const std::optional<storage::FileStatus> second = statusOf(b);
    return first && second && first->device == second->device && first->index == second->index;
}

QString describe(const storage::Outcome& outcome, bool withAfter) {
    const std::string text = outcome.describe(withAfter);
    QString described = QString::fromUtf8(text.data(), qsizetype(text.size()));
    // The undo copy's path is the system's; show it as Qt shows paths.
    if (!outcome.undoCopy.empty())
        described.replace(QString::fromStdString(storage::utf8Of(outcome.undoCopy)),
                          qtPath(outcome.undoCopy));
    return described;
}

} // namespace table_file
