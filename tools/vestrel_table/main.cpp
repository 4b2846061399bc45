#include "tools/vestrel_table/Commands.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv) {
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
