#pragma once

#include <QColor>
#include <QWidget>

// A circle shape like the desktop's: its outline is drawn with a pen of
// penWidth() pixels inside the square of the shorter side, the rest filled
// white. With a pen as wide as the shape the whole circle is a disc in the pen
// colour, which is how the status lamps show their state.
class TShape : public QWidget
{
    Q_OBJECT

public:
    static QColor maroon() { return QColor(128, 0, 0); }

    explicit TShape(QWidget *parent = nullptr);

    QColor penColor() const { return m_penColor; }
    void setPenColor(const QColor &color);
    int penWidth() const { return m_penWidth; }
    void setPenWidth(int width);

    // From now on height := width and pen width := width, on every resize too,
    // so the lamp stays a filled disc whatever size or scaling it gets.
    void makeSquareDisc();
    bool isSquareDisc() const { return m_squareDisc; }

    bool hasHeightForWidth() const override { return m_squareDisc; }
    int heightForWidth(int width) const override { return width; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QColor m_penColor;
    int m_penWidth = 1;
    bool m_squareDisc = false;
};
