#include "dataview/SheetLayout.h"

#include <QResizeEvent>
#include <QScrollBar>

#include <algorithm>

SheetScrollArea::SheetScrollArea(QWidget *sheet, QWidget *frame, QSize frameDesignSize, QWidget *parent)
    : QScrollArea(parent)
    , m_frame(frame)
    , m_frameDesignSize(frameDesignSize)
{
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::NoFocus); // Tab goes from control to control, as before
    setWidgetResizable(false); // the sheet's size is set in followFrame()
    setWidget(sheet);
    // The sheet shows the window's ground, not the scroll area's.
    sheet->setAutoFillBackground(false);
    viewport()->setBackgroundRole(QPalette::Button);
}

void SheetScrollArea::addStretching(QWidget *w)
{
    m_stretching.append({w, w->geometry()});
}

QSize SheetScrollArea::sheetDesignSize() const
{
    if (!m_frame)
        return size();
    // The frame's own parts (tab bar, border) keep their size when it grows or shrinks.
    const QSize frameParts = m_frame->size() - size();
    return m_frameDesignSize - frameParts;
}

void SheetScrollArea::resizeEvent(QResizeEvent *event)
{
    QScrollArea::resizeEvent(event);
    followFrame();
}

void SheetScrollArea::followFrame()
{
    QWidget *sheet = widget();
    if (!sheet)
        return;
    const QSize design = sheetDesignSize();
    // A scroll bar in one direction takes room from the other.
    QSize room = size();
    const int barWidth = verticalScrollBar()->sizeHint().width();
    const int barHeight = horizontalScrollBar()->sizeHint().height();
    bool vertical = design.height() > room.height();
    bool horizontal = design.width() > room.width();
    if (vertical && !horizontal)
        horizontal = design.width() > room.width() - barWidth;
    if (horizontal && !vertical)
        vertical = design.height() > room.height() - barHeight;
    if (vertical)
        room.rwidth() -= barWidth;
    if (horizontal)
        room.rheight() -= barHeight;
    const QSize grown(std::max(0, room.width() - design.width()), std::max(0, room.height() - design.height()));
    sheet->resize(design + grown);
    for (const auto &[w, rect] : std::as_const(m_stretching)) {
        if (w)
            w->setGeometry(rect.adjusted(0, 0, grown.width(), grown.height()));
    }
}
