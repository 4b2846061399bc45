#include "ball_table/EditRules.h"

#include "ball_table/NumberText.h"

std::optional<std::int16_t> newBallId(double typed) {
    constexpr double highestNewId = 15000;
    const double v = roundHalfEven(typed - 1.0);
    if (!(v >= 0 && v < highestNewId))
        return std::nullopt;
    return static_cast<std::int16_t>(v + 1);
}

QString listLine(int position, const QString& name) {
    return QString::number(position) + QStringLiteral(" : ") + name;
}
