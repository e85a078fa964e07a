#include "cmdline.hpp"

#include <algorithm>
#include <cctype>

namespace rar {

namespace {

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

ParsedCommandLine failure(std::string message) {
    ParsedCommandLine result;
    result.error = std::move(message);
    return result;
}

} // namespace

const char* usageText() {
    return "Usage: rar <command> [-<switch> ...] <archive> [<wildcard>]\n"
           "\n"
           "Commands:\n"
           "  a [-ma5] -os <archive> <wildcard> -df\n"
           "        Add the regular files matching <wildcard> (? and * in its last\n"
           "        component) to a new <archive>, which replaces any file of that name.\n"
           "  e [-ns<wildcard>] <archive>\n"
           "        Extract the regular files of <archive> into the current folder,\n"
           "        without their stored paths. Each file is on disk (flushed) before\n"
           "        it takes its name.\n"
           "  -?    Show this help.\n"
           "\n"
           "Switches:\n"
           "  -os   Store and restore streams (user.* extended attributes).\n"
           "  -df   Delete the added files once the archive is safely written.\n"
           "  -ns<wildcard>\n"
           "        Files extracted whose names match <wildcard> are not flushed: for\n"
           "        files that the caller reads at once and throws away.\n"
           "  -ma5  Write a RAR 5 archive for Windows machines: files stored, not\n"
           "        compressed; with -os each user.* attribute goes with its file as an\n"
           "        NTFS stream: user.DosStream.NAME:$DATA (Samba's form of the stream\n"
           "        NAME) as :NAME, any other user.X as :velmorado.xattr.X with every\n"
           "        byte of X but a-z 0-9 . _ - written %XX. e restores both.\n"
           "  --    No switches follow.\n"
           "\n"
           "Exit codes: 0 success, 1 warning, 2 fatal error, 3 CRC error, 7 bad command line.\n";
}

ParsedCommandLine parseCommandLine(const std::vector<std::string>& args) {
    if (args.empty()) {
        return failure("no command given");
    }
    for (const std::string& arg : args) {
        if (arg == "--") {
            break;
        }
        if (arg == "-?") {
            ParsedCommandLine help;
            help.ok = true;
            help.line.command = Command::Help;
            return help;
        }
    }

    ParsedCommandLine result;
    const std::string command = lower(args[0]);
    if (command == "a") {
        result.line.command = Command::Add;
    } else if (command == "e") {
        result.line.command = Command::Extract;
    } else {
        return failure("unknown command '" + args[0] + "'");
    }
    const bool adding = result.line.command == Command::Add;

    std::vector<std::string> operands;
    bool switchesEnded = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!switchesEnded && arg == "--") {
            switchesEnded = true;
        } else if (!switchesEnded && arg.size() > 1 && arg[0] == '-') {
            const std::string name = lower(arg.substr(1));
            if (name == "os") {
                result.line.keepStreams = true;
            } else if (name == "df" && adding) {
                result.line.deleteSources = true;
            } else if (name == "ma5" && adding) {
                result.line.rar5 = true;
            } else if (name.size() > 2 && name.compare(0, 2, "ns") == 0 && !adding) {
                result.line.unflushed = arg.substr(3);
            } else {
                return failure("unknown switch '" + arg + "' for command '" + args[0] + "'");
            }
        } else {
            operands.push_back(arg);
        }
    }

    const size_t wanted = adding ? 2 : 1;
    if (operands.empty()) {
        return failure("missing archive name");
    }
    if (operands.size() < wanted) {
        return failure("missing file wildcard after the archive name");
    }
    if (operands.size() > wanted) {
        return failure("unexpected argument '" + operands[wanted] + "'");
    }
    if (operands[0].empty() || operands[0].back() == '/') {
        return failure("'" + operands[0] + "' does not name an archive file");
    }
    if (adding && (operands[1].empty() || operands[1].back() == '/')) {
        return failure("the wildcard '" + operands[1] + "' does not end in a file name pattern");
    }
    result.line.archive = operands[0];
    if (adding) {
        result.line.wildcard = operands[1];
    }
    result.ok = true;
    return result;
}

} // namespace rar
