// rar: the archiver Velmorado runs to pack and unpack the files it moves.

#include "cmdline.hpp"
#include "commands.hpp"
#include "exitcode.hpp"
#include "fsutil.hpp"

#include <clocale>
#include <cstdio>
#include <cstring>
#include <langinfo.h>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    // File names are UTF-8 on the shares we serve; libarchive converts names
    // through the locale, so make sure it is a UTF-8 one.
    std::setlocale(LC_ALL, "");
    if (std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0) {
        std::setlocale(LC_CTYPE, "C.UTF-8");
    }
    rar::TemporaryFiles::installSignalHandlers();

    const std::vector<std::string> args(argv + 1, argv + argc);
    const rar::ParsedCommandLine parsed = rar::parseCommandLine(args);
    if (!parsed.ok) {
        std::fprintf(stderr, "rar: %s\n\n%s", parsed.error.c_str(), rar::usageText());
        return rar::ExitUsage;
    }
    switch (parsed.line.command) {
    case rar::Command::Help:
        std::fputs(rar::usageText(), stdout);
        return std::fflush(stdout) == 0 ? rar::ExitSuccess : rar::ExitFatal;
    case rar::Command::Add:
        return rar::runAdd(parsed.line);
    case rar::Command::Extract:
        return rar::runExtract(parsed.line);
    }
    return rar::ExitFatal;
}
