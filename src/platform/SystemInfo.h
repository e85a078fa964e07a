#pragma once

#include <QString>

namespace platform {

// Folder that holds the running executable (the real path of /proc/self/exe).
QString executableDir();
// Full path of the running executable.
QString executablePath();
// Host name, empty when it cannot be had.
QString computerName();
// Login name from the password database, else $USER, else empty.
QString userName();

struct KernelVersion {
    int major = 0;
    int minor = 0;
    int patch = 0;
};
// Parses "6.1.0-13-amd64" and the like: the leading numbers of the release.
KernelVersion parseKernelRelease(const QString& release);
// PRETTY_NAME of an os-release file's text, without its quotes; empty when absent.
QString prettyNameFromOsRelease(const QString& osReleaseText);
// "Linux v.6.1, Build 0, Debian GNU/Linux 12 (bookworm)".
QString osDescription(const QString& kernelRelease, const QString& prettyName);
// The description of this machine.
QString osDescription();

} // namespace platform
