#include "report/ReportTable.h"

ReportTable::ReportTable(QStringList fieldNames)
    : m_fieldNames(std::move(fieldNames))
{
}

void ReportTable::appendRecord(QStringList values)
{
    const qsizetype width = m_fieldNames.size();
    if (values.size() > width)
        values.resize(width);
    while (values.size() < width)
        values.append(QString());
    m_records.append(std::move(values));
}

void ReportTable::clear()
{
    m_records.clear();
}

QString ReportTable::value(int record, int field) const
{
    return m_records.at(record).at(field);
}
