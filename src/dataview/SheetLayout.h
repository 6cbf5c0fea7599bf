#pragma once

#include <QList>
#include <QPointer>
#include <QRect>
#include <QScrollArea>

// One sheet of the data window in a scroll area. The sheet's controls keep
// the places they were given at the design size. A larger frame grows the
// stretching controls (the grid) to the right and bottom by as much as the
// frame grew; a smaller frame, or a larger scale factor, leaves the sheet at
// its design size and gives it scroll bars, so every control stays reachable.
//
// The design size of the sheet is what the frame (the page control) leaves of
// its design size once its tab bar and border are taken off, so at the design
// size every control sits exactly where it was placed, whatever the style.
class SheetScrollArea : public QScrollArea
{
    Q_OBJECT

public:
    SheetScrollArea(QWidget *sheet, QWidget *frame, QSize frameDesignSize, QWidget *parent = nullptr);

    // From now on w grows with the frame; its present geometry is its design geometry.
    void addStretching(QWidget *w);

    QWidget *sheet() const { return widget(); }
    // The sheet's size at the frame's design size; valid once the area has a size.
    QSize sheetDesignSize() const;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void followFrame();

    QPointer<QWidget> m_frame;
    QSize m_frameDesignSize;
    QList<QPair<QPointer<QWidget>, QRect>> m_stretching;
};
