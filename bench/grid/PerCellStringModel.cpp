#include "PerCellStringModel.h"

#include <algorithm>

PerCellStringModel::PerCellStringModel(QObject *parent)
    : QAbstractTableModel(parent)
    , m_rows(2)
    , m_colCount(5)
{
}

bool PerCellStringModel::contains(int col, int row) const
{
    return col >= 0 && col < m_colCount && row >= 0 && row < gridRowCount();
}

QString PerCellStringModel::cell(int col, int row) const
{
    if (!contains(col, row))
        return {};
    const QStringList &cells = m_rows[size_t(row)];
    return col < cells.size() ? cells.at(col) : QString();
}

void PerCellStringModel::setCell(int col, int row, const QString &text)
{
    if (!contains(col, row))
        return;
    QStringList &cells = m_rows[size_t(row)];
    if (col >= cells.size()) {
        if (text.isEmpty())
            return;
        cells.resize(m_colCount);
    }
    cells[col] = text;
    if (row == 0)
        emit headerDataChanged(Qt::Horizontal, col, col);
    else
        emit dataChanged(index(row - 1, col), index(row - 1, col), {Qt::DisplayRole});
}

QStringList PerCellStringModel::rowCells(int row) const
{
    if (row < 0 || row >= gridRowCount())
        return {};
    QStringList cells = m_rows[size_t(row)];
    if (cells.size() < m_colCount)
        cells.resize(m_colCount);
    return cells;
}

void PerCellStringModel::clearRow(int row)
{
    if (row < 0 || row >= gridRowCount())
        return;
    QStringList &cells = m_rows[size_t(row)];
    if (cells.isEmpty())
        return;
    cells = QStringList();
    if (row == 0)
        emit headerDataChanged(Qt::Horizontal, 0, m_colCount - 1);
    else
        emit dataChanged(index(row - 1, 0), index(row - 1, m_colCount - 1), {Qt::DisplayRole});
}

void PerCellStringModel::setGridRowCount(int count)
{
    count = std::max(count, 1);
    const int old = gridRowCount();
    if (count > old) {
        beginInsertRows(QModelIndex(), old - 1, count - 2);
        m_rows.resize(size_t(count));
        endInsertRows();
    } else if (count < old) {
        beginRemoveRows(QModelIndex(), count - 1, old - 2);
        m_rows.resize(size_t(count));
        endRemoveRows();
    }
}

void PerCellStringModel::setGridColCount(int count)
{
    count = std::max(count, 1);
    if (count > m_colCount) {
        beginInsertColumns(QModelIndex(), m_colCount, count - 1);
        m_colCount = count;
        endInsertColumns();
    } else if (count < m_colCount) {
        beginRemoveColumns(QModelIndex(), count, m_colCount - 1);
        m_colCount = count;
        for (QStringList &cells : m_rows)
            if (cells.size() > count)
                cells.resize(count);
        endRemoveColumns();
    }
}

int PerCellStringModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : gridRowCount() - 1;
}

int PerCellStringModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_colCount;
}

QVariant PerCellStringModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    return cell(index.column(), index.row() + 1);
}

QVariant PerCellStringModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return cell(section, 0);
    return section + 1;
}

Qt::ItemFlags PerCellStringModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}
