#include "ui/dialogs/ServiceBoxes.h"

#include "service/ServiceControl.h"

#include <QGuiApplication>

namespace ui {

void ServiceBoxes::message(QWidget*, Icon icon, const QString&, const QString& text) {
    service::ServiceControl::WriteEventLog(text, icon == Icon::Information ? 4 : 2);
}

bool ServiceBoxes::question(QWidget*, const QString&, const QString& text) {
    service::ServiceControl::WriteEventLog(text, 4);
    return false;
}

bool ServiceBoxes::unseen() {
    return QGuiApplication::platformName() == QLatin1String("offscreen");
}

} // namespace ui
