#include "pipeline/console/ConsoleOutput.h"
#include "tools/vestrel_table/Commands.h"

#include <QCoreApplication>

#include <string_view>

namespace {

std::string_view viewOf(const QByteArray& bytes) {
    return {bytes.constData(), std::size_t(bytes.size())};
}

} // namespace

int main(int argc, char** argv) {
    // An export to standard output must be the same bytes as one written
    // with -o, and the messages end their lines as on every other system.
    console::useBinaryStreams();
    QCoreApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    vestrel_table::Output output;
    const int code = vestrel_table::run(arguments, output);
    const bool written = console::write(console::Stream::Output, viewOf(output.out));
    console::write(console::Stream::Error, viewOf(output.err));
    if (!written) {
        console::write(console::Stream::Error, "vestrel-table: cannot write to standard output\n");
        return 1;
    }
    return code;
}
