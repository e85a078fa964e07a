#pragma once

#include <QString>

namespace platform {

// Runs text through the shell (/bin/sh -c text) and returns at once, without
// waiting for it and without leaving a zombie behind. programFolder goes first
// on PATH, so that a command of the program's own folder (a "net" helper, for
// example) is found before the system's. The child gets no terminal: its
// standard streams are /dev/null. False when the shell could not be started.
// This is how "command.com /c " + text is run on Linux.
bool runShellCommandDetached(const QString& text, const QString& programFolder);

// The command line of the network message: "net send " + message.
QString netSendCommand(const QString& message);

} // namespace platform
