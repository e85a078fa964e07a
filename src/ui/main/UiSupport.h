#pragma once

#include <QIcon>
#include <QString>

namespace ui {

// One of the program's pictures (compress, uncompress, macvolume, start,
// stop, application, service, velmorado), from the built-in resources.
QIcon programIcon(const char* name);

// The hourglass pointer on the program's windows while it lives.
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

} // namespace ui
