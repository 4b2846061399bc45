#pragma once

#include <QFont>
#include <QString>

// The fonts of Vestrel's window. The design's font is "MS Sans Serif" at
// 8.25 points; where it is not installed (never on Linux, nor under wine),
// every platform falls back to the same face: Liberation Sans, which Vestrel
// carries in its resources (SIL Open Font License, main_window/fonts/). It
// has the widths of Arial, and its own bold.
namespace WindowFonts {

inline const QString fallbackFamily = QStringLiteral("Liberation Sans");

// Makes the carried faces known, lets every font that names "MS Sans Serif"
// (the buttons' saved fonts too) fall back to them, and makes the window's
// regular font the application's, for message boxes and menus. Runs once.
void install();

QFont regular();
QFont bold();

} // namespace WindowFonts
