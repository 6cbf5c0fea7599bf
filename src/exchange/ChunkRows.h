#pragma once

#include "platform/Exception.h"
#include "exchange/TransferRecords.h"
#include "exchange/XmlDocument.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

// A count reply without a document element (empty, or no element at all).
PLIVORA_DECLARE_EXCEPTION(ECountReplyError, Exception)

// Receives the rows of a chunk reply as the walk reads them.
struct RowSink
{
    std::function<void(bool endRow)> rowStarts;                      // called for each row before its cells
    std::function<void(int cellNumber, const QString &value)> cell;  // cellNumber from 1, value decoded where the list decodes
};

// Row walk over the record document: at most ten rows; a row whose first cell is
// empty is an end row (rows after it are still read); the read count grows by one
// per row with a non-empty key; the paging key becomes the last row's key. Sets
// RootNode. Without a document element nothing is read or changed. A failure in
// the walk keeps what was handed on and counted so far and leaves the key alone.
void walkChunkRows(TBWKom &record, const RowSink &sink);
void walkChunkRows(TWaeKom &record, const RowSink &sink);
void walkChunkRows(TWaschKom &record, const RowSink &sink);

namespace exchange {

// What a chunk row of one list holds.
struct ListLayout
{
    int cellCount;
    std::uint32_t decodedCells; // bit n set: cell n arrives percent-encoded
};

// Wearers: 6 cells, name, first name and living area encoded.
extern const ListLayout wearerLayout;
// Laundry items: 15 cells, name, first name, article and location encoded.
extern const ListLayout itemLayout;
// Wash processes: 15 cells plus the item's "MaxWasch" the service sends as a 16th.
extern const ListLayout washLayout;

// The generic walk: returns the key text of the last row read, or nothing when
// the document has no element. rootNode and readCount are updated as it goes.
std::optional<QString> walkRows(const XmlDocument &document, const ListLayout &layout,
                                XmlNode &rootNode, std::int32_t &readCount, const RowSink &sink);

// The wearer paging key: the key text as an integer, 100000 when it is empty or no integer.
std::int32_t wearerKey(const QString &keyText);

// The number of a count reply: the text of the first "tr" under the document
// element as a signed 32-bit integer, 0 when empty or no number. A reply without
// a document element raises ECountReplyError.
std::int32_t replyCount(const XmlDocument &document);

// A signed 32-bit decimal integer, blanks around it allowed; nothing otherwise.
std::optional<std::int32_t> readInteger(const QString &text);

} // namespace exchange
