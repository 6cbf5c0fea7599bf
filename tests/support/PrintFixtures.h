#pragma once

#include "dataview/StringGridModel.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <QStringList>
#include <QTemporaryDir>

#include <initializer_list>

namespace testsupport {

using Rows = QList<QStringList>;

// A fresh working directory holding the named files the program ships in `resources`.
class WorkingDirectory
{
public:
    WorkingDirectory(const QString &resources, std::initializer_list<const char *> shipped)
    {
        for (const char *name : shipped)
            QFile::copy(resources + QLatin1Char('/') + QLatin1String(name), m_dir.filePath(QLatin1String(name)));
        QDir::setCurrent(m_dir.path());
    }
    ~WorkingDirectory() { QDir::setCurrent(m_previous); }
    WorkingDirectory(const WorkingDirectory &) = delete;
    WorkingDirectory &operator=(const WorkingDirectory &) = delete;

    QString path() const { return m_dir.path(); }
    QString path(const QString &name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    QString m_previous = QDir::currentPath();
};

// A grid as the data window keeps it: header row "H0", "H1", …, the records, one empty trailing row.
inline void fillGrid(StringGridModel &grid, int columns, const Rows &records)
{
    grid.setGridColCount(columns);
    grid.setGridRowCount(int(records.size()) + 2);
    for (int r = 0; r < grid.gridRowCount(); ++r)
        grid.clearRow(r);
    for (int c = 0; c < columns; ++c)
        grid.setCell(c, 0, QStringLiteral("H%1").arg(c));
    for (int r = 0; r < records.size(); ++r)
        for (int c = 0; c < records[r].size(); ++c)
            grid.setCell(c, r + 1, records[r][c]);
}

// The records of a data file, read back through `Owner`'s data set of the print layout.
template <class Owner>
Rows dataFileRecords(const QString &fileName)
{
    Owner reader;
    reader.ClientDataSet.FileName = fileName;
    reader.ClientDataSet.Open();
    Rows rows;
    for (int r = 0; r < reader.ClientDataSet.RecordCount(); ++r) {
        QStringList values;
        for (int f = 0; f < reader.ClientDataSet.fieldCount(); ++f)
            values << reader.ClientDataSet.value(r, f);
        rows << values;
    }
    return rows;
}

} // namespace testsupport
