// The program the process tests run, the same on every system (Windows has
// no /bin/sh to script one). Its arguments are steps done in order:
//   sleep <ms> | touch <file> | stderr <count> <line> | accented | exit <code> | crash
// ("stderr" writes <count> letters and a line break, then <line>;
// "accented" writes a line with Polish letters in UTF-8, as zlibtool writes
// its paths).
// "exit" ends it at once, so that anything after it shows whether someone
// other than the program itself read the command line. Its output is in
// binary mode, as zlibtool's is.
#include "pipeline/console/ConsoleOutput.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#endif

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>

int main(int argc, char** argv) {
    console::useBinaryStreams();
    for (int i = 1; i < argc; ++i) {
        const std::string step = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : "";
        if (step == "sleep") {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(value)));
            ++i;
        } else if (step == "touch") {
            std::ofstream{value};
            ++i;
        } else if (step == "stderr" && i + 2 < argc) {
            std::cerr << std::string(std::size_t(std::atoi(value)), 'x') << '\n' << argv[i + 2] << std::endl;
            i += 2;
        } else if (step == "accented") {
            std::cerr << "zlibtool: cannot open pi\xc5\x82ka \xc5\xbc\xc3\xb3\xc5\x82ta.bin" << std::endl;
        } else if (step == "exit") {
            return std::atoi(value);
        } else if (step == "crash") {
#ifdef _WIN32
            // Ends the way Windows ends a program that faulted, without
            // starting a debugger.
            TerminateProcess(GetCurrentProcess(), 0xC0000005);
#else
            std::raise(SIGKILL);
#endif
        }
    }
    return 0;
}
