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
    // through the locale's character set (as do fnmatch and the printing of
    // names), so make sure it is a UTF-8 one. That is all the archiver takes
    // from the locale: its messages, numbers and error texts stay in the C
    // locale whatever the user's language (the engine reads some of them),
    // and it formats no dates. Loading only this one part spares reading
    // the files of the other eleven at every start.
    std::setlocale(LC_CTYPE, "");
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
