#pragma once

#include <QObject>

class ReportDataSet;

// Presents a data set to the engine under the connection's component name
// (its objectName, e.g. "RvDataSetConnectionPlivora"); report projects name
// their source by it. Register it with RvSystem::addDataConnection.
class RvDataSetConnection : public QObject
{
    Q_OBJECT

public:
    explicit RvDataSetConnection(const QString &componentName, QObject *parent = nullptr);

    // Not owned; may be null while there is nothing to show.
    ReportDataSet *DataSet() const { return m_dataSet; }
    void setDataSet(ReportDataSet *dataSet) { m_dataSet = dataSet; }

private:
    ReportDataSet *m_dataSet = nullptr;
};
