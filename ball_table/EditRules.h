#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// The rules for adding and changing a ball, shared by the window and by the
// command-line table tool so that the same edit gives the same bytes.

// The list positions are 16-bit: a table holds at most this many balls, and
// no ball is added to a full one.
inline constexpr int maxBallCount = 32767;

// A new ball's producer and mode values ("Standard",
// "Acting The Mode Exibition").
inline constexpr std::int16_t newBallProducer = 5;
inline constexpr std::int16_t newBallMode = 1;

// The name box takes this many characters; the field keeps a NUL after them.
inline constexpr int maxNameBytes = 63;

// The ID a new ball gets for the typed number x: x - 1 rounded half to even
// must lie in 0..14999, and the ID is that plus one (so 1..15000; 2.5 gives 3).
// nullopt for any other number.
std::optional<std::int16_t> newBallId(double typed);

// A ball's line in the list: its 1-based position, " : " and its name.
QString listLine(int position, const QString& name);
