#pragma once

#include "platform/Exception.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// A file to import is not what the client's export of that list writes; the
// message starts with "line N: ", N the file's line where the record begins.
PLIVORA_DECLARE_EXCEPTION(EImportError, Exception)

namespace service {

enum class ImportKind { Wearers, Items, Washes };

// "wearers", "items", "washes".
std::optional<ImportKind> importKindFromName(std::string_view name);
const char *importKindName(ImportKind kind);

// The records of an import, typed and checked; texts UTF-8, dates ISO
// "yyyy-MM-dd" (nullopt for none). `line` is where the record begins in the file.
struct ImportedWearer
{
    int line = 0;
    std::int64_t number = 0;
    std::string surname, firstName, room;
    std::int64_t deliveryAddress = 0;
    std::string livingArea;
};

struct ImportedItem
{
    int line = 0;
    std::string id;
    std::int64_t wearer = 0;
    std::string articleNumber, article, location;
    std::int64_t receipts = 0;
    std::optional<std::string> created, received, dispatched;
    std::string lastBatch, size;
    std::int64_t maxWashes = 0;
};

// One pass of an item through the laundry. Its key in the store is the item
// and the pass number ("AnzEingang", 1 for the first receipt), which no two
// passes of one item share; the item's own cells of the row are not imported.
struct ImportedWash
{
    int line = 0;
    std::string itemId;
    std::int64_t pass = 0;
    std::optional<std::string> received, dispatched;
    std::string batch;
};

using ImportRecords =
    std::variant<std::vector<ImportedWearer>, std::vector<ImportedItem>, std::vector<ImportedWash>>;

// The header captions of the list's export, in column order.
std::vector<std::string_view> exportHeader(ImportKind kind);

// The cells of a CSV export: every record after the header, as UTF-8 texts.
// Windows-1252 or UTF-8 (with or without byte-order mark) is detected; the
// header must be the list's; the closing line of empty cells is dropped.
struct CsvRecord
{
    int line = 0;
    std::vector<std::string> cells;
};
std::vector<CsvRecord> readExportCsv(ImportKind kind, const std::string &fileBytes);

// readExportCsv and the checks of every cell; a key given twice is an error.
ImportRecords parseImport(ImportKind kind, const std::string &fileBytes);

} // namespace service
