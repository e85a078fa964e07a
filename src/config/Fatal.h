#pragma once

#include <QString>

#include <functional>

namespace config {

// Writes text to standard error and to the system log, shows it (the window
// layer installs a message box where somebody can see one) and ends the
// program at once with kFatalExitCode, saving nothing.
[[noreturn]] void fatalError(const QString& text);

// The window layer replaces how the message is shown; the end stays the same.
void setFatalMessageHandler(std::function<void(const QString&)> handler);

// Exit status of a fatal end.
inline constexpr int kFatalExitCode = 3;

} // namespace config
