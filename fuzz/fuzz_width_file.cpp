// A column-width file's bytes: split into lines, read as widths and applied to
// a grid of the laundry-item sheet's width (16 columns).
#include "dataview/widgets/ColumnWidthFile.h"
#include "dataview/widgets/TStringGrid.h"

#include <QApplication>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

TStringGrid *grid = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QApplication(*argc, *argv);
    grid = new TStringGrid();
    grid->setColCount(16);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    for (const QString &line : dataview::widthFileLines(bytes))
        dataview::readWidth(line);
    dataview::widthFileWidths(bytes, 16);
    try {
        dataview::applyWidthFile(*grid, bytes);
    } catch (const Exception &) {
    }
    return 0;
}
