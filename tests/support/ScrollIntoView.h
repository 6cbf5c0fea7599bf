#pragma once

#include <QRect>
#include <QScrollArea>
#include <QScrollBar>
#include <QWidget>

namespace testsupport {

// Moves the scroll bars as a user would until the part r of the scrolled
// widget shows, and says whether it then lies inside the visible part.
inline bool scrolledIntoView(QScrollArea *area, const QRect &r)
{
    const QSize view = area->viewport()->size();
    QScrollBar *h = area->horizontalScrollBar();
    QScrollBar *v = area->verticalScrollBar();
    if (r.right() + 1 > h->value() + view.width())
        h->setValue(r.right() + 1 - view.width());
    if (r.left() < h->value())
        h->setValue(r.left());
    if (r.bottom() + 1 > v->value() + view.height())
        v->setValue(r.bottom() + 1 - view.height());
    if (r.top() < v->value())
        v->setValue(r.top());
    const QRect shown = r.translated(area->widget()->mapTo(area->viewport(), QPoint(0, 0)));
    return area->viewport()->rect().contains(shown);
}

} // namespace testsupport
