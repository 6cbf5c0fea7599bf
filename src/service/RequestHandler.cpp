#include "service/RequestHandler.h"

#include "service/DayDate.h"
#include "service/QueryString.h"
#include "service/TableReply.h"
#include "service/TextFold.h"

#include <charconv>
#include <cstdio>
#include <initializer_list>

namespace service {

namespace {

// The request is malformed: status 400 without body.
struct BadRequest
{
};

const std::string &required(const QueryParameters &query, const char *name)
{
    const std::string *value = query.value(name);
    if (!value)
        throw BadRequest{};
    return *value;
}

void requireAll(const QueryParameters &query, std::initializer_list<const char *> names)
{
    for (const char *name : names)
        required(query, name);
}

std::optional<std::int64_t> readInteger(std::string_view text)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    if (!text.empty() && text.front() == '+')
        return std::nullopt;
    std::int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

// A paging key the client always sends as a number; anything else is malformed.
std::int64_t pagingNumber(const QueryParameters &query, const char *name)
{
    const std::string &text = required(query, name);
    if (text.empty())
        return 0; // before the first record
    const auto value = readInteger(text);
    if (!value)
        throw BadRequest{};
    return *value;
}

// Number filters come from free edits: a text that is no number matches no
// record, which the client shows as an empty list (a 400 would only make it ask again).
struct NumberFilter
{
    std::optional<std::int64_t> value;
    bool matchesNothing = false;
};

NumberFilter numberFilter(const QueryParameters &query, const char *name)
{
    const std::string &text = required(query, name);
    NumberFilter filter;
    if (text.empty())
        return filter;
    filter.value = readInteger(text);
    filter.matchesNothing = !filter.value;
    return filter;
}

// Dates come from date pickers as dd.MM.yyyy; anything else is malformed.
std::optional<std::string> dateFilter(const QueryParameters &query, const char *name)
{
    const std::string &text = required(query, name);
    if (text.empty())
        return std::nullopt;
    auto iso = isoFromGerman(text);
    if (!iso)
        throw BadRequest{};
    return iso;
}

std::string textFilter(const QueryParameters &query, const char *name)
{
    return foldCase(required(query, name));
}

// Query names shared by the laundry-item and wash-process chunk requests.
struct ItemQuery
{
    ItemFilter filter;
    bool matchesNothing = false;
};

ItemQuery itemQuery(const QueryParameters &query)
{
    ItemQuery q;
    ItemFilter &f = q.filter;
    f.itemId = required(query, "WaescheID");
    const NumberFilter wearer = numberFilter(query, "BewNum");
    const NumberFilter maxWashes = numberFilter(query, "MaxWasch");
    const NumberFilter washes = numberFilter(query, "AnzWasch");
    f.wearerNumber = wearer.value;
    f.maxWashes = maxWashes.value;
    f.washesAbove = washes.value;
    q.matchesNothing = wearer.matchesNothing || maxWashes.matchesNothing || washes.matchesNothing;
    f.firstName = textFilter(query, "Vorname");
    f.surname = textFilter(query, "Name");
    f.articleNumber = textFilter(query, "ARTNR");
    f.article = textFilter(query, "Artikel");
    f.batch = textFilter(query, "Charge");
    f.size = textFilter(query, "Groesse");
    f.createdTo = dateFilter(query, "AngVor");
    f.createdFrom = dateFilter(query, "AngNach");
    f.receivedTo = dateFilter(query, "EingVor");
    f.receivedFrom = dateFilter(query, "EingNach");
    f.dispatchedTo = dateFilter(query, "AusgVor");
    f.dispatchedFrom = dateFilter(query, "AusgNach");
    return q;
}

Reply chunk(ListKind list, std::vector<Row> rows)
{
    const bool ended = rows.size() < static_cast<std::size_t>(rowsPerChunk);
    return {200, chunkReply(list, rows, ended)};
}

} // namespace

RequestHandler::RequestHandler(VerifiedCredentials &verified)
    : m_verified(verified)
{
}

Reply RequestHandler::handle(Store &store, std::string_view target) const
{
    try {
        const std::optional<QueryParameters> parsed = QueryParameters::fromTarget(target);
        if (!parsed)
            return {400, {}};
        const QueryParameters &query = *parsed;
        const std::string &path = query.path();

        enum class Kind { Login, Count, Chunk } kind;
        ListKind list = ListKind::Wearers;
        if (path == "/Login")
            kind = Kind::Login;
        else if (path == "/BewohnerInit")
            kind = Kind::Count, list = ListKind::Wearers;
        else if (path == "/WaescheInit")
            kind = Kind::Count, list = ListKind::Items;
        else if (path == "/WaschInit")
            kind = Kind::Count, list = ListKind::Washes;
        else if (path == "/BewohnerChunk")
            kind = Kind::Chunk, list = ListKind::Wearers;
        else if (path == "/WaescheChunk")
            kind = Kind::Chunk, list = ListKind::Items;
        else if (path == "/WaschChunk")
            kind = Kind::Chunk, list = ListKind::Washes;
        else
            return {404, {}};

        const std::string &customer = required(query, "USER");
        const std::string &password = required(query, "PW");
        if (kind == Kind::Chunk) {
            if (list == ListKind::Wearers)
                requireAll(query, {"LBWNum", "BewNum", "Vorname", "Name", "WB"});
            else
                requireAll(query, {"LetzteID", "WaescheID", "BewNum", "Vorname", "Name", "ARTNR", "Artikel",
                                   "Charge", "Groesse", "MaxWasch", "AnzWasch", "AngVor", "AngNach", "EingVor",
                                   "EingNach", "AusgVor", "AusgNach"});
        }
        if (!store.checkCredentials(customer, password, m_verified))
            return {401, {}};

        switch (kind) {
        case Kind::Login:
            return {200, loginReply()};
        case Kind::Count:
            return {200, countReply(store.count(list, customer))};
        case Kind::Chunk:
            break;
        }

        if (list == ListKind::Wearers) {
            const std::int64_t after = pagingNumber(query, "LBWNum");
            const NumberFilter wearer = numberFilter(query, "BewNum");
            WearerFilter filter;
            filter.wearerNumber = wearer.value;
            filter.firstName = textFilter(query, "Vorname");
            filter.surname = textFilter(query, "Name");
            filter.livingArea = textFilter(query, "WB");
            if (wearer.matchesNothing)
                return chunk(list, {});
            return chunk(list, store.wearerChunk(customer, after, filter, rowsPerChunk));
        }
        const ItemQuery items = itemQuery(query);
        if (list == ListKind::Items) {
            const std::string &after = required(query, "LetzteID");
            if (items.matchesNothing)
                return chunk(list, {});
            return chunk(list, store.itemChunk(customer, after, items.filter, rowsPerChunk));
        }
        const std::int64_t after = pagingNumber(query, "LetzteID");
        if (items.matchesNothing)
            return chunk(list, {});
        return chunk(list, store.washChunk(customer, after, items.filter, rowsPerChunk));
    } catch (const BadRequest &) {
        return {400, {}};
    } catch (const EStoreUnavailable &error) {
        std::fprintf(stderr, "request failed: %s\n", error.what());
        return {503, {}};
    } catch (const std::exception &error) {
        std::fprintf(stderr, "request failed: %s\n", error.what());
        return {500, {}};
    }
}

} // namespace service
