#include "service/CsvImport.h"

#include "contract/ListContract.h"
#include "service/DayDate.h"

#include <QString>
#include <QStringDecoder>

#include <algorithm>
#include <charconv>
#include <map>

namespace service {

namespace {

// The export writes the grid: its header row holds the list's column captions.
const contract::ListContract &contractOf(ImportKind kind)
{
    switch (kind) {
    case ImportKind::Wearers: return contract::wearers;
    case ImportKind::Items: return contract::items;
    case ImportKind::Washes: return contract::washes;
    }
    return contract::wearers;
}

// The client's item identifiers start from this key; an identifier that sorts
// before it would never reach the client's first chunk.
constexpr std::string_view itemPagingStart = contract::items.pagingStart;

[[noreturn]] void fail(int line, const std::string &what)
{
    throw EImportError(QStringLiteral("line %1: %2").arg(line).arg(QString::fromStdString(what)));
}

std::string quoted(std::string_view text)
{
    return "\"" + std::string(text) + "\"";
}

// The file's text as UTF-8: a byte-order mark or bytes that are valid UTF-8
// mean UTF-8, anything else is the client's ANSI code page, windows-1252.
std::string utf8Text(const std::string &bytes)
{
    constexpr std::string_view bom = "\xEF\xBB\xBF";
    if (std::string_view(bytes).substr(0, bom.size()) == bom)
        return bytes.substr(bom.size());
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = utf8.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (!utf8.hasError())
        return bytes;
    QStringDecoder ansi("windows-1252");
    if (!ansi.isValid())
        throw EImportError(QStringLiteral("no windows-1252 decoder available"));
    const QString text = ansi.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    return text.toStdString();
}

// The reader of the export's own format (";" between cells, CR LF after each
// line, a cell with a quote, a semicolon or a control character or blank in
// double quotes with its quotes doubled): no library reads exactly this and
// reports a fault by line. A bare LF ends a line too.
std::vector<CsvRecord> splitRecords(const std::string &text)
{
    std::vector<CsvRecord> records;
    std::size_t i = 0;
    int line = 1;
    const std::size_t n = text.size();
    while (i < n) {
        CsvRecord record;
        record.line = line;
        for (;;) { // one cell
            std::string cell;
            if (i < n && text[i] == '"') {
                const int openedOn = line;
                ++i;
                for (;;) {
                    if (i >= n)
                        fail(openedOn, "a quoted cell is not closed before the end of the file");
                    if (text[i] == '"') {
                        if (i + 1 < n && text[i + 1] == '"') {
                            cell += '"';
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    if (text[i] == '\n')
                        ++line;
                    cell += text[i++];
                }
                if (i < n && text[i] != ';' && text[i] != '\r' && text[i] != '\n')
                    fail(line, "text after the closing quote of a cell");
            } else {
                while (i < n && text[i] != ';' && text[i] != '\r' && text[i] != '\n') {
                    if (text[i] == '"')
                        fail(line, "a double quote in a cell that is not quoted");
                    cell += text[i++];
                }
            }
            record.cells.push_back(std::move(cell));
            if (i < n && text[i] == ';') {
                ++i;
                continue;
            }
            break;
        }
        if (i < n && text[i] == '\r') {
            ++i;
            if (i >= n || text[i] != '\n')
                fail(line, "a carriage return without line feed outside quotes");
        }
        if (i < n && text[i] == '\n') {
            ++i;
            ++line;
        }
        records.push_back(std::move(record));
    }
    return records;
}

std::int64_t integerCell(const CsvRecord &r, std::size_t c, std::string_view caption, std::int64_t lowest)
{
    const std::string &text = r.cells[c];
    std::int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        fail(r.line, std::string(caption) + " is not a whole number: " + quoted(text));
    if (value < lowest)
        fail(r.line, std::string(caption) + " must be at least " + std::to_string(lowest) + ", not "
                         + quoted(text));
    return value;
}

std::optional<std::string> dateCell(const CsvRecord &r, std::size_t c, std::string_view caption)
{
    const std::string &text = r.cells[c];
    if (text.empty())
        return std::nullopt;
    auto iso = isoFromGerman(text);
    if (!iso)
        fail(r.line, std::string(caption) + " is not a date written dd.MM.yyyy: " + quoted(text));
    return iso;
}

const std::string &textCell(const CsvRecord &r, std::size_t c, std::string_view caption, bool mayBeEmpty = true)
{
    if (!mayBeEmpty && r.cells[c].empty())
        fail(r.line, std::string(caption) + " is empty");
    // No export writes it, and a PostgreSQL text cannot hold it.
    if (r.cells[c].find('\0') != std::string::npos)
        fail(r.line, std::string(caption) + " holds the byte 0");
    return r.cells[c];
}

// Remembers each key's line; a key seen before is an error naming both lines.
template <typename Key>
class KeysSeen
{
public:
    explicit KeysSeen(std::string_view what) : m_what(what) {}
    void add(const Key &key, const std::string &shown, int line)
    {
        const auto [it, added] = m_lines.emplace(key, line);
        if (!added)
            fail(line, std::string(m_what) + " " + shown + " is on line " + std::to_string(it->second) + " already");
    }

private:
    std::string_view m_what;
    std::map<Key, int> m_lines;
};

std::vector<ImportedWearer> wearers(const std::vector<CsvRecord> &records)
{
    std::vector<ImportedWearer> out;
    KeysSeen<std::int64_t> seen("TraegerNr");
    for (const CsvRecord &r : records) {
        ImportedWearer w;
        w.line = r.line;
        w.number = integerCell(r, 0, "TraegerNr", 1);
        w.surname = textCell(r, 1, "Name");
        w.firstName = textCell(r, 2, "Vorname");
        w.room = textCell(r, 3, "Zimmernummer");
        w.deliveryAddress = integerCell(r, 4, "LieferAdrID", 0);
        w.livingArea = textCell(r, 5, "Wohnbereich");
        seen.add(w.number, std::to_string(w.number), r.line);
        out.push_back(std::move(w));
    }
    return out;
}

std::vector<ImportedItem> items(const std::vector<CsvRecord> &records)
{
    std::vector<ImportedItem> out;
    KeysSeen<std::string> seen("WaescheID");
    for (const CsvRecord &r : records) {
        ImportedItem it;
        it.line = r.line;
        it.id = textCell(r, 0, "WaescheID", false);
        if (it.id <= itemPagingStart)
            fail(r.line, "WaescheID " + quoted(it.id) + " must sort after " + quoted(itemPagingStart)
                             + ", as \"S\" and six digits do");
        it.wearer = integerCell(r, 1, "TraegerNr", 1);
        // Name, Vorname (2, 3) and LieferAdrID (10) are the wearer's.
        it.articleNumber = textCell(r, 4, "ArtNr");
        it.article = textCell(r, 5, "Artikel");
        it.location = textCell(r, 6, "Ort");
        it.receipts = integerCell(r, 7, "AnzEingang", 0);
        it.created = dateCell(r, 8, "Angelegt");
        it.received = dateCell(r, 9, "Eingang");
        it.dispatched = dateCell(r, 11, "Ausgang");
        it.lastBatch = textCell(r, 12, "LetzteCharge");
        it.size = textCell(r, 13, "Groesse");
        it.maxWashes = integerCell(r, 14, "MaxWasch", 0);
        seen.add(it.id, quoted(it.id), r.line);
        out.push_back(std::move(it));
    }
    return out;
}

std::vector<ImportedWash> washes(const std::vector<CsvRecord> &records)
{
    std::vector<ImportedWash> out;
    KeysSeen<std::pair<std::string, std::int64_t>> seen("the pass of WaescheID and AnzEingang");
    for (const CsvRecord &r : records) {
        ImportedWash w;
        w.line = r.line;
        w.itemId = textCell(r, 0, "WaescheID", false);
        w.pass = integerCell(r, 7, "AnzEingang", 1);
        w.received = dateCell(r, 9, "Eingang");
        w.dispatched = dateCell(r, 11, "Ausgang");
        w.batch = textCell(r, 12, "Charge");
        // The other cells are the item's and its wearer's, imported with them.
        seen.add({w.itemId, w.pass}, quoted(w.itemId) + " " + std::to_string(w.pass), r.line);
        out.push_back(std::move(w));
    }
    return out;
}

} // namespace

std::optional<ImportKind> importKindFromName(std::string_view name)
{
    for (ImportKind kind : {ImportKind::Wearers, ImportKind::Items, ImportKind::Washes})
        if (name == importKindName(kind))
            return kind;
    return std::nullopt;
}

const char *importKindName(ImportKind kind)
{
    switch (kind) {
    case ImportKind::Wearers: return "wearers";
    case ImportKind::Items: return "items";
    case ImportKind::Washes: return "washes";
    }
    return "";
}

std::vector<std::string_view> exportHeader(ImportKind kind)
{
    std::vector<std::string_view> header;
    for (const contract::Column &column : contractOf(kind).columns)
        header.push_back(column.caption);
    return header;
}

std::vector<CsvRecord> readExportCsv(ImportKind kind, const std::string &fileBytes)
{
    std::vector<CsvRecord> records = splitRecords(utf8Text(fileBytes));
    const std::vector<std::string_view> header = exportHeader(kind);
    if (records.empty())
        fail(1, "the file is empty; the export's header line is missing");
    const CsvRecord &first = records.front();
    if (!std::equal(first.cells.begin(), first.cells.end(), header.begin(), header.end())) {
        std::string expected;
        for (std::string_view caption : header)
            expected += (expected.empty() ? "" : ";") + std::string(caption);
        fail(1, "not the header of the " + std::string(importKindName(kind)) + " export; expected "
                    + quoted(expected));
    }
    records.erase(records.begin());
    const auto allEmpty = [](const CsvRecord &r) {
        return std::all_of(r.cells.begin(), r.cells.end(), [](const std::string &c) { return c.empty(); });
    };
    if (!records.empty() && records.back().cells.size() == header.size() && allEmpty(records.back()))
        records.pop_back(); // the grid's trailing row
    for (const CsvRecord &r : records)
        if (r.cells.size() != header.size())
            fail(r.line, std::to_string(r.cells.size()) + " cells; the " + importKindName(kind) + " export has "
                             + std::to_string(header.size()));
    return records;
}

ImportRecords parseImport(ImportKind kind, const std::string &fileBytes)
{
    const std::vector<CsvRecord> records = readExportCsv(kind, fileBytes);
    switch (kind) {
    case ImportKind::Wearers: return wearers(records);
    case ImportKind::Items: return items(records);
    case ImportKind::Washes: return washes(records);
    }
    return {};
}

} // namespace service
