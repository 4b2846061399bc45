#pragma once

#include <string_view>

// Output of the command-line programs (vestrel-table, zlibtool), whose text
// is UTF-8. Redirected to a file or a pipe it is written as those bytes, the
// same on every system. On Windows, text bound for a console is written as
// wide characters: a console shows bytes in its own code page (1250, 852,
// ...), which turned "Złota Piłka" into "Z┼éota Pi┼éka".
namespace console {

enum class Stream { Output, Error };

// Puts standard input, output and error in binary mode on Windows, where the
// C runtime's text mode would turn every "\n" into "\r\n" (and stop reading
// at a ^Z); nothing elsewhere. Called once, first thing in main.
void useBinaryStreams();

// Writes the whole text; false when it could not.
bool write(Stream stream, std::string_view utf8);

} // namespace console
