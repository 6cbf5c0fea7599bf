// A reply text as the channel hands it over: loaded as a document, walked as a
// chunk reply of each list (which percent-decodes the encoded cells) and read
// as a count reply; the text is also percent-decoded as one cell.
#include "exchange/ChunkRows.h"
#include "exchange/PercentDecoding.h"
#include "exchange/XmlDocument.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    try {
        exchange::percentDecode(text);
    } catch (const Exception &) {
    }

    XmlDocument document = NewXMLDocument(QStringLiteral("1.0"));
    try {
        document.LoadFromXML(text);
    } catch (const Exception &) {
        return 0;
    }
    const RowSink sink{[](bool) {}, [](int, const QString &) {}};
    for (const exchange::ListLayout *layout : {&exchange::wearerLayout, &exchange::itemLayout, &exchange::washLayout}) {
        XmlNode root;
        std::int32_t readCount = 0;
        try {
            if (const auto key = exchange::walkRows(document, *layout, root, readCount, sink))
                exchange::wearerKey(*key);
        } catch (const Exception &) {
        }
    }
    try {
        exchange::replyCount(document);
    } catch (const Exception &) {
    }
    return 0;
}
