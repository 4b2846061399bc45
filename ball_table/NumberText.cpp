#include "ball_table/NumberText.h"

#include <cmath>
#include <limits>

std::optional<double> readLocaleNumber(const QString& text, const QLocale& locale) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    bool ok = false;
    const double value = locale.toDouble(trimmed, &ok);
    // QLocale also reads "inf" and "nan"; neither is a number a box can hold.
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

double roundHalfEven(double value) {
    // std::round takes halves away from zero; its distance from the value is
    // exact, so a tie is seen reliably and then moved to the even neighbour.
    const double away = std::round(value);
    if (std::fabs(away - value) == 0.5)
        return 2.0 * std::round(value / 2.0);
    return away;
}

std::optional<std::int16_t> toFieldValue(double value) {
    const double rounded = roundHalfEven(value);
    if (!(rounded >= std::numeric_limits<std::int16_t>::min() &&
          rounded <= std::numeric_limits<std::int16_t>::max()))
        return std::nullopt;
    return static_cast<std::int16_t>(rounded);
}

std::optional<std::int16_t> readFieldValue(const QString& text, const QLocale& locale) {
    const std::optional<double> number = readLocaleNumber(text, locale);
    if (!number)
        return std::nullopt;
    return toFieldValue(*number);
}

std::int16_t fieldValue(const QString& text, const QLocale& locale) {
    return readFieldValue(text, locale).value_or(0);
}
