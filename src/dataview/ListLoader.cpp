#include "dataview/ListLoader.h"

#include "dataview/StringGridModel.h"
#include "exchange/ChunkRows.h"
#include "exchange/UPlivoraCom.h"

#include <vector>

namespace dataview {

template <class Record>
ListLoader<Record>::ListLoader(ListExchange<Record> &exchange, StringGridModel &grid, SheetView &view,
                               bool &reloadFlag, bool &endFlag, const contract::ListContract &columns, Guard guard)
    : m_exchange(exchange)
    , m_grid(grid)
    , m_view(view)
    , m_reload(reloadFlag)
    , m_noMore(endFlag)
    , m_columns(columns)
    , m_guard(std::move(guard))
    , m_outcome([this](std::exception_ptr error) { takeOutcome(error); })
{
}

template <class Record>
bool ListLoader<Record>::serve()
{
    const bool served = m_guard([this] {
        Record &record = m_exchange.record();
        if (record.Status != 1 && m_reload)
            startNewLoad(record);
        if (m_paused)
            return;
        if (record.Status == 2)
            appendReply(record);
        if (record.Status == 0)
            requestNext(record);
    });
    if (!served)
        pause();
    return served;
}

template <class Record>
bool ListLoader<Record>::takeOutcome(std::exception_ptr error)
{
    if (!error)
        return true;
    const bool served = m_guard([&error] { std::rethrow_exception(error); });
    if (!served)
        pause();
    return served;
}

template <class Record>
void ListLoader<Record>::pause()
{
    // The error box has been shown by now; the list waits for "Neu Laden".
    m_paused = true;
    m_view.showLamp(Lamp::Maroon);
}

template <class Record>
void ListLoader<Record>::startNewLoad(Record &record)
{
    m_reload = false;
    record.Status = -1;
    m_view.showLamp(Lamp::Maroon);
    record.AnzahlDatensaetzeGelesen = 0;
    setStartPagingKey(record);
    m_grid.setGridRowCount(2);
    m_view.initSheet();
    showCounter(record);
    m_grid.clearRow(m_grid.gridRowCount() - 1);
    m_paused = false;
    m_placedGeneration = record.XMLFile.generation(); // a waiting reply is dropped
    m_view.processPendingMessages();
    record.Status = 0;
}

template <class Record>
void ListLoader<Record>::appendReply(Record &record)
{
    m_view.showLamp(Lamp::Red);
    m_view.processPendingMessages();
    readRows();
    record.Status = 0;
    showCounter(record);
}

template <class Record>
void ListLoader<Record>::requestNext(Record &record)
{
    if (m_noMore) {
        m_view.showLamp(Lamp::Lime);
        return;
    }
    // One exchange at a time over the one connection: while another list's
    // reply is still out, this list waits for a later tick.
    if (m_exchange.busy())
        return;
    m_view.showLamp(Lamp::Yellow);
    m_view.processPendingMessages();
    record.Status = 1;
    try {
        m_exchange.requestChunk([this](std::exception_ptr error) { m_outcome(error); });
    } catch (...) {
        record.Status = 2;
        throw;
    }
}

template <class Record>
void ListLoader<Record>::showCounter(const Record &record)
{
    m_view.showCounter(QStringLiteral("%1 / %2").arg(record.AnzahlDatensaetzeGelesen).arg(record.AnzahlDatensaetzeGesamt));
}

template <class Record>
void ListLoader<Record>::readRows()
{
    Record &record = m_exchange.record();
    if (record.XMLFile.generation() == m_placedGeneration)
        return;
    m_placedGeneration = record.XMLFile.generation();

    // The reply's rows are worked out on a copy of the rows it can touch (the
    // trailing row on) and enter the model in one go: a view follows one
    // insertion and one change per row instead of one per cell.
    const int first = m_grid.gridRowCount() - 1;
    const int columns = m_grid.gridColCount();
    std::vector<QStringList> rows{m_grid.rowCells(first)};
    std::size_t targetRow = 0;
    RowSink sink;
    sink.rowStarts = [&](bool endRow) {
        if (endRow)
            m_noMore = true;
        else
            rows.emplace_back();
        rows.back() = QStringList(columns); // the grid's last row, emptied
        targetRow = rows.size() - (endRow ? 1 : 2);
    };
    sink.cell = [&](int cellNumber, const QString &value) {
        const int col = m_columns.columnOfCell(cellNumber);
        if (col >= 0 && col < columns)
            rows[targetRow][col] = value;
    };
    // A walk that fails part-way keeps the rows handed on so far.
    const auto place = [&] {
        m_grid.setGridRowCount(first + int(rows.size()));
        for (std::size_t i = 0; i < rows.size(); ++i)
            m_grid.setRowCells(first + int(i), rows[i]);
    };
    try {
        walkChunkRows(record, sink);
    } catch (...) {
        place();
        throw;
    }
    place();
}

template class ListLoader<TBWKom>;
template class ListLoader<TWaeKom>;
template class ListLoader<TWaschKom>;

} // namespace dataview
