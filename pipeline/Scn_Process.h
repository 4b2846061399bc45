#pragma once

#include "platform/Platform.h"

#include <QString>
#include <QStringList>

// Runs one command line (a program path and its arguments, each with its own
// quoting) and waits until it has ended, while the window keeps processing
// its events. The pipeline makes a fresh one for every run of zlibtool.
class Scn_Process {
public:
    explicit Scn_Process(ProcessRunner& runner) : m_runner(runner) {}

    // The tool's window is always hidden, whatever WindowStyle says (every
    // caller passes 0). Returns the program's exit code, or -1 when nothing
    // could be started or it did not end normally.
    int Run_Process(const QString& Path, int WindowStyle);
    // The same run, telling how it ended and what the program wrote to its
    // error output.
    ProcessOutcome run(const QString& commandLine);

    // Splits a command line the way Windows does for a program's arguments:
    // blanks and tabs separate, double quotes group, backslashes are literal
    // except before a double quote. The program name (the first piece) ends at
    // its closing quote or the first blank and knows no escapes.
    static QStringList splitCommandLine(const QString& commandLine);

private:
    ProcessRunner& m_runner;
};
