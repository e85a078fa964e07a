#pragma once

#include <QListWidget>
#include <QObject>
#include <QPointer>
#include <QString>

namespace ui {

// A size in bytes as the file lists show it, with the separators of the
// default locale (QLocale()): "512 bytes", "1.50KB (1,536 bytes)",
// "3.00GB (3,221,225,472 bytes)".
QString FormaterTaille(qint64 size);

// One entry of a file list: a file name, or a folder name between "[" and
// "]". Kept with it: the file's size in bytes, -1 for a folder. Entries sort
// by name without regard to case.
class FileListItem : public QListWidgetItem {
public:
    static constexpr int SizeRole = Qt::UserRole;
    FileListItem(const QString& text, qint64 size);
    qint64 size() const;
    bool operator<(const QListWidgetItem& other) const override;
};

// Lists a folder's entries into a list (cleared first; nothing for an empty
// folder text or a folder that cannot be read).
void fillFileList(QListWidget* list, const QString& folder);

// The tooltip for the entry under a point of the list's viewport: the file
// name, three blanks and its size; "folder [name]" / "dossier [name]" for a
// folder; empty away from the entries.
QString fileListToolTip(const QListWidget* list, const QPoint& viewportPos);

// Keeps a file list's tooltip on the entry under the pointer.
class FileListTips : public QObject {
    Q_OBJECT
public:
    explicit FileListTips(QListWidget* list);
    ~FileListTips() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QListWidget* m_list;
    QPointer<QWidget> m_viewport;
};

} // namespace ui
