#include "ball_table/EditRules.h"

#include "ball_table/BallFile.h"
#include "ball_table/NumberText.h"

std::optional<std::int16_t> newBallId(double typed) {
    constexpr double highestNewId = 15000;
    const double v = roundHalfEven(typed - 1.0);
    if (!(v >= 0 && v < highestNewId))
        return std::nullopt;
    return static_cast<std::int16_t>(v + 1);
}

namespace {

bool isLineBreak(char16_t c) {
    return c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f' || c == 0x85 || c == 0x2028 || c == 0x2029;
}

} // namespace

QString typedName(QStringView text) {
    QString kept;
    kept.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            continue; // CR LF is one line break: the LF makes the space
        if (isLineBreak(c) || c == u'\t')
            kept += u' ';
        else if (QChar::category(c) != QChar::Other_Control)
            kept += QChar(c);
    }
    return BallFile::storableText(kept);
}

QString listLine(int position, const QString& name) {
    QString line = QString::number(position) + QStringLiteral(" : ") + name;
    for (QChar& c : line)
        if (c.category() == QChar::Other_Control)
            c = QChar(controlMark);
    return line;
}
