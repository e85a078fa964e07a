#include "ui/main/FileLists.h"

#include "config/Language.h"
#include "ui/main/UiSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QHelpEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QToolTip>

namespace ui {

QString FormaterTaille(qint64 n) {
    // "#,##0" always groups; the other formats never do. Only the separators
    // come from the locale.
    QLocale grouped;
    grouped.setNumberOptions(grouped.numberOptions() & ~QLocale::OmitGroupSeparator);
    QLocale plain;
    plain.setNumberOptions(plain.numberOptions() | QLocale::OmitGroupSeparator);

    const QString bytes = grouped.toString(n) + QStringLiteral(" bytes");
    if (n < 1024) {
        return bytes;
    }
    const qint64 k = n / 1024;
    const double kb = double(n) / 1024.0;
    const double mb = double(n) / 1048576.0;
    QString text;
    if (k < 10) {
        text = plain.toString(kb, 'f', 2) + QStringLiteral("KB");
    } else if (k < 100) {
        text = plain.toString(kb, 'f', 1) + QStringLiteral("KB");
    } else if (k < 1000) {
        text = plain.toString(kb, 'f', 0) + QStringLiteral("KB");
    } else if (k < 10000) {
        text = plain.toString(mb, 'f', 2) + QStringLiteral("MB");
    } else if (k < 100000) {
        text = plain.toString(mb, 'f', 1) + QStringLiteral("MB");
    } else if (k < 1000000) {
        text = plain.toString(mb, 'f', 0) + QStringLiteral("MB");
    } else {
        text = plain.toString(mb / 1024.0, 'f', 2) + QStringLiteral("GB");
    }
    return text + QStringLiteral(" (") + bytes + QLatin1Char(')');
}

FileListItem::FileListItem(const QString& text, qint64 size) : QListWidgetItem(text) {
    setData(SizeRole, size);
}

qint64 FileListItem::size() const {
    return data(SizeRole).toLongLong();
}

bool FileListItem::operator<(const QListWidgetItem& other) const {
    const int c = text().compare(other.text(), Qt::CaseInsensitive);
    return c != 0 ? c < 0 : text() < other.text();
}

void fillFileList(QListWidget* list, const QString& folder) {
    list->clear();
    if (folder.isEmpty()) {
        return;
    }
    const QFileInfoList entries = QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden |
                                                             QDir::System | QDir::NoDotAndDotDot);
    const bool sorting = list->isSortingEnabled();
    list->setSortingEnabled(false);
    for (const QFileInfo& entry : entries) {
        if (entry.isDir()) {
            list->addItem(
                new FileListItem(QLatin1Char('[') + entry.fileName() + QLatin1Char(']'), -1));
        } else {
            // The whole 64-bit size: files of 2 GiB and more show their real size.
            list->addItem(new FileListItem(entry.fileName(), entry.size()));
        }
    }
    list->setSortingEnabled(sorting);
    if (sorting) {
        list->sortItems();
    }
}

QString fileListToolTip(const QListWidget* list, const QPoint& viewportPos) {
    const QListWidgetItem* entry = list->itemAt(viewportPos);
    if (!entry) {
        return QString();
    }
    const qint64 size = entry->data(FileListItem::SizeRole).toLongLong();
    if (size == -1) {
        return config::pickText("dossier ", "folder ") + entry->text();
    }
    return entry->text() + QStringLiteral("   ") + FormaterTaille(size);
}

FileListTips::FileListTips(QListWidget* list)
    : QObject(list), m_list(list), m_viewport(list->viewport()) {
    list->setMouseTracking(true);
    m_viewport->setMouseTracking(true);
    m_viewport->installEventFilter(this);
}

FileListTips::~FileListTips() {
    if (m_viewport) {
        m_viewport->removeEventFilter(this);
    }
}

bool FileListTips::eventFilter(QObject* watched, QEvent* event) {
    // The viewport is compared by the pointer kept, never asked of the list:
    // while the list is being destroyed its viewport still sends events here,
    // and the list is no longer a list by then.
    if (watched == m_viewport) {
        if (event->type() == QEvent::MouseMove) {
            auto* move = static_cast<QMouseEvent*>(event);
            if (move->buttons() == Qt::NoButton) {
                m_list->setToolTip(fileListToolTip(m_list, move->position().toPoint()));
            }
        } else if (event->type() == QEvent::ToolTip) {
            auto* help = static_cast<QHelpEvent*>(event);
            if (m_list->toolTip().isEmpty()) {
                QToolTip::hideText();
            } else {
                QToolTip::showText(help->globalPos(), m_list->toolTip(), m_viewport);
            }
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace ui
