#include "exchange/ChunkRows.h"

#include "exchange/PercentDecoding.h"

namespace exchange {

namespace {

constexpr int maxRowsPerReply = 10;

} // namespace

std::optional<std::int32_t> readTrimmedSignedInt32(const QString &text)
{
    const QString t = text.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < t.size() && (t.at(i) == QLatin1Char('-') || t.at(i) == QLatin1Char('+'))) {
        negative = t.at(i) == QLatin1Char('-');
        ++i;
    }
    if (i == t.size())
        return std::nullopt;
    std::int64_t value = 0;
    for (; i < t.size(); ++i) {
        const char16_t c = t.at(i).unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c - u'0');
        if (value > std::int64_t(INT32_MAX) + 1)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value > INT32_MAX || value < INT32_MIN)
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::int32_t wearerKey(const QString &keyText)
{
    return readTrimmedSignedInt32(keyText).value_or(100000);
}

std::int32_t replyCount(const XmlDocument &document)
{
    XmlNode root = document.DocumentElement();
    if (root.isNull())
        throw ECountReplyError(QStringLiteral("Die Antwort des Servers enthält keine Anzahl"));
    return readTrimmedSignedInt32(root.ChildNodes(QStringLiteral("tr")).Text()).value_or(0);
}

std::optional<QString> walkRows(const XmlDocument &document, const contract::ListContract &list,
                                XmlNode &rootNode, std::int32_t &readCount, const RowSink &sink)
{
    rootNode = document.DocumentElement();
    if (rootNode.isNull())
        return std::nullopt;

    const int cellCount = list.cellCount();
    QString key;
    XmlNode row = rootNode.ChildNodes(QStringLiteral("tr"));
    // Every node after the first "tr" counts as a row, and after the first "td" as a cell.
    for (int rowNumber = 1; !row.isNull() && rowNumber <= maxRowsPerReply; ++rowNumber) {
        XmlNode cell = row.ChildNodes(QStringLiteral("td"));
        const bool endRow = cell.Text().isEmpty();
        if (sink.rowStarts)
            sink.rowStarts(endRow);
        QString rowKey;
        for (int cellNumber = 1; cellNumber <= cellCount && !cell.isNull(); ++cellNumber) {
            QString value = cell.Text();
            if (cellNumber == contract::keyCell)
                rowKey = value;
            if (list.isEncodedCell(cellNumber))
                value = percentDecode(value);
            if (sink.cell)
                sink.cell(cellNumber, value);
            cell = cell.NextSibling();
        }
        if (!rowKey.isEmpty())
            ++readCount;
        key = rowKey;
        row = row.NextSibling();
    }
    return key;
}

} // namespace exchange

void walkChunkRows(TBWKom &record, const RowSink &sink)
{
    if (const auto key = exchange::walkRows(record.XMLFile, contract::wearers, record.RootNode,
                                            record.AnzahlDatensaetzeGelesen, sink))
        record.LetzteBewNummer = exchange::wearerKey(*key);
}

void walkChunkRows(TWaeKom &record, const RowSink &sink)
{
    if (const auto key = exchange::walkRows(record.XMLFile, contract::items, record.RootNode,
                                            record.AnzahlDatensaetzeGelesen, sink))
        record.LetzteIDNummer = *key;
}

void walkChunkRows(TWaschKom &record, const RowSink &sink)
{
    if (const auto key = exchange::walkRows(record.XMLFile, contract::washes, record.RootNode,
                                            record.AnzahlDatensaetzeGelesen, sink))
        record.LetzteIDNummer = *key;
}
