// A stand-in for the user's service manager: a systemctl first on PATH that
// records its calls and keeps the enabled and masked state where systemd
// keeps it (the wants link and the mask link under XDG_CONFIG_HOME), the unit
// folder under XDG_DATA_HOME, and a recording system log.
#pragma once

#include "service/ServiceControl.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QtTest>

#include "FileKit.h"

#include <utility>

namespace servicetest {

// What systemctl --user does to the files, for the commands the program uses.
// FAKE_SYSTEMCTL_FAIL=1 makes every call fail, as it does with no user manager.
inline const char* const kFakeSystemctl = R"(#!/bin/sh
echo "$*" >> "$FAKE_SYSTEMCTL_CALLS"
[ "$FAKE_SYSTEMCTL_FAIL" = 1 ] && exit 1
[ "$1" = "--user" ] || exit 1
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
        qputenv("PATH", path("bin").toUtf8() + ':' + savedPath);
        qputenv("XDG_DATA_HOME", path("data").toUtf8());
        qputenv("XDG_CONFIG_HOME", path("config").toUtf8());
        qputenv("FAKE_SYSTEMCTL_CALLS", path("calls.txt").toUtf8());
        qunsetenv("FAKE_SYSTEMCTL_FAIL");
        qunsetenv("VELMORADO_SERVICE");
    }
    ~FakeSystemd() {
        qputenv("PATH", savedPath);
        for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "FAKE_SYSTEMCTL_CALLS",
                                 "FAKE_SYSTEMCTL_FAIL", "VELMORADO_SERVICE"}) {
            qunsetenv(name);
        }
    }
    QString path(const char* relative) const { return dir.filePath(QString::fromLatin1(relative)); }
    QString unitFile() const { return path("data/systemd/user/velmorado.service"); }
    QString wantsLink() const {
        return path("config/systemd/user/default.target.wants/velmorado.service");
    }
    QString maskLink() const { return path("config/systemd/user/velmorado.service"); }
    // The calls received, one "--user enable velmorado.service" per call.
    QStringList calls() const {
        QFile f(path("calls.txt"));
        if (!f.open(QIODevice::ReadOnly)) {
            return {};
        }
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    void forgetCalls() const { QFile::remove(path("calls.txt")); }
    // An installed unit, as a previous install left it.
    void registerService() const {
        QDir().mkpath(QFileInfo(unitFile()).absolutePath());
        filekit::writeFile(unitFile(), "[Service]\nExecStart=\"/nowhere/velmorado\"\n");
    }
    // What a child process needs to see the same service manager.
    void addTo(QProcessEnvironment& env) const {
        for (const char* name :
             {"PATH", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "FAKE_SYSTEMCTL_CALLS"}) {
            env.insert(QString::fromLatin1(name), qEnvironmentVariable(name));
        }
        env.remove(QStringLiteral("VELMORADO_SERVICE"));
    }
};

// Every entry written to the system log while it lives: (type, text).
struct RecordedLog {
    QList<std::pair<int, QString>> entries;
    RecordedLog() {
        service::ServiceControl::setEventLogSink([this](const QString& text, int type) {
            entries.append({type, text});
        });
    }
    ~RecordedLog() { service::ServiceControl::setEventLogSink({}); }
    QStringList texts() const {
        QStringList t;
        for (const auto& e : entries) {
            t.append(e.second);
        }
        return t;
    }
};

} // namespace servicetest
