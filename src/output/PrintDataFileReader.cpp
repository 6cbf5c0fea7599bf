#include "output/PrintDataFileReader.h"

#include "output/ClientDataSet.h"
#include "output/PrintComponents.h"

namespace output {

namespace {

// A data set of its own for each read, so a report over a data file never
// touches the print data set that the data connection shows.
class DataFileRecords : public ReportDataSet
{
public:
    DataFileRecords(const TClientDataSet &layout, const QString &path)
        : m_dataSet(layout.Name)
    {
        for (int i = 0; i < layout.fieldCount(); ++i) {
            const TStringField &field = layout.field(i);
            m_dataSet.addStringField(field.Name, field.FieldName, field.Size).DisplayLabel = field.DisplayLabel;
        }
        m_dataSet.FileName = path;
        m_dataSet.Open();
    }

    QStringList fieldNames() const override
    {
        QStringList names;
        for (int i = 0; i < m_dataSet.fieldCount(); ++i)
            names << m_dataSet.field(i).FieldName;
        return names;
    }
    int recordCount() const override { return m_dataSet.RecordCount(); }
    QString value(int record, int field) const override { return m_dataSet.value(record, field); }

private:
    TClientDataSet m_dataSet;
};

} // namespace

std::unique_ptr<ReportDataSet> readPrintDataFile(const TClientDataSet &layout, const QString &path)
{
    return std::make_unique<DataFileRecords>(layout, path);
}

void installPrintDataFileReader(PrintComponents &print)
{
    const TClientDataSet &layout = print.ClientDataSet;
    print.RvSystem.setDataFileReader([&layout](const QString &path) { return readPrintDataFile(layout, path); });
}

} // namespace output
