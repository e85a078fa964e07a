#include "ui/common/Captions.h"

#include "config/Language.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QWidget>
#include <QtGlobal>

namespace ui {

namespace {

QObject* findNamed(const QWidget* window, const char* name) {
    const QString n = QString::fromLatin1(name);
    if (window->objectName() == n) {
        return const_cast<QWidget*>(window);
    }
    return window->findChild<QObject*>(n);
}

// False when the object is of a kind that shows no caption.
bool setCaption(QObject* object, bool isWindow, const QString& text) {
    if (isWindow) {
        static_cast<QWidget*>(object)->setWindowTitle(text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(object)) {
        button->setText(text);
    } else if (auto* label = qobject_cast<QLabel*>(object)) {
        label->setText(text);
    } else if (auto* group = qobject_cast<QGroupBox*>(object)) {
        group->setTitle(text);
    } else if (auto* menu = qobject_cast<QMenu*>(object)) {
        menu->setTitle(text);
    } else if (auto* action = qobject_cast<QAction*>(object)) {
        action->setText(text);
    } else {
        return false;
    }
    return true;
}

} // namespace

QStringList applyCaptions(QWidget* window, std::span<const Caption> table, int language) {
    QStringList missing;
    for (const Caption& c : table) {
        QObject* object = findNamed(window, c.name);
        const QString text = config::pickText(language, c.french, c.english);
        if (!object || !setCaption(object, object == window, text)) {
            missing << QString::fromLatin1(c.name);
        }
    }
    if (!missing.isEmpty()) {
        const QByteArray what = (window->objectName() + QStringLiteral(": no captioned control ") +
                                 missing.join(QStringLiteral(", ")))
                                    .toUtf8();
#ifndef QT_NO_DEBUG
        qFatal("%s", what.constData());
#else
        qCritical("%s", what.constData());
#endif
    }
    return missing;
}

QStringList missingCaptionNames(const QWidget* window, std::span<const Caption> table) {
    QStringList missing;
    for (const Caption& c : table) {
        if (!findNamed(window, c.name)) {
            missing << QString::fromLatin1(c.name);
        }
    }
    return missing;
}

} // namespace ui
