#pragma once

#include <QString>
#include <QStringView>

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

// A name as the name box takes it when typed or pasted: composed, each line
// break (CR LF, CR, LF, VT, FF, NEL, U+2028, U+2029) and each tab one space,
// every other control character left out, and what the code page cannot
// hold '?' (BallFile::storableText). A name read from a file keeps its
// control characters; they are only kept out of what the user enters.
QString typedName(QStringView text);

// Stands for each control character of a name in the list: U+25E6 WHITE
// BULLET. No name can hold it (it is not in Windows-1250), so it is never
// taken for a character of the name, and Vestrel's own font has it.
inline constexpr char16_t controlMark = u'\u25E6';

// A ball's line in the list: its 1-based position, " : " and its name, each
// control character of the name (a line break read from a file) shown as
// controlMark, so that the line stays one line.
QString listLine(int position, const QString& name);
