#pragma once

#include <QTreeWidget>

namespace ui {

// The folder list of the log dialog: a directory tree from the root of one
// volume down to the current folder, whose sub-folders are listed. Only an
// opened folder (double click or Enter) becomes current; one that is merely
// highlighted does not. Enter in the tree opens the highlighted folder and
// goes no further: the dialog's default button takes Enter only while the
// tree does not have the focus. Hidden folders are not listed, except on the
// way to the current folder.
class FolderTree : public QTreeWidget {
    Q_OBJECT
public:
    explicit FolderTree(QWidget* parent = nullptr);

    // Makes an existing folder current, showing the tree of its volume. False,
    // with nothing changed, when it is not a folder that can be listed.
    bool setCurrentFolder(const QString& path);
    // An absolute path without a trailing slash ("/" for the root).
    QString currentFolder() const { return m_current; }

Q_SIGNALS:
    void currentFolderChanged(const QString& path);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QTreeWidgetItem* addFolder(QTreeWidgetItem* parent, const QString& path, const QString& name);
    void fill(QTreeWidgetItem* item);

    QString m_current;
};

} // namespace ui
