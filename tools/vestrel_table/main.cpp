#include "pipeline/console/ConsoleOutput.h"
#include "pipeline/table_file/StoragePath.h"
#include "tools/vestrel_table/Commands.h"

#include <QCoreApplication>

#include <csignal>
#include <new>
#include <string_view>

namespace {

std::string_view viewOf(const QByteArray& bytes) {
    return {bytes.constData(), std::size_t(bytes.size())};
}

} // namespace

int main(int argc, char** argv) {
#ifdef SIGXFSZ
    // A write past the file-size limit then fails with EFBIG and is reported
    // like any other failed write, instead of ending the program unexplained.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    // An export to standard output must be the same bytes as one written
    // with -o, and the messages end their lines as on every other system.
    console::useBinaryStreams();
    QCoreApplication app(argc, argv);
#ifdef Q_OS_WIN
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
#else
    // From the bytes themselves: Qt's reading of them loses every byte that
    // is not UTF-8, and a file name may hold such bytes.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << table_file::argumentText(argv[i]);
#endif
    vestrel_table::Output output;
    int code = 1;
    try {
        code = vestrel_table::run(arguments, output);
    } catch (const std::bad_alloc&) {
        // Files are replaced only as a whole, by a call that reports its own
        // lack of memory: one that was already replaced says so.
        output.out.clear();
        output.err = output.wroteFile ? "vestrel-table: not enough memory after the file was written\n"
                                      : "vestrel-table: not enough memory; nothing was written\n";
        code = 1;
    }
    const bool written = console::write(console::Stream::Output, viewOf(output.out));
    console::write(console::Stream::Error, viewOf(output.err));
    if (!written) {
        console::write(console::Stream::Error, "vestrel-table: cannot write to standard output\n");
        return 1;
    }
    return code;
}
