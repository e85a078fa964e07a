#include "ui/dialogs/FolderTree.h"

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QStorageInfo>

namespace ui {

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kFilledRole = Qt::UserRole + 1;

QString pathOf(const QTreeWidgetItem* item) {
    return item->data(0, kPathRole).toString();
}

} // namespace

FolderTree::FolderTree(QWidget* parent) : QTreeWidget(parent) {
    setColumnCount(1);
    header()->hide();
    setUniformRowHeights(true);
    connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) { fill(item); });
    // Opening rebuilds the tree, so it waits until the view has finished with
    // the item that was activated.
    connect(this, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        QMetaObject::invokeMethod(
            this, [this, path = pathOf(item)] { setCurrentFolder(path); }, Qt::QueuedConnection);
    });
}

void FolderTree::keyPressEvent(QKeyEvent* event) {
    // The view opens the highlighted folder on Enter (itemActivated) but
    // lets the key go on to the dialog, whose default button would then close
    // it before the folder is opened: the key stops here.
    QTreeWidget::keyPressEvent(event);
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
    }
}

QTreeWidgetItem* FolderTree::addFolder(QTreeWidgetItem* parent, const QString& path,
                                       const QString& name) {
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
    item->setText(0, name);
    item->setData(0, kPathRole, path);
    item->setIcon(0, style()->standardIcon(QStyle::SP_DirIcon));
    // The arrow shows until the folder is listed and found to have none.
    item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    return item;
}

void FolderTree::fill(QTreeWidgetItem* item) {
    if (item->data(0, kFilledRole).toBool()) {
        return;
    }
    item->setData(0, kFilledRole, true);
    const QString path = pathOf(item);
    QDir dir(path);
    const QStringList names = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    QStringList present;
    for (int i = 0; i < item->childCount(); ++i) {
        present << item->child(i)->text(0);
    }
    for (const QString& name : names) {
        if (!present.contains(name)) {
            addFolder(item, dir.filePath(name), name);
        }
    }
    item->sortChildren(0, Qt::AscendingOrder);
    item->setChildIndicatorPolicy(item->childCount() > 0
                                      ? QTreeWidgetItem::ShowIndicator
                                      : QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

bool FolderTree::setCurrentFolder(const QString& path) {
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isDir() || !info.isReadable() || !info.isExecutable()) {
        return false;
    }
    const QString folder = QDir::cleanPath(info.absoluteFilePath());
    const QString root = QDir::cleanPath(QStorageInfo(folder).rootPath());
    const QString base = root.isEmpty() ? QStringLiteral("/") : root;

    clear();
    QTreeWidgetItem* item = addFolder(nullptr, base, base);
    // Down from the volume's root, one folder of the path at a time; the
    // folder on the way is added even when hidden.
    const QString rest =
        folder == base ? QString() : folder.mid(base == QLatin1String("/") ? 1 : base.size() + 1);
    const QStringList steps = rest.isEmpty() ? QStringList() : rest.split(QLatin1Char('/'));
    QString at = base;
    for (const QString& step : steps) {
        at = at == QLatin1String("/") ? at + step : at + QLatin1Char('/') + step;
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; i < item->childCount() && !next; ++i) {
            if (item->child(i)->text(0) == step) {
                next = item->child(i);
            }
        }
        if (!next) {
            next = addFolder(item, at, step);
        }
        fill(item);
        item->setExpanded(true);
        item = next;
    }
    fill(item);
    item->setExpanded(true);
    QFont bold = item->font(0);
    bold.setBold(true);
    item->setFont(0, bold);
    item->setIcon(0, style()->standardIcon(QStyle::SP_DirOpenIcon));
    setCurrentItem(item);
    scrollToItem(item);

    m_current = folder;
    Q_EMIT currentFolderChanged(folder);
    return true;
}

} // namespace ui
