#pragma once

#include <QSize>

class QScrollArea;
class QWidget;

// Moves the controls of a window with a fixed design into a scroll area that
// fills the window, so a window smaller than its design (a small screen, a
// large scale factor) scrolls instead of cutting controls off. The controls
// keep their places; the content is at least designSize and grows with the window.
QScrollArea *makeScrollable(QWidget *window, QSize designSize);
