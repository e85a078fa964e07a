#include "ui/main/UiSupport.h"

#include <QApplication>

static void initProgramResources() {
    Q_INIT_RESOURCE(velmorado);
}

namespace ui {

QIcon programIcon(const char* name) {
    static const bool ready = [] {
        initProgramResources();
        return true;
    }();
    Q_UNUSED(ready);
    return QIcon(QStringLiteral(":/icons/") + QString::fromLatin1(name) + QStringLiteral(".svg"));
}

WaitCursor::WaitCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

WaitCursor::~WaitCursor() {
    QApplication::restoreOverrideCursor();
}

} // namespace ui
