// rar: the archiver Velmorado runs to pack and unpack the files it moves.

#include "cmdline.hpp"
#include "commands.hpp"
#include "exitcode.hpp"
#include "fsutil.hpp"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
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
        rar::useUtf8Names(); // the names are only known as they are read
        return rar::runExtract(parsed.line);
    }
    return rar::ExitFatal;
}
