#pragma once

#include <QAbstractTableModel>
#include <QStringList>

#include <memory>
#include <vector>

// The cells of a string grid, indexed like the desktop grid: cell(col, row),
// row 0 holding the column headers. The view sees row 0 as its horizontal
// header and grid row i + 1 as its row i, so the header row can never be
// selected, scrolled away or edited.
//
// A list may hold a hundred thousand rows, so each row keeps its cells in one
// compact block (UTF-8 text with cell offsets) and a cell's QString is built
// only when someone reads it. A row that was only added holds no allocation
// until its first cell is written, so growing the grid by one row costs the
// same at row 100 000 as at row 10.
class StringGridModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit StringGridModel(QObject *parent = nullptr);
    ~StringGridModel() override;

    // Grid interface (row 0 = header row). Reads outside the grid give an
    // empty text; writes outside it are ignored, as there is no cell to hold them.
    QString cell(int col, int row) const;
    void setCell(int col, int row, const QString &text);
    QStringList rowCells(int row) const;
    void clearRow(int row);
    // The row's cells replaced by `cells` (missing ones empty), announced as one change.
    void setRowCells(int row, const QStringList &cells);

    int gridRowCount() const { return int(m_rows.size()); }
    // At least one row (the header row) and one column always remain.
    void setGridRowCount(int count);
    int gridColCount() const { return m_colCount; }
    void setGridColCount(int count);

    // Item model interface (view row i = grid row i + 1).
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    struct FreeBlock
    {
        void operator()(char *block) const noexcept;
    };
    // Null for a row whose cells are all empty; layout in StringGridModel.cpp.
    using Row = std::unique_ptr<char[], FreeBlock>;

    bool contains(int col, int row) const;

    std::vector<Row> m_rows;
    int m_colCount;
};
