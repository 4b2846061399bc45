#pragma once

#include "ball_table/Baza.h"

#include <QVector>

#include <cstdint>

// The largest table the window can list: 32,767 balls with varied names and
// values, the same for every benchmark that needs a full table.
inline constexpr int fullTableSize = 32767;

inline QVector<Ball> fullBallTable() {
    static const char* const words[] = {"Premier", "Classic", "Winter", "Cup",
                                        "Final",   "Street",  "Łódź",   "Night"};
    QVector<Ball> balls(fullTableSize);
    for (int i = 0; i < fullTableSize; ++i) {
        Ball& b = balls[i];
        b.Nazwa = QStringLiteral("Ball %1 %2 %3")
                      .arg(i)
                      .arg(QString::fromUtf8(words[i % 8]), QString(i % 20, u'x'));
        b.ID = std::int16_t(i + 1);
        b.Mode = std::int16_t(i % 5 + 1);
        b.Mode2 = std::int16_t(1 << (i % 11));
        b.Pole = std::int16_t(i % 100);
    }
    return balls;
}
