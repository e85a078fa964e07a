#include "ui/main/PairGrid.h"

#include "config/FolderPairs.h"
#include "ui/main/UiSupport.h"

#include <QApplication>
#include <QFocusEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QToolTip>

#include <algorithm>

namespace ui {

const QColor PairGrid::kDisabledGrey(128, 128, 128);

namespace {

constexpr int kModeIconSize = 24;
constexpr int kMacIconSize = 16;

// Draws the mode picture centred, the Macintosh-volume picture at the left
// of a folder cell (over the six blanks that start its text), and the
// selection only while the grid's selection mark is on.
class PairGridDelegate : public QStyledItemDelegate {
public:
    explicit PairGridDelegate(PairGrid* grid)
        : QStyledItemDelegate(grid), m_grid(grid), m_compress(programIcon("compress")),
          m_uncompress(programIcon("uncompress")), m_mac(programIcon("macvolume")) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem opt(option);
        initStyleOption(&opt, index);
        if (!m_grid->selectionMark()) {
            opt.state &= ~QStyle::State_Selected;
        }
        opt.state &= ~QStyle::State_HasFocus;
        const QWidget* widget = opt.widget;
        QStyle* style = widget ? widget->style() : nullptr;
        if (index.column() == 1) {
            opt.text.clear();
            opt.icon = QIcon();
            opt.features &= ~QStyleOptionViewItem::HasDecoration;
            if (style) {
                style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
            }
            if (index.data(PairGrid::UncompressRole).isValid()) {
                const QIcon& icon =
                    index.data(PairGrid::UncompressRole).toBool() ? m_uncompress : m_compress;
                QRect r(0, 0, kModeIconSize, kModeIconSize);
                r.moveCenter(opt.rect.center());
                icon.paint(painter, r);
            }
            return;
        }
        if (style) {
            style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
        }
        if (index.data(PairGrid::MacVolumeRole).toBool()) {
            QRect r(0, 0, kMacIconSize, kMacIconSize);
            r.moveCenter(opt.rect.center());
            r.moveLeft(opt.rect.left() + 3);
            m_mac.paint(painter, r);
        }
    }

private:
    PairGrid* m_grid;
    QIcon m_compress, m_uncompress, m_mac;
};

void drawAsDisabled(QTableWidgetItem* cell, bool disabled) {
    QFont f = cell->font();
    f.setStrikeOut(disabled);
    cell->setFont(f);
    if (disabled) {
        cell->setForeground(PairGrid::kDisabledGrey);
    } else {
        cell->setData(Qt::ForegroundRole, QVariant());
    }
}

} // namespace

PairGrid::PairGrid(QWidget* parent) : QTableWidget(0, 3, parent) {
    setObjectName(QStringLiteral("lstDossiers"));
    horizontalHeader()->hide();
    verticalHeader()->hide();
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setWordWrap(false);
    // A long path keeps both ends, which tell most about it; the whole path is
    // in the tooltip and the description line.
    setTextElideMode(Qt::ElideMiddle);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setMinimumSectionSize(kPictureWidth);
    const int rowHeight = std::max(kPictureHeight, fontMetrics().height() + 8);
    verticalHeader()->setMinimumSectionSize(kPictureHeight);
    verticalHeader()->setDefaultSectionSize(rowHeight);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setItemDelegate(new PairGridDelegate(this));
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    fitColumns();
    setSelectionMark(false);
}

QSize PairGrid::sizeHint() const {
    // Room for kVisibleRows rows, so that the window opens showing them.
    const int frame = 2 * frameWidth();
    return QSize(QTableWidget::sizeHint().width(),
                 kVisibleRows * verticalHeader()->defaultSectionSize() + frame);
}

void PairGrid::fill(const QVector<config::PairRowView>& rows) {
    // Each row becomes current as it is added; only the last one counts.
    const QSignalBlocker quiet(this);
    clearContents();
    setRowCount(0);
    for (const config::PairRowView& row : rows) {
        const config::FolderPair* pair = config::folderPairs().pair(row.pairNumber);
        const int r = rowCount();
        insertRow(r);
        auto* source = new QTableWidgetItem(row.sourceText);
        source->setData(PairNumberRole, row.pairNumber);
        source->setData(MacVolumeRole, row.sourceOnMac);
        auto* mode = new QTableWidgetItem;
        mode->setData(UncompressRole, pair && pair->rar == QLatin1String("1"));
        auto* target = new QTableWidgetItem(row.targetText);
        target->setData(MacVolumeRole, row.targetOnMac);
        const bool disabled = pair && pair->enable != QLatin1String("1");
        drawAsDisabled(source, disabled);
        drawAsDisabled(target, disabled);
        setItem(r, 0, source);
        setItem(r, 1, mode);
        setItem(r, 2, target);
        // As each row is added it becomes the current row.
        selectBlock(r, r);
    }
    fitColumns();
}

int PairGrid::appendProvisionalRow(const QString& sourceText, int number) {
    const int r = rowCount();
    insertRow(r);
    auto* source = new QTableWidgetItem(sourceText);
    source->setData(PairNumberRole, number);
    setItem(r, 0, source);
    setItem(r, 1, new QTableWidgetItem(QStringLiteral("???")));
    setItem(r, 2, new QTableWidgetItem);
    return r;
}

int PairGrid::pairNumber(int row) const {
    const QTableWidgetItem* cell = row >= 0 && row < rowCount() ? item(row, 0) : nullptr;
    return cell ? cell->data(PairNumberRole).toInt() : 0;
}

QVector<int> PairGrid::rowPairNumbers() const {
    QVector<int> numbers;
    numbers.reserve(rowCount());
    for (int r = 0; r < rowCount(); ++r) {
        numbers.append(pairNumber(r));
    }
    return numbers;
}

QString PairGrid::cellText(int row, int column) const {
    const QTableWidgetItem* cell = item(row, column);
    return cell ? cell->text() : QString();
}

void PairGrid::setSelectionMark(bool on) {
    m_selectionMark = on;
    // Some styles paint a selected row's panel before the delegate runs, so
    // taking the selected state out of the delegate's option is not enough:
    // while the mark is off the highlight colours are those of an ordinary
    // row, in every colour group.
    QPalette p = palette();
    const QPalette normal = QApplication::palette(this);
    for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        p.setColor(g, QPalette::Highlight,
                   on ? normal.color(g, QPalette::Highlight) : normal.color(g, QPalette::Base));
        p.setColor(g, QPalette::HighlightedText,
                   on ? normal.color(g, QPalette::HighlightedText)
                      : normal.color(g, QPalette::Text));
    }
    setPalette(p);
    viewport()->update();
}

int PairGrid::selectionEndRow() const {
    const int current = currentRow();
    if (current < 0 || !selectionModel()) {
        return current;
    }
    const auto selected = [this](int r) {
        return r >= 0 && r < rowCount() && selectionModel()->isRowSelected(r, QModelIndex());
    };
    if (!selected(current)) {
        return current;
    }
    int low = current;
    int high = current;
    while (selected(low - 1)) {
        --low;
    }
    while (selected(high + 1)) {
        ++high;
    }
    return low == current ? high : low;
}

void PairGrid::selectBlock(int current, int endRow) {
    if (current < 0 || current >= rowCount()) {
        return;
    }
    endRow = std::clamp(endRow, 0, rowCount() - 1);
    const QItemSelection block(model()->index(std::min(current, endRow), 0),
                               model()->index(std::max(current, endRow), 2));
    selectionModel()->setCurrentIndex(model()->index(current, 0), QItemSelectionModel::NoUpdate);
    selectionModel()->select(block, QItemSelectionModel::ClearAndSelect);
}

int PairGrid::rowUnder(const QPoint& viewportPos) const {
    return rowAt(viewportPos.y());
}

void PairGrid::focusInEvent(QFocusEvent* event) {
    QTableWidget::focusInEvent(event);
    // Coming back to the window (after a dialog, from another program) is not
    // the user turning to the grid.
    if (event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason) {
        setSelectionMark(true);
    }
}

void PairGrid::mousePressEvent(QMouseEvent* event) {
    m_pressOnGrid = true;
    if (!indexAt(event->position().toPoint()).isValid()) {
        // Below the last row: the current row and its selection stay.
        setFocus(Qt::MouseFocusReason);
        event->accept();
        return;
    }
    QTableWidget::mousePressEvent(event);
}

void PairGrid::mouseReleaseEvent(QMouseEvent* event) {
    QTableWidget::mouseReleaseEvent(event);
    if (!m_pressOnGrid || event->button() != Qt::LeftButton) {
        return;
    }
    m_pressOnGrid = false;
    if (rowCount() > 0) {
        const QPoint pos = event->position().toPoint();
        setSelectionMark(true);
        Q_EMIT gridClicked(columnAt(pos.x()), rowAt(pos.y()) >= 0);
    }
}

void PairGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableWidget::mouseDoubleClickEvent(event);
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::LeftButton && rowAt(pos.y()) >= 0) {
        Q_EMIT gridDoubleClicked(columnAt(pos.x()));
    }
}

void PairGrid::mouseMoveEvent(QMouseEvent* event) {
    Q_EMIT pointerMoved(event->position().toPoint());
    QTableWidget::mouseMoveEvent(event);
}

void PairGrid::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        if (m_selectionMark && rowCount() > 0) {
            Q_EMIT deleteRequested();
        }
        event->accept();
        return;
    }
    QTableWidget::keyPressEvent(event);
}

bool PairGrid::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        // The tooltip is the one that the last pointer move chose.
        auto* help = static_cast<QHelpEvent*>(event);
        if (toolTip().isEmpty()) {
            QToolTip::hideText();
        } else {
            QToolTip::showText(help->globalPos(), toolTip(), viewport());
        }
        return true;
    }
    const bool handled = QTableWidget::viewportEvent(event);
    if (event->type() == QEvent::Resize) {
        fitColumns(); // a scroll bar came or went
    }
    return handled;
}

void PairGrid::resizeEvent(QResizeEvent* event) {
    QTableWidget::resizeEvent(event);
    fitColumns();
}

void PairGrid::fitColumns() {
    const int half = std::max(0, (viewport()->width() - kPictureWidth) / 2);
    setColumnWidth(0, half);
    setColumnWidth(1, kPictureWidth);
    setColumnWidth(2, half);
}

} // namespace ui
