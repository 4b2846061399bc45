#pragma once

#include <QByteArray>
#include <QStringList>

// The commands of vestrel-table. Exit codes: 0 success, 1 failure or
// findings (or differences), 2 usage.
namespace vestrel_table {

struct Output {
    QByteArray out; // for stdout
    QByteArray err; // for stderr: one line per failure
    // Set once a file has been replaced, so that a later failure does not
    // claim that nothing was written.
    bool wroteFile = false;
};

// `arguments` without the program name.
int run(const QStringList& arguments, Output& output);

} // namespace vestrel_table
