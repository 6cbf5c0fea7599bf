// A print data file opened by the print data set laid out as printing lays it
// out (fifteen string fields of 20 bytes). The data set reads only files, so
// each input is written to one file in a private folder first.
#include "output/ClientDataSet.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

QTemporaryDir *folder = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    folder = new QTemporaryDir(QStringLiteral("/dev/shm/plivora-fuzz-XXXXXX"));
    if (!folder->isValid()) {
        delete folder;
        folder = new QTemporaryDir();
    }
    if (!folder->isValid())
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString fileName = folder->filePath(QStringLiteral("Bewohner.xml"));
    {
        QFile file(fileName);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
            || file.write(reinterpret_cast<const char *>(data), static_cast<qint64>(size)) != static_cast<qint64>(size))
            std::abort();
    }
    TClientDataSet dataSet(QStringLiteral("ClientDataSet"));
    for (int i = 1; i <= 15; ++i)
        dataSet.addStringField(QStringLiteral("ClientDataSetSpalte%1").arg(i), QStringLiteral("Spalte%1").arg(i), 20);
    dataSet.FileName = fileName;
    try {
        dataSet.Open();
        for (int record = 0; record < dataSet.RecordCount(); ++record) {
            for (int field = 0; field < dataSet.fieldCount(); ++field)
                dataSet.value(record, field);
        }
    } catch (const Exception &) {
    }
    return 0;
}
