#pragma once

#include <QString>

#include <optional>

// The producer and mode values the game gives a name, and the texts of the
// Info > Description entries that list them.
namespace ValueSchemes {

// The name of a producer or mode value written in its plain decimal form
// ("5", "261"); nothing for any other text, "05" and " 5" included.
std::optional<QString> producerName(const QString& boxText);
std::optional<QString> modeName(const QString& boxText);

// The Info texts, lines joined by CR LF, no break after the last line.
QString modeDescription();
QString producerDescription();

} // namespace ValueSchemes
