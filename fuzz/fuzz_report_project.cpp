// A report project file's bytes, read for its active report.
#include "report/ReportErrors.h"
#include "report/ReportProjectReader.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray content = QByteArray::fromRawData(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    try {
        ReportProjectReader::parseActiveReport(content, QStringLiteral("/fuzz/XMLBewohnerListe.rav"));
    } catch (const Exception &) {
    }
    return 0;
}
