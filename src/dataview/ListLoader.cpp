#include "dataview/ListLoader.h"

#include "dataview/StringGridModel.h"
#include "exchange/ChunkRows.h"
#include "exchange/UPlivoraCom.h"

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
    if (!served) {
        // The error box has been shown by now; the list waits for "Neu Laden".
        m_paused = true;
        m_view.showLamp(Lamp::Maroon);
    }
    return served;
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
    m_view.showLamp(Lamp::Yellow);
    m_view.processPendingMessages();
    record.Status = 1;
    m_exchange.requestChunk();
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

    int targetRow = 0;
    RowSink sink;
    sink.rowStarts = [&](bool endRow) {
        const int r = m_grid.gridRowCount();
        if (endRow)
            m_noMore = true;
        else
            m_grid.setGridRowCount(r + 1);
        m_grid.clearRow(m_grid.gridRowCount() - 1);
        targetRow = r - 1;
    };
    sink.cell = [&](int cellNumber, const QString &value) {
        const int col = m_columns.columnOfCell(cellNumber);
        if (col >= 0)
            m_grid.setCell(col, targetRow, value);
    };
    walkChunkRows(record, sink);
}

template class ListLoader<TBWKom>;
template class ListLoader<TWaeKom>;
template class ListLoader<TWaschKom>;

} // namespace dataview
