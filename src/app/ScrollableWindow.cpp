#include "app/ScrollableWindow.h"

#include <QScrollArea>
#include <QVBoxLayout>

QScrollArea *makeScrollable(QWidget *window, QSize designSize)
{
    const QList<QWidget *> controls = window->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    auto *content = new QWidget;
    content->setMinimumSize(designSize);
    for (QWidget *control : controls) {
        if (control->parentWidget() != window) // a label that followed its edit already
            continue;
        const bool shown = !control->isHidden();
        control->setParent(content);
        control->setVisible(shown); // a new parent hides a widget
    }
    auto *area = new QScrollArea(window);
    area->setFrameShape(QFrame::NoFrame);
    area->setFocusPolicy(Qt::NoFocus); // the first control keeps the first focus
    area->setWidgetResizable(true);
    area->setWidget(content);
    // Content and scroll area show the window's ground.
    content->setAutoFillBackground(false);
    area->viewport()->setBackgroundRole(window->backgroundRole());
    area->viewport()->setAutoFillBackground(false);
    auto *layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(area);
    return area;
}
