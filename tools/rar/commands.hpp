#pragma once

#include "cmdline.hpp"

namespace rar {

// Each returns one of the ExitCode values.
int runAdd(const CommandLine& line);
int runExtract(const CommandLine& line);

} // namespace rar
