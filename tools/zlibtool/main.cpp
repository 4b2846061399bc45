#include "pipeline/console/ConsoleOutput.h"
#include "tools/zlibtool/ToolRun.h"

#include <csignal>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include <cwchar>
#include <shellapi.h>
#endif

namespace {

// The arguments after the program's name, in UTF-8 on Windows. There the
// narrow argv is in the ANSI code page, which cannot hold every letter a
// file name can, so the wide command line is read instead.
std::vector<std::string> arguments([[maybe_unused]] int argc, [[maybe_unused]] char** argv) {
#ifdef _WIN32
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 1; wide && i < count; ++i) {
        const int length = int(wcslen(wide[i]));
        std::string arg(
            std::size_t(WideCharToMultiByte(CP_UTF8, 0, wide[i], length, nullptr, 0, nullptr, nullptr)),
            '\0');
        WideCharToMultiByte(CP_UTF8, 0, wide[i], length, arg.data(), int(arg.size()), nullptr, nullptr);
        args.push_back(std::move(arg));
    }
    LocalFree(wide);
    return args;
#else
    return std::vector<std::string>(argv + 1, argv + argc);
#endif
}

} // namespace

int main(int argc, char** argv) {
#ifdef SIGXFSZ
    // A write past the file-size limit then fails with EFBIG and is reported
    // like any other failed write, instead of ending the tool unexplained.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    console::useBinaryStreams();
    std::ostringstream messages;
    const int code = zlibtool::run(arguments(argc, argv), messages);
    console::write(console::Stream::Error, messages.str());
    return code;
}
