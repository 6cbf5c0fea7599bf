#pragma once

#include "contract/ListContract.h"
#include "exchange/TransferRecords.h"

#include <QString>

#include <cstdint>
#include <functional>

class StringGridModel;

namespace dataview {

// The colours a list's lamp shows.
enum class Lamp { Maroon, Red, Yellow, Lime };

// What a loader needs of its sheet besides the grid's rows.
class SheetView
{
public:
    virtual ~SheetView() = default;
    virtual void showLamp(Lamp colour) = 0;
    virtual void showCounter(const QString &text) = 0;
    // The sheet initialisation: headers kept, end flag cleared, lamp kept a disc.
    virtual void initSheet() = 0;
    // Lets the window repaint and handle queued input in the middle of a tick.
    virtual void processPendingMessages() = 0;
};

// One list's side of the exchange object: its transfer record and its chunk exchange.
template <class Record>
class ListExchange
{
public:
    virtual ~ListExchange() = default;
    virtual Record &record() = 0;
    // Asks for the chunk after the record's paging key. The record shows
    // Status 2 once the outcome is in, also when the exchange raises; until
    // then it shows 1 and the loader leaves the list alone. Today every
    // exchange has its outcome when it returns.
    virtual void requestChunk() = 0;
};

// Runs one step of the cycle and says whether it ended normally; the window's
// guard shows the error box of a step that failed.
using Guard = std::function<bool(const std::function<void()> &)>;

// The loading cycle of one list, driven by the window's tick while its sheet
// is on top. Status, read count, paging key and filters stay in the list's
// transfer record; the loader keeps only what the record cannot tell: which
// reply it placed last and whether the list paused after a failure.
template <class Record>
class ListLoader
{
public:
    // columns: which grid column each reply cell lands in; a cell without a
    // column only feeds the paging key.
    ListLoader(ListExchange<Record> &exchange, StringGridModel &grid, SheetView &view, bool &reloadFlag,
               bool &endFlag, const contract::ListContract &columns, Guard guard);

    // One tick: a new load after "Neu Laden", then the append of a waiting
    // reply, then the next request. Returns false when a step failed; the
    // list then pauses, with a maroon lamp, until its next "Neu Laden".
    bool serve();

    // The row reader: places the rows of the record document into the grid.
    // An empty reply leaves the previous one in the document, so a document
    // that was placed already is not placed again.
    void readRows();

    bool isPaused() const { return m_paused; }

private:
    void startNewLoad(Record &record);
    void appendReply(Record &record);
    void requestNext(Record &record);
    void showCounter(const Record &record);

    ListExchange<Record> &m_exchange;
    StringGridModel &m_grid;
    SheetView &m_view;
    bool &m_reload;
    bool &m_noMore;
    const contract::ListContract &m_columns;
    const Guard m_guard;
    bool m_paused = false;
    std::uint64_t m_placedGeneration = 0;
};

extern template class ListLoader<TBWKom>;
extern template class ListLoader<TWaeKom>;
extern template class ListLoader<TWaschKom>;

} // namespace dataview
