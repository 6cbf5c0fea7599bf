#pragma once

#include "report/ReportDataSet.h"

#include <QList>

// An in-memory data set: fixed fields, records appended in order.
class ReportTable : public ReportDataSet
{
public:
    explicit ReportTable(QStringList fieldNames = {});

    // Missing trailing values are empty, surplus ones are dropped.
    void appendRecord(QStringList values);
    void clear();

    QStringList fieldNames() const override { return m_fieldNames; }
    int recordCount() const override { return int(m_records.size()); }
    QString value(int record, int field) const override;

private:
    QStringList m_fieldNames;
    QList<QStringList> m_records;
};
