#pragma once

#include "contract/ListContract.h"
#include "exchange/TransferRecords.h"
#include "platform/Exception.h"
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

// The generic walk over the list's cells: returns the key text of the last row
// read, or nothing when the document has no element. rootNode and readCount are
// updated as it goes.
std::optional<QString> walkRows(const XmlDocument &document, const contract::ListContract &list,
                                XmlNode &rootNode, std::int32_t &readCount, const RowSink &sink);

// The wearer paging key: the key text as an integer, 100000 when it is empty or no integer.
std::int32_t wearerKey(const QString &keyText);

// The number of a count reply: the text of the first "tr" under the document
// element as a signed 32-bit integer, 0 when empty or no number. A reply without
// a document element raises ECountReplyError.
std::int32_t replyCount(const XmlDocument &document);

// A decimal integer in 32 bits with an optional "+" or "-", white space around
// it ignored; nothing otherwise. The rule of the count and the wearer key.
std::optional<std::int32_t> readTrimmedSignedInt32(const QString &text);

} // namespace exchange
