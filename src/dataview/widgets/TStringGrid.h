#pragma once

#include <QColor>
#include <QHeaderView>
#include <QStringList>
#include <QTableView>

class QAction;
class QMenu;
class StringGridModel;

// The read-only string grid of the data window, indexed like the desktop grid
// (cell(col, row), row 0 = the header texts). Row 0 is drawn as one fixed
// sky-blue header row that stays on top while the rows scroll; rows are
// selected whole, one or a range at a time; the user may drag column widths
// but not move columns, resize rows or edit cells.
class TStringGrid : public QTableView
{
    Q_OBJECT

public:
    static constexpr int defaultColWidth() { return 64; }
    static constexpr int defaultRowHeight() { return 24; }
    static constexpr int maxColWidth() { return 32767; }
    static QColor headerColor() { return QColor(166, 202, 240); }

    // A fresh grid has 5 columns and 2 rows: the header row and one empty data row.
    explicit TStringGrid(QWidget *parent = nullptr);
    ~TStringGrid() override;

    QString cell(int col, int row) const;
    void setCell(int col, int row, const QString &text);
    QStringList rowCells(int row) const;
    void clearRow(int row);

    // RowCount counts the header row: n records plus header plus trailing row = n + 2.
    // Growing adds empty rows, cutting drops the rows at the end; at least 1 remains.
    int rowCount() const;
    void setRowCount(int count);
    int colCount() const;
    void setColCount(int count);

    // Widths are kept between 0 and maxColWidth(); out-of-range columns read as 0.
    int colWidth(int col) const;
    void setColWidth(int col, int width);
    QList<int> colWidths() const;

    StringGridModel *gridModel() const { return m_model; }

    // What Ctrl+C and the context menu put on the clipboard: the selected rows
    // as tab-separated text (headers first when asked), or the text of a
    // single selected cell alone. Reads the grid and changes nothing.
    QString selectionText(bool withHeaders) const;
    void copySelection(bool withHeaders) const;
    // The context menu's "Kopieren" and "Mit Überschriften kopieren".
    QAction *copyAction() const { return m_copy; }
    QAction *copyWithHeadersAction() const { return m_copyWithHeaders; }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    using QTableView::setModel;

    StringGridModel *m_model;
    QAction *m_copy;
    QAction *m_copyWithHeaders;
    QMenu *m_menu;
};

// The grid's horizontal header: shows grid row 0 on the sky-blue ground with
// grid lines, at the fixed row height.
class StringGridHeader : public QHeaderView
{
    Q_OBJECT

public:
    explicit StringGridHeader(QWidget *parent = nullptr);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;
};
