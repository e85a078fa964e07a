#pragma once

#include <QString>

#include <functional>

namespace config {

// Shows text (the window layer installs a message box; the default writes to
// standard error) and ends the program at once, saving nothing.
[[noreturn]] void fatalError(const QString& text);

// The window layer replaces how the message is shown; the end stays the same.
void setFatalMessageHandler(std::function<void(const QString&)> handler);

// Exit status of a fatal end.
inline constexpr int kFatalExitCode = 3;

} // namespace config
