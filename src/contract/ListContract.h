#pragma once

#include <span>
#include <string_view>

// What the client and the service agree on for each of the three lists: the
// grid's columns and where their cells stand in a reply row, the request
// paths, the paging key and the query of the chunk request. Plain constexpr
// data without Qt, so that the service (std::string) and the client (QString)
// read the same table. Adding a column to a list is one line here plus the
// data behind it in the service.
namespace contract {

enum class List { Wearers, Items, Washes };

// One grid column of a list.
struct Column
{
    std::string_view caption; // header text of the grid column
    int cell;                 // position of its cell in a reply row, from 1
    bool encoded;             // the cell travels percent-encoded
    bool date;                // the cell holds a date, dd.MM.yyyy on the wire
};

// How a query value is made from its source.
enum class Conversion {
    AsTyped,        // the input's text unchanged
    PercentEncoded, // the input's text percent-encoded
    DateText,       // a date picker's date as short-date text
    Decimal,        // an integer written in decimal
    KeyText,        // the paging key text as the last row brought it
};

// What a query value stands for; each side maps it onto its own fields.
enum class Field {
    Customer, Password, PagingKey,
    WearerNumber, ItemId, FirstName, Surname, LivingArea, ArticleNumber, Article, Batch, Size,
    MaxWashes, Washes,
    CreatedBefore, CreatedAfter, ReceivedBefore, ReceivedAfter, DispatchedBefore, DispatchedAfter,
};

struct Parameter
{
    std::string_view name;
    Field field;
    Conversion conversion;
};

// The paging key is always the first cell of a reply row.
inline constexpr int keyCell = 1;

struct ListContract
{
    List list;
    std::string_view countPath;
    std::string_view chunkPath;
    Parameter pagingKey;
    std::string_view pagingStart; // the key of the first chunk of a load
    std::span<const Column> columns;
    std::span<const Parameter> chunkQuery; // every pair, in request order

    // How many cells of a reply row are read: up to the last one a column shows.
    constexpr int cellCount() const
    {
        int count = keyCell;
        for (const Column &c : columns)
            count = c.cell > count ? c.cell : count;
        return count;
    }
    // The grid column that shows the reply cell, or -1 when none does.
    constexpr int columnOfCell(int cell) const
    {
        for (std::size_t i = 0; i < columns.size(); ++i)
            if (columns[i].cell == cell)
                return static_cast<int>(i);
        return -1;
    }
    constexpr bool isEncodedCell(int cell) const
    {
        const int column = columnOfCell(cell);
        return column >= 0 && columns[static_cast<std::size_t>(column)].encoded;
    }
    constexpr bool isDateCell(int cell) const
    {
        const int column = columnOfCell(cell);
        return column >= 0 && columns[static_cast<std::size_t>(column)].date;
    }
};

// The query parameters, each defined once; the lists' queries put them in order.
namespace param {
inline constexpr Parameter user{"USER", Field::Customer, Conversion::PercentEncoded};
inline constexpr Parameter password{"PW", Field::Password, Conversion::PercentEncoded};
inline constexpr Parameter lastWearer{"LBWNum", Field::PagingKey, Conversion::Decimal};
inline constexpr Parameter lastId{"LetzteID", Field::PagingKey, Conversion::KeyText};
inline constexpr Parameter wearerNumber{"BewNum", Field::WearerNumber, Conversion::AsTyped};
inline constexpr Parameter firstName{"Vorname", Field::FirstName, Conversion::PercentEncoded};
inline constexpr Parameter surname{"Name", Field::Surname, Conversion::PercentEncoded};
inline constexpr Parameter livingArea{"WB", Field::LivingArea, Conversion::PercentEncoded};
inline constexpr Parameter itemId{"WaescheID", Field::ItemId, Conversion::AsTyped};
inline constexpr Parameter articleNumber{"ARTNR", Field::ArticleNumber, Conversion::AsTyped};
inline constexpr Parameter article{"Artikel", Field::Article, Conversion::PercentEncoded};
inline constexpr Parameter batch{"Charge", Field::Batch, Conversion::PercentEncoded};
inline constexpr Parameter size{"Groesse", Field::Size, Conversion::PercentEncoded};
inline constexpr Parameter maxWashes{"MaxWasch", Field::MaxWashes, Conversion::PercentEncoded};
inline constexpr Parameter washes{"AnzWasch", Field::Washes, Conversion::PercentEncoded};
inline constexpr Parameter createdBefore{"AngVor", Field::CreatedBefore, Conversion::DateText};
inline constexpr Parameter createdAfter{"AngNach", Field::CreatedAfter, Conversion::DateText};
inline constexpr Parameter receivedBefore{"EingVor", Field::ReceivedBefore, Conversion::DateText};
inline constexpr Parameter receivedAfter{"EingNach", Field::ReceivedAfter, Conversion::DateText};
inline constexpr Parameter dispatchedBefore{"AusgVor", Field::DispatchedBefore, Conversion::DateText};
inline constexpr Parameter dispatchedAfter{"AusgNach", Field::DispatchedAfter, Conversion::DateText};
} // namespace param

// The query of the login and of every count request.
inline constexpr Parameter credentials[] = {param::user, param::password};

inline constexpr std::string_view loginPath = "/Login";

inline constexpr Column wearerColumns[] = {
    // caption        cell  encoded date
    {"TraegerNr",     1,    false,  false},
    {"Name",          2,    true,   false},
    {"Vorname",       3,    true,   false},
    {"Zimmernummer",  4,    false,  false},
    {"LieferAdrID",   5,    false,  false},
    {"Wohnbereich",   6,    true,   false},
};

inline constexpr Parameter wearerChunkQuery[] = {
    param::user, param::password, param::lastWearer,
    param::wearerNumber, param::firstName, param::surname, param::livingArea,
};

inline constexpr Column itemColumns[] = {
    // caption        cell  encoded date
    {"WaescheID",     1,    false,  false},
    {"TraegerNr",     2,    false,  false},
    {"Name",          3,    true,   false},
    {"Vorname",       4,    true,   false},
    {"ArtNr",         5,    false,  false},
    {"Artikel",       6,    true,   false},
    {"Ort",           7,    true,   false},
    {"AnzEingang",    8,    false,  false},
    {"Angelegt",      9,    false,  true},
    {"Eingang",       10,   false,  true},
    {"LieferAdrID",   11,   false,  false},
    {"Ausgang",       12,   false,  true},
    {"LetzteCharge",  13,   false,  false},
    {"Groesse",       14,   false,  false},
    {"MaxWasch",      15,   false,  false},
};

// Cell 1 of a wash row is the wash process's own number: it pages the list
// and has no column. The item's "MaxWasch" comes last, as a sixteenth cell.
inline constexpr Column washColumns[] = {
    // caption        cell  encoded date
    {"WaescheID",     2,    false,  false},
    {"TraegerNr",     3,    false,  false},
    {"Name",          4,    true,   false},
    {"Vorname",       5,    true,   false},
    {"ArtNr",         6,    false,  false},
    {"Artikel",       7,    true,   false},
    {"Ort",           8,    true,   false},
    {"AnzEingang",    9,    false,  false},
    {"Angelegt",      10,   false,  true},
    {"Eingang",       11,   false,  true},
    {"LieferAdrID",   12,   false,  false},
    {"Ausgang",       13,   false,  true},
    {"Charge",        14,   false,  false},
    {"Groesse",       15,   false,  false},
    {"MaxWasch",      16,   false,  false},
};

// The laundry-item and wash-process chunk requests carry the same names in the same order.
inline constexpr Parameter itemChunkQuery[] = {
    param::user, param::password, param::lastId,
    param::itemId, param::wearerNumber, param::firstName, param::surname, param::articleNumber,
    param::article, param::batch, param::size, param::maxWashes, param::washes,
    param::createdBefore, param::createdAfter, param::receivedBefore, param::receivedAfter,
    param::dispatchedBefore, param::dispatchedAfter,
};

inline constexpr ListContract wearers{
    List::Wearers, "/BewohnerInit", "/BewohnerChunk", param::lastWearer, "0", wearerColumns, wearerChunkQuery};
inline constexpr ListContract items{
    List::Items, "/WaescheInit", "/WaescheChunk", param::lastId, "S000000", itemColumns, itemChunkQuery};
inline constexpr ListContract washes{
    List::Washes, "/WaschInit", "/WaschChunk", param::lastId, "0", washColumns, itemChunkQuery};

// In the order of the List values, which is also the order of the sheets.
inline constexpr const ListContract *lists[] = {&wearers, &items, &washes};

constexpr const ListContract &contractOf(List list)
{
    return *lists[static_cast<int>(list)];
}

} // namespace contract
