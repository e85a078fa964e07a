#pragma once

#include <QIcon>
#include <QTableWidget>
#include <QVector>

namespace config {
struct PairRowView;
}

namespace ui {

// The folder-pair grid lstDossiers: source, mode picture, target; one row per
// pair, each row carrying its pair number.
//
// The selection mark tells whether the grid shows its selection, which is the
// sign that a pair is selected: off after every fill, on when the grid gets
// the focus from the user or is clicked, off again on a click on the window
// background. The grid shows its selection exactly while the mark is on: with
// the mark off no row is drawn highlighted, whatever the selection model
// holds, so that what the user sees selected is what the buttons act on.
//
// Current row and selection end: the current row is the view's current row;
// the selection end is the other end of the contiguous block of selected rows
// that contains it (the current row itself when one row is selected).
class PairGrid : public QTableWidget {
    Q_OBJECT
public:
    enum Role {
        PairNumberRole = Qt::UserRole,    // on column 0: the row's pair number
        MacVolumeRole = Qt::UserRole + 1, // on a folder cell: the folder is on a Mac volume
        UncompressRole = Qt::UserRole + 2 // on column 1: the pair is in uncompress mode
    };
    static const QColor kDisabledGrey;
    static constexpr int kPictureWidth = 40;  // the mode column, as wide as PictureSet
    static constexpr int kPictureHeight = 30; // minimum row height
    static constexpr int kVisibleRows = 8;    // rows the grid asks room for

    explicit PairGrid(QWidget* parent = nullptr);

    // Rebuilds every row from a load of the folder pairs; the last row ends
    // current. The window's after-fill step then switches the mark off.
    void fill(const QVector<config::PairRowView>& rows);

    // A provisional row for a pair being added: source text, "???" in the
    // middle column; returns its row.
    int appendProvisionalRow(const QString& sourceText, int pairNumber);

    int pairNumber(int row) const;
    // The pair number of every row, in row order (what SaveFolderPairs takes).
    QVector<int> rowPairNumbers() const;
    // The text a cell shows (column 0 source, 2 target), as drawn.
    QString cellText(int row, int column) const;

    bool selectionMark() const { return m_selectionMark; }
    void setSelectionMark(bool on);

    int selectionEndRow() const;
    // Makes current the given row and selects the block from it to endRow,
    // the three columns of every row of the block.
    void selectBlock(int current, int endRow);

    int describedRow() const { return m_describedRow; }
    void setDescribedRow(int row) { m_describedRow = row; }

    // The row drawn under a viewport point; -1 below the last row.
    int rowUnder(const QPoint& viewportPos) const;

    QSize sizeHint() const override;

Q_SIGNALS:
    // A click released over the grid (at least one row), with the column under
    // the pointer and whether the pointer was over a row.
    void gridClicked(int column, bool onRow);
    // A double-click over a row, with the column under the pointer.
    void gridDoubleClicked(int column);
    // The Delete key while the selection mark is on and there are rows.
    void deleteRequested();
    // The pointer moved over the viewport (buttons or not).
    void pointerMoved(const QPoint& viewportPos);

protected:
    void focusInEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void fitColumns();

    bool m_selectionMark = false;
    int m_describedRow = -1;
    bool m_pressOnGrid = false;
};

} // namespace ui

namespace ui {

// A wait in seconds as the pair description shows it: "1 h 0 min 5 s",
// "1 min 30 s", "10 s".
QString durationText(qint64 seconds);

} // namespace ui
