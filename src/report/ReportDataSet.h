#pragma once

#include <QString>
#include <QStringList>

// What the engine reads of a data set: named fields and records in order.
// The print data set of the program implements this; ReportTable is a plain
// in-memory one.
class ReportDataSet
{
public:
    virtual ~ReportDataSet() = default;

    virtual QStringList fieldNames() const = 0;
    virtual int recordCount() const = 0;
    // The text of one field of one record; record in [0, recordCount()), field an
    // index into fieldNames().
    virtual QString value(int record, int field) const = 0;
};
