#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// The network message of the unknown-folder warning: "net send RECIPIENT
// MESSAGE", where the text the user typed is "RECIPIENT MESSAGE". net is
// started directly with its arguments; no shell ever reads the text.
namespace platform {

// The arguments of net for the typed text: "send", the recipient, then the
// message. The recipient is the text's first word as the archiver's command
// line reads an argument (blanks separate, double quotes group and go:
// "John Smith" is one recipient). The message is the rest of the text as it
// stands, in one argument: quotes, apostrophes, ";", "*", "->" and the blanks
// inside it are the user's text and reach net unchanged; only the blanks
// between the recipient and the message are left out. A text of blanks gives
// "send" alone, a recipient alone gives no message argument: net refuses
// those and says why.
QStringList netSendArguments(const QString& text);

// The net that a message goes through: programFolder first, then each folder
// of PATH in turn (an empty entry is the current folder, as for a shell;
// "/usr/local/bin:/usr/bin:/bin" when PATH is unset or empty). Empty when
// none of them holds an executable regular file "net".
QString findNet(const QString& programFolder);

struct NetSendResult {
    enum class Status {
        Sent,       // net ended with status 0
        NotFound,   // no net (findNet)
        NotStarted, // net is there but could not be started; detail says why
        Failed,     // net ended with another status, or a signal ended it
        TimedOut,   // net had not ended after kNetTimeLimitMs and was killed
    };
    Status status = Status::Sent;
    int exitCode = -1; // Failed: net's exit status, -1 when a signal ended it
    QString detail;    // NotStarted: the reason; Failed: net's standard error, trimmed
    QString net;       // the net that was started (empty for NotFound)
};

inline constexpr int kNetTimeLimitMs = 120000;

// Sends the typed text through net and returns at once: the pass and the
// window never wait for the network. done is called exactly once with the
// outcome: before sendNetMessage returns when net is not found, otherwise
// from the event loop once net has ended (or could not be started). The
// child is reaped then; one still running after kNetTimeLimitMs is killed, so
// a net that hangs on an unreachable machine never piles up behind the
// passes, and so is one still running when the application object goes
// (done is not called for that one: the program is ending). net's standard input and
// output are /dev/null, its standard error is kept for the report, and programFolder goes first on
// its PATH, where it looks for the programs that deliver (notify-send, smbclient).
void sendNetMessage(const QString& text, const QString& programFolder,
                    std::function<void(const NetSendResult&)> done);

} // namespace platform
