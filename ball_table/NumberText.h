#pragma once

#include <QLocale>
#include <QString>

#include <cstdint>
#include <optional>

// Numbers typed by the user, read in the user's own notation. Shared by the
// ball table and the window's field boxes so that both read alike.

// The text as a number in the locale's notation: optional sign, digits,
// optional fraction with the locale's decimal separator, group separators
// where the locale puts them, an optional exponent; blanks around are
// ignored. Empty text, anything else and infinities or NaN give nullopt.
std::optional<double> readLocaleNumber(const QString& text, const QLocale& locale = QLocale());

// Rounds to the nearest integer, an exact half going to the even neighbour
// (2.5 gives 2, 3.5 gives 4, -0.5 gives 0).
double roundHalfEven(double value);

// A number as a field's 16-bit value: rounded half to even; nullopt outside
// -32768..32767.
std::optional<std::int16_t> toFieldValue(double value);

// The text as a field's 16-bit value, nullopt when it is empty, not a number
// or out of range (for callers that refuse such text instead of storing 0).
std::optional<std::int16_t> readFieldValue(const QString& text, const QLocale& locale = QLocale());

// A field box's text as a 16-bit value: read, rounded half to even; 0 when
// the text is empty, not a number or outside -32768..32767.
std::int16_t fieldValue(const QString& text, const QLocale& locale = QLocale());
