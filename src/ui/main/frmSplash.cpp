#include "ui/main/frmSplash.h"

#include "config/ProgramValues.h"
#include "config/Settings.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

namespace ui {

frmSplash::frmSplash() : QWidget(nullptr) {
    setObjectName(QStringLiteral("frmSplash"));
    setWindowTitle(config::productAndVersion());
    setAttribute(Qt::WA_DeleteOnClose, false);
    m_label = new QLabel(this);
    m_label->setObjectName(QStringLiteral("lblMessage"));
    m_label->setAlignment(Qt::AlignCenter);
    m_label->setWordWrap(true);
    m_label->setMinimumSize(360, 60);
    m_label->installEventFilter(this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_label);
    m_flash = new QTimer(this);
    m_flash->setObjectName(QStringLiteral("Timer1"));
    m_flash->setInterval(500);
    connect(m_flash, &QTimer::timeout, this, [this] { QApplication::alert(this, 400); });
    m_flash->start();
}

void frmSplash::setMessage(const QString& text) {
    m_label->setText(text);
}

QString frmSplash::message() const {
    return m_label->text();
}

void frmSplash::present() {
    // Changing the flags of a shown window hides it, so they are set first.
    const bool onTop = !config::settings().arretAutomatique;
    if (onTop != bool(windowFlags() & Qt::WindowStaysOnTopHint)) {
        setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
    }
    show();
}

void frmSplash::keyPressEvent(QKeyEvent* event) {
    // Any key does what the notice asks of Esc.
    if (config::settings().arretAutomatique) {
        config::settings().arretAutomatique = false;
        close();
        Q_EMIT restoreMainWindowRequested();
    }
    event->accept();
}

void frmSplash::mousePressEvent(QMouseEvent* event) {
    close();
    event->accept();
}

bool frmSplash::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_label && event->type() == QEvent::MouseButtonPress) {
        close();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace ui
