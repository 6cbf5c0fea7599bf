#pragma once

// The grid's model as it stood before rows were stored compactly: one
// QStringList per row, one QString per cell. Kept only so bench_grid can
// measure the compact store against it in the same run.

#include <QAbstractTableModel>
#include <QStringList>

#include <vector>

class PerCellStringModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit PerCellStringModel(QObject *parent = nullptr);

    QString cell(int col, int row) const;
    void setCell(int col, int row, const QString &text);
    QStringList rowCells(int row) const;
    void clearRow(int row);

    int gridRowCount() const { return int(m_rows.size()); }
    void setGridRowCount(int count);
    int gridColCount() const { return m_colCount; }
    void setGridColCount(int count);

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
