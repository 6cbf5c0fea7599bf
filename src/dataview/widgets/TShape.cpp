#include "dataview/widgets/TShape.h"

#include <QPainter>
#include <QResizeEvent>

#include <algorithm>

TShape::TShape(QWidget *parent)
    : QWidget(parent)
    , m_penColor(maroon())
{
}

void TShape::setPenColor(const QColor &color)
{
    if (color == m_penColor)
        return;
    m_penColor = color;
    update();
}

void TShape::setPenWidth(int width)
{
    width = std::max(width, 0);
    if (width == m_penWidth)
        return;
    m_penWidth = width;
    update();
}

void TShape::makeSquareDisc()
{
    m_squareDisc = true;
    if (height() != width())
        resize(width(), width());
    setPenWidth(width());
}

QSize TShape::sizeHint() const
{
    return {65, 65};
}

void TShape::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (!m_squareDisc)
        return;
    const int side = event->size().width();
    setPenWidth(side);
    // The resize below comes back here once, then the shape is square.
    if (event->size().height() != side)
        resize(side, side);
}

void TShape::paintEvent(QPaintEvent *)
{
    const int diameter = std::min(width(), height());
    if (diameter <= 0)
        return;
    const QRectF outer((width() - diameter) / 2.0, (height() - diameter) / 2.0, diameter, diameter);

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    // A pen stroke of width w centred on the outline covers the ring between the
    // outer edge and w pixels inside it; a pen as wide as the radius or more fills the disc.
    painter.setBrush(m_penWidth > 0 ? m_penColor : QColor(Qt::white));
    painter.drawEllipse(outer);
    const qreal inner = diameter - 2.0 * m_penWidth;
    if (m_penWidth > 0 && inner > 0) {
        painter.setBrush(Qt::white);
        painter.drawEllipse(outer.center(), inner / 2.0, inner / 2.0);
    }
}
