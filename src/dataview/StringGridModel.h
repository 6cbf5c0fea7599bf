#pragma once

#include <QAbstractTableModel>
#include <QStringList>

#include <vector>

// The cells of a string grid, indexed like the desktop grid: cell(col, row),
// row 0 holding the column headers. The view sees row 0 as its horizontal
// header and grid row i + 1 as its row i, so the header row can never be
// selected, scrolled away or edited.
//
// Rows are stored as one QStringList each, sized lazily: a row that was only
// added holds no allocation until its first cell is written, so growing the
// grid by one row costs the same at row 100 000 as at row 10.
class StringGridModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit StringGridModel(QObject *parent = nullptr);

    // Grid interface (row 0 = header row). Reads outside the grid give an
    // empty text; writes outside it are ignored, as there is no cell to hold them.
    QString cell(int col, int row) const;
    void setCell(int col, int row, const QString &text);
    QStringList rowCells(int row) const;
    void clearRow(int row);

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
    bool contains(int col, int row) const;

    std::vector<QStringList> m_rows;
    int m_colCount;
};
