#include "tools/zlibtool/ToolRun.h"

#include <csignal>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
#ifdef SIGXFSZ
    // A write past the file-size limit then fails with EFBIG and is reported
    // like any other failed write, instead of ending the tool unexplained.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    const std::vector<std::string> args(argv + 1, argv + argc);
    return zlibtool::run(args, std::cerr);
}
