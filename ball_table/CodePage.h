#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <array>
#include <optional>

// Ball names are stored in the game's 8-bit code page, Windows-1250 (Central
// European). Every byte reads as a character of its own and writes back as
// the same byte: the five bytes the code page leaves undefined (0x81, 0x83,
// 0x88, 0x90, 0x98) read as the C1 controls of the same value. Text is
// composed (Unicode NFC) before it is written, so that a letter followed by a
// combining accent, as macOS and some web pages give it, is written as the
// accented letter the code page holds. Characters it cannot represent are
// written as '?'.

QString decodeWindows1250(QByteArrayView bytes);
QByteArray encodeWindows1250(QStringView text);

// The text as the code page holds it: each character it cannot represent
// becomes '?', as writing it would make it.
QString representableInWindows1250(QStringView text);

// The character of every byte value. Taken from Qt's converter, or from the
// C library's iconv when Qt has none, or from our fixed copy of the code page
// when neither knows it.
using CodePageTable = std::array<char16_t, 256>;
const CodePageTable& windows1250Table();

// The same table built by each converter alone, nullopt when that converter
// does not know the code page (lets tests hold the two against each other).
std::optional<CodePageTable> windows1250TableFromQt();
std::optional<CodePageTable> windows1250TableFromIconv();
CodePageTable windows1250BuiltInTable();
