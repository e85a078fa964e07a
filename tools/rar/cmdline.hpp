#pragma once

#include <string>
#include <vector>

namespace rar {

enum class Command { Help, Add, Extract };

struct CommandLine {
    Command command = Command::Help;
    std::string archive;
    std::string wildcard;       // Add only
    bool keepStreams = false;   // -os: store user.* extended attributes
    bool deleteSources = false; // -df: delete files once archived
    bool rar5 = false;          // -ma5: write a RAR 5 archive (Add only)
    std::string unflushed;      // -ns<wildcard>: files extracted without a flush (Extract only)
};

struct ParsedCommandLine {
    bool ok = false;
    CommandLine line;
    std::string error; // set when !ok
};

// Parses argv[1..]. Switches may stand anywhere after the command; "--" ends them.
ParsedCommandLine parseCommandLine(const std::vector<std::string>& args);

const char* usageText();

} // namespace rar
