#pragma once

#include <cstring>
#include <fcntl.h>
#include <linux/magic.h>
#include <string>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#include <unistd.h>

#include "platform/UniqueFd.h"

namespace platform {

namespace detail {

// An ext4 mount has a journal when its options name a data mode: the kernel
// lists "data=..." for a journalled mount only.
inline bool ext4HasJournal(int folderFd) {
    struct stat st {};
    if (::fstat(folderFd, &st) != 0) {
        return false;
    }
    const std::string link = "/sys/dev/block/" + std::to_string(major(st.st_dev)) + ':' +
                             std::to_string(minor(st.st_dev));
    char target[4096];
    const ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
    if (length <= 0) {
        return false;
    }
    target[length] = '\0';
    const char* slash = std::strrchr(target, '/');
    const std::string device = slash ? slash + 1 : target;
    const UniqueFd options(
        ::open(("/proc/fs/ext4/" + device + "/options").c_str(), O_RDONLY | O_CLOEXEC));
    if (!options.valid()) {
        return false;
    }
    std::string text;
    char chunk[1024];
    for (;;) {
        const ssize_t got = ::read(options.get(), chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        text.append(chunk, static_cast<size_t>(got));
    }
    return ('\n' + text).find("\ndata=") != std::string::npos;
}

} // namespace detail

// Whether the file system that holds folderFd makes changes of names durable
// in the order they were made, so that a later rename or removal can never
// reach the disk before an earlier one: where it does, a folder's flush may
// wait until a batch of changes is over; elsewhere each change that a later
// one depends on is flushed at once. Plain C++, so that the bundled archiver
// decides by the same rule.
//
// Ordered: ext4 with its journal (ext2, ext3 and ext4 share one magic
// number, and without a journal dirty folder blocks go to the disk in any
// order), xfs, btrfs, shares (whose servers carry out each change before
// they answer it), and tmpfs (nothing of it outlives a power cut). Anything
// else (FAT, fuse, ext4 without a journal, what cannot be told) is not.
inline bool keepsNameOrder(int folderFd) {
    struct statfs fs {};
    if (::fstatfs(folderFd, &fs) != 0) {
        return false;
    }
    switch (static_cast<unsigned long>(fs.f_type)) {
    case EXT4_SUPER_MAGIC:
        return detail::ext4HasJournal(folderFd);
    case XFS_SUPER_MAGIC:
    case BTRFS_SUPER_MAGIC:
    case NFS_SUPER_MAGIC:
    case SMB_SUPER_MAGIC:
    case CIFS_SUPER_MAGIC:
    case SMB2_SUPER_MAGIC:
    case TMPFS_MAGIC:
        return true;
    default:
        return false;
    }
}

} // namespace platform
