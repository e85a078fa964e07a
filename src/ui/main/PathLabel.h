#pragma once

#include <QLabel>

namespace ui {

// A label for texts that hold folder paths of any length, which must never
// make the window wider. text() stays the whole text; only the drawing fits
// it into the width the layout gives:
// - Wrap: broken at word boundaries, or anywhere inside a word too long for
//   a line (a path has no blanks to break at); lines that do not fit in the
//   height are cut. The whole text is also the tooltip when it does not fit.
// - ElideMiddle: one line, "…" in the middle when too long; the whole text is
//   then the tooltip.
// Rich text is not supported: the text is drawn as plain text.
class PathLabel : public QLabel {
    Q_OBJECT
public:
    enum class Mode { Wrap, ElideMiddle };
    explicit PathLabel(Mode mode, QWidget* parent = nullptr);
    // Wrap until setMode() says otherwise (how a form builds it).
    explicit PathLabel(QWidget* parent = nullptr) : PathLabel(Mode::Wrap, parent) {}

    void setMode(Mode mode);

    // Lines of text the label reserves (Wrap only; 1 for ElideMiddle).
    void setReservedLines(int lines);
    // Whether the whole text shows in the current size.
    bool textFits() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    // The lines drawn for a width (Wrap), in order.
    QStringList wrappedLines(int width) const;

    Mode m_mode;
    int m_reservedLines = 1;
};

} // namespace ui
