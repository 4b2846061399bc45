#include "tools/vestrel_table/Commands.h"

#include <QCoreApplication>

#include <cstdio>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#endif

int main(int argc, char** argv) {
#ifdef Q_OS_WIN
    // The C runtime's text mode would turn every "\n" into "\r\n": an export
    // to standard output must be the same bytes as one written with -o, and
    // the messages end their lines as on every other system.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    QCoreApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    vestrel_table::Output output;
    const int code = vestrel_table::run(arguments, output);
    std::fwrite(output.out.constData(), 1, std::size_t(output.out.size()), stdout);
    std::fwrite(output.err.constData(), 1, std::size_t(output.err.size()), stderr);
    if (std::fflush(stdout) != 0) {
        std::fputs("vestrel-table: cannot write to standard output\n", stderr);
        return 1;
    }
    return code;
}
