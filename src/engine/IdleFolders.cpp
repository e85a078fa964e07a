#include "engine/IdleFolders.h"

#include "platform/KnownFolders.h"

#include <algorithm>

namespace engine {

namespace {

bool sameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

} // namespace

bool IdleFolders::unchanged(const QString& folder, const struct stat& st, Look* look) {
    *look = Look{};
    look->dev = st.st_dev;
    look->ino = st.st_ino;
    look->mtime = st.st_mtim;
    look->ctime = st.st_ctim;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const time_t newest = std::max(st.st_mtim.tv_sec, st.st_ctim.tv_sec);
    look->trusted = now.tv_sec - newest >= kSettleSeconds &&
                    platform::knownFolders().localFileSystem(folder, st.st_dev);
    if (!look->trusted) {
        return false;
    }
    const auto seen = m_empty.constFind(folder);
    return seen != m_empty.constEnd() && seen->dev == look->dev && seen->ino == look->ino &&
           sameTime(seen->mtime, look->mtime) && sameTime(seen->ctime, look->ctime);
}

void IdleFolders::walked(const QString& folder, const Look& look, bool completeAndEmpty) {
    if (completeAndEmpty && look.trusted) {
        m_empty.insert(folder, look);
    } else {
        m_empty.remove(folder);
    }
}

IdleFolders& idleFolders() {
    static IdleFolders folders;
    return folders;
}

} // namespace engine
