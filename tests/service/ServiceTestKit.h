// A stand-in for the user's service manager, for this process and the ones it
// starts: a systemctl first on PATH that records its calls and keeps the
// state where systemd keeps it, and the system log in a file.
#pragma once

#include "service/ServiceControl.h"

#include "FileKit.h"

namespace servicetest {

inline const QString kUnit = "velmorado.service";

// What systemctl --user does to the files, for the commands the program uses.
// FAKE_SYSTEMCTL_FAIL=1 makes every call fail, as it does with no user manager.
inline const char* const kFakeSystemctl = R"(#!/bin/sh
echo "$*" >> "$FAKE_SYSTEMCTL_CALLS"
[ "$FAKE_SYSTEMCTL_FAIL" = 1 ] && exit 1
conf="$XDG_CONFIG_HOME/systemd/user"
data="$XDG_DATA_HOME/systemd/user"
case "$2" in
  daemon-reload|start|stop) ;;
  enable)
    [ -f "$data/$3" ] || exit 1
    [ -L "$conf/$3" ] && exit 1   # a masked unit cannot be enabled
    mkdir -p "$conf/default.target.wants" && ln -sf "$data/$3" "$conf/default.target.wants/$3" ;;
  disable) rm -f "$conf/default.target.wants/$3" ;;
  mask) mkdir -p "$conf" && ln -sf /dev/null "$conf/$3" ;;
  unmask) if [ -L "$conf/$3" ]; then rm -f "$conf/$3"; fi ;;
  *) exit 1 ;;
esac
exit 0
)";

struct FakeSystemd {
    QTemporaryDir dir;
    QByteArray savedPath = qgetenv("PATH");

    FakeSystemd() {
        QDir().mkpath(path("bin"));
        filekit::writeFile(path("bin/systemctl"), kFakeSystemctl, 0755);
        forget();
        qputenv("PATH", path("bin").toUtf8() + ':' + savedPath);
        qputenv("XDG_DATA_HOME", path("data").toUtf8());
        qputenv("XDG_CONFIG_HOME", path("config").toUtf8());
        qputenv("FAKE_SYSTEMCTL_CALLS", path("calls.txt").toUtf8());
        qputenv("VELMORADO_EVENT_LOG_FILE", path("events.txt").toUtf8());
    }
    ~FakeSystemd() {
        for (const char* name :
             {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "FAKE_SYSTEMCTL_CALLS",
              "VELMORADO_EVENT_LOG_FILE", "FAKE_SYSTEMCTL_FAIL", "VELMORADO_SERVICE"}) {
            qunsetenv(name);
        }
        qputenv("PATH", savedPath);
    }
    QString path(const QString& relative) const { return dir.filePath(relative); }
    QString unitFile() const { return path("data/systemd/user/" + kUnit); }
    // Enabled (the wants link) and masked (the link to /dev/null).
    bool enabled() const {
        return QFileInfo(path("config/systemd/user/default.target.wants/" + kUnit)).isSymLink();
    }
    bool masked() const { return QFileInfo(path("config/systemd/user/" + kUnit)).isSymLink(); }
    QStringList lines(const char* file) const {
        return QString::fromUtf8(filekit::readFile(path(file))).split('\n', Qt::SkipEmptyParts);
    }
    QStringList calls() const { return lines("calls.txt"); }
    void forget() const {
        filekit::writeFile(path("calls.txt"), {});
        filekit::writeFile(path("events.txt"), {});
    }
    // The system log: "4<TAB>text" for information, 2 for a warning.
    QStringList events() const { return lines("events.txt"); }
    // An installed unit, as a previous install left it.
    void registerService() const {
        QDir().mkpath(path("data/systemd/user"));
        filekit::writeFile(unitFile(), "[Service]\nExecStart=\"/nowhere/velmorado\"\n");
    }
};

} // namespace servicetest
