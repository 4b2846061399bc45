#pragma once

#include <QString>

// The file name of a program the build made: Windows programs end in ".exe".
inline QString programFile(const QString& path) {
#ifdef Q_OS_WIN
    return path + QStringLiteral(".exe");
#else
    return path;
#endif
}
