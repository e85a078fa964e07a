#include "ui/main/PathLabel.h"

#include <QEvent>
#include <QHelpEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QTextLayout>
#include <QToolTip>

#include <algorithm>

namespace ui {

PathLabel::PathLabel(Mode mode, QWidget* parent) : QLabel(parent), m_mode(mode) {
    setTextFormat(Qt::PlainText);
    // The layout may make it as narrow as it likes: the text adapts.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    setReservedLines(1);
}

void PathLabel::setMode(Mode mode) {
    m_mode = mode;
    setReservedLines(m_reservedLines);
}

void PathLabel::setReservedLines(int lines) {
    m_reservedLines = m_mode == Mode::Wrap ? std::max(1, lines) : 1;
    setFixedHeight(m_reservedLines * fontMetrics().lineSpacing() + contentsMargins().top() +
                   contentsMargins().bottom());
    updateGeometry();
}

QSize PathLabel::sizeHint() const {
    return QSize(0, height());
}

QSize PathLabel::minimumSizeHint() const {
    return QSize(0, height());
}

QStringList PathLabel::wrappedLines(int width) const {
    QStringList lines;
    const QStringList paragraphs = text().split(QRegularExpression(QStringLiteral("\r\n|\n|\r")));
    for (const QString& paragraph : paragraphs) {
        QTextLayout layout(paragraph, font());
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(std::max(1, width));
            lines << paragraph.mid(line.textStart(), line.textLength());
        }
        layout.endLayout();
        if (paragraph.isEmpty()) {
            lines << QString();
        }
    }
    return lines;
}

bool PathLabel::textFits() const {
    const int width = contentsRect().width();
    if (m_mode == Mode::ElideMiddle) {
        return fontMetrics().horizontalAdvance(text()) <= width;
    }
    return wrappedLines(width).size() <= m_reservedLines;
}

void PathLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    painter.setFont(font());
    const QRect area = contentsRect();
    const QFontMetrics metrics = fontMetrics();
    if (m_mode == Mode::ElideMiddle) {
        painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter,
                         metrics.elidedText(text(), Qt::ElideMiddle, area.width()));
        return;
    }
    int y = area.top() + metrics.ascent();
    for (const QString& line : wrappedLines(area.width())) {
        if (y + metrics.descent() > area.bottom() + 1) {
            break; // the rest is in the tooltip
        }
        painter.drawText(area.left(), y, line);
        y += metrics.lineSpacing();
    }
}

bool PathLabel::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        // The whole text, only when part of it is not drawn.
        auto* help = static_cast<QHelpEvent*>(event);
        if (!text().isEmpty() && !textFits()) {
            QToolTip::showText(help->globalPos(), text(), this);
        } else {
            QToolTip::hideText();
        }
        return true;
    }
    return QLabel::event(event);
}

} // namespace ui
