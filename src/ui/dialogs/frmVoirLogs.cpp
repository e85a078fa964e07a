#include "ui/dialogs/frmVoirLogs.h"

#include "config/Language.h"
#include "config/ProgramValues.h"
#include "config/Settings.h"
#include "engine/DailyLog.h"
#include "ui/common/DocumentOpener.h"
#include "ui/main/Dialogs.h"
#include "ui/main/UiSupport.h"

#include "ui_frmVoirLogs.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMouseEvent>
#include <QScreen>

namespace ui {

namespace {

const Caption kCaptions[] = {
    {"frmVoirLogs", "Voir les journaux - [Retour à Velmorado] ->",
     "Check Logs - [Back to Velmorado: close] ->"},
};

// The form is laid out at 12 twips per pixel (so that a date fits its
// column at the usual screen resolution): rows 360 twips apart, and a scroll
// range of 33600 twips whatever the number of logs.
constexpr int kRowStep = 30;
constexpr int kScrollHeight = 2800;
constexpr int kScrollStep = 10;

const QString kPurple =
    QStringLiteral("color: rgb(128, 0, 128); background-color: rgb(0, 255, 255);");

// "Remove Log '<date>'": the menu entry and its question.
QString removeLogText(const QString& date) {
    return config::pickText("Effacer le journal '", "Remove Log '") + date + QLatin1Char('\'');
}

} // namespace

std::span<const Caption> frmVoirLogs::captions() {
    return kCaptions;
}

QString frmVoirLogs::logPath(const QLabel* label) {
    // A full path, also for a log folder named relative to the current one:
    // the opener takes what is not a full path for a web address.
    return QFileInfo(QDir(config::settings().pathLogs).filePath(label->property("file").toString()))
        .absoluteFilePath();
}

frmVoirLogs::frmVoirLogs(QWidget* mainWindow, std::function<void()> bringBackMain)
    : QMainWindow(nullptr, Qt::Window | Qt::WindowStaysOnTopHint),
      m_ui(std::make_unique<Ui::frmVoirLogs>()), m_main(mainWindow),
      m_bringBackMain(std::move(bringBackMain)) {
    m_ui->setupUi(this);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFixedSize(size());
    connect(m_ui->VScroll1, &QScrollBar::valueChanged, this, &frmVoirLogs::VScroll1_Change);
    connect(m_ui->mnuSupprimerLog, &QAction::triggered, this, &frmVoirLogs::mnuSupprimerLog_Click);
    load();
}

frmVoirLogs::~frmVoirLogs() = default;

void frmVoirLogs::load() {
    // At the right edge of the screen.
    if (QScreen* screen = m_main ? m_main->screen() : this->screen()) {
        const QRect area = screen->availableGeometry();
        move(area.right() + 1 - frameGeometry().width(), area.top());
    }
    applyCaptions(this, kCaptions, config::language());
    // The daily logs only, by date; each label keeps the name of its file,
    // which is what it opens and removes.
    const QStringList names = engine::dailyLogNames(config::settings().pathLogs);
    for (const QString& name : names) {
        auto* item = new QListWidgetItem(engine::dailyLogDate(name)->toString(Qt::ISODate));
        item->setData(Qt::UserRole, name);
        m_ui->lstFichiersLogs->addItem(item);
    }
    // 4, 5. Label 0 as designed, the others copied from it, four to a row.
    QLabel* first = m_ui->Label;
    const int columns[] = {first->x(), m_ui->Label1->x(), m_ui->Label2->x(), m_ui->Label3->x()};
    for (int i = 0; i < m_ui->lstFichiersLogs->count(); ++i) {
        QLabel* label = first;
        if (i > 0) {
            label = new QLabel(m_ui->centralwidget);
            label->setObjectName(first->objectName());
            label->setFont(first->font());
            label->setStyleSheet(first->styleSheet());
            label->setAutoFillBackground(true);
            const QLabel* previous = m_labels.last();
            const int top = i % 4 == 0 ? previous->y() + kRowStep : previous->y();
            label->move(columns[i % 4], top);
        }
        label->setProperty("index", i);
        label->setProperty("file", m_ui->lstFichiersLogs->item(i)->data(Qt::UserRole));
        label->setText(m_ui->lstFichiersLogs->item(i)->text());
        label->resize(qMax(first->width(), label->sizeHint().width()),
                      qMax(first->height(), label->sizeHint().height()));
        label->setCursor(Qt::PointingHandCursor);
        label->installEventFilter(this);
        label->show();
        m_labels << label;
        m_removed << false;
    }
    m_ui->VScroll1->raise();
    // The newest, at once, without touching the main window.
    if (!m_labels.isEmpty()) {
        markOpened(m_labels.last());
        OuvrirDocument(logPath(m_labels.last()));
    }
    // A fixed range, whatever the number of logs.
    QScrollBar* bar = m_ui->VScroll1;
    bar->setGeometry(bar->x(), 0, bar->width(), height());
    // The frame is not known before the window is shown: its inner height.
    bar->setRange(0, kScrollHeight - height());
    bar->setSingleStep(kScrollStep);
    bar->setPageStep(kScrollStep);
    m_previousScroll = bar->value();
    // On top without taking the focus: the window flags and
    // WA_ShowWithoutActivating set in the constructor.
}

void frmVoirLogs::markOpened(QLabel* label) {
    label->setStyleSheet(kPurple);
}

bool frmVoirLogs::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonPress) {
        auto* label = qobject_cast<QLabel*>(watched);
        const int index = label ? m_labels.indexOf(label) : -1;
        if (index >= 0) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton) {
                Label_Click(index);
                return true;
            }
            if (mouse->button() == Qt::RightButton) {
                Label_RightClick(index, mouse->globalPosition().toPoint());
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmVoirLogs::Label_Click(int index) {
    if (m_main && m_main->isVisible() && !m_main->isMinimized()) {
        // Where there is a tray, minimising hides the window there: closing
        // the viewer brings it back (not one the user had put away).
        m_main->showMinimized();
        m_putMainAway = true;
    }
    QLabel* label = m_labels.at(index);
    markOpened(label);
    OuvrirDocument(logPath(label));
}

void frmVoirLogs::Label_RightClick(int index, const QPoint& globalPos) {
    const QString date = m_labels.at(index)->text();
    m_ui->mnuAnnuler->setText(config::pickText("Annuler", "Cancel"));
    m_ui->mnuSupprimerLog->setText(removeLogText(date));
    m_rightClicked = index;
    m_ui->mnuSupprimer->popup(globalPos);
}

void frmVoirLogs::mnuSupprimerLog_Click() {
    if (m_rightClicked < 0 || m_rightClicked >= m_labels.size()) {
        return;
    }
    QLabel* label = m_labels.at(m_rightClicked);
    const QString date = label->text();
    if (!dialogs().question(this, config::kProductName, removeLogText(date))) {
        return;
    }
    // Exactly the file it lists. Gone or not, its label goes; the others
    // keep their places.
    QFile::remove(logPath(label));
    label->hide();
    m_removed[m_rightClicked] = true;
}

void frmVoirLogs::VScroll1_Change(int value) {
    const int by = m_previousScroll - value;
    for (int i = 0; i < m_labels.size(); ++i) {
        QLabel* label = m_labels.at(i);
        label->hide();
        label->move(label->x(), label->y() + by);
        label->setVisible(!m_removed.at(i));
    }
    m_previousScroll = value;
}

void frmVoirLogs::closeEvent(QCloseEvent* event) {
    if (m_main && m_putMainAway) {
        if (m_bringBackMain) {
            m_bringBackMain();
        } else {
            m_main->showNormal();
        }
    }
    QMainWindow::closeEvent(event);
}

} // namespace ui
