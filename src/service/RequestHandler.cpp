#include "service/RequestHandler.h"

#include "contract/ListContract.h"
#include "service/DayDate.h"
#include "service/QueryString.h"
#include "service/TableReply.h"
#include "service/TextFold.h"

#include <charconv>
#include <cstdio>
#include <exception>
#include <span>
#include <stdexcept>

namespace service {

namespace {

using contract::Field;
using contract::Parameter;

// The request is malformed: status 400 without body.
struct BadRequest
{
};

enum class Kind { Login, Count, Chunk };

// One path of the service: what it answers, for which list, and the query
// parameters without which the request is malformed.
struct Route
{
    std::string_view path;
    Kind kind;
    const contract::ListContract *list; // none for the login
    std::span<const Parameter> required;
};

constexpr Route routes[] = {
    {contract::loginPath, Kind::Login, nullptr, contract::credentials},
    {contract::wearers.countPath, Kind::Count, &contract::wearers, contract::credentials},
    {contract::items.countPath, Kind::Count, &contract::items, contract::credentials},
    {contract::washes.countPath, Kind::Count, &contract::washes, contract::credentials},
    {contract::wearers.chunkPath, Kind::Chunk, &contract::wearers, contract::wearers.chunkQuery},
    {contract::items.chunkPath, Kind::Chunk, &contract::items, contract::items.chunkQuery},
    {contract::washes.chunkPath, Kind::Chunk, &contract::washes, contract::washes.chunkQuery},
};

const Route *routeOf(std::string_view path)
{
    for (const Route &route : routes)
        if (route.path == path)
            return &route;
    return nullptr;
}

const std::string &required(const QueryParameters &query, const Parameter &parameter)
{
    const std::string *value = query.value(parameter.name);
    if (!value)
        throw BadRequest{};
    return *value;
}

// A decimal integer in 64 bits with an optional "-" (no "+"), blanks around it
// ignored; nothing otherwise. The rule of every number in a query.
std::optional<std::int64_t> readSpacedInt64(std::string_view text)
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
std::int64_t pagingNumber(const std::string &text)
{
    if (text.empty())
        return 0; // before the first record
    const auto value = readSpacedInt64(text);
    if (!value)
        throw BadRequest{};
    return *value;
}

// Number filters come from free edits: a text that is no number matches no
// record, which the client shows as an empty list (a 400 would only make it
// ask again).
std::optional<std::int64_t> numberFilter(const std::string &text, bool &matchesNothing)
{
    if (text.empty())
        return std::nullopt;
    const auto value = readSpacedInt64(text);
    matchesNothing |= !value;
    return value;
}

// Dates come from date pickers as dd.MM.yyyy; anything else is malformed.
std::optional<std::string> dateFilter(const std::string &text)
{
    if (text.empty())
        return std::nullopt;
    auto iso = isoFromGerman(text);
    if (!iso)
        throw BadRequest{};
    return iso;
}

// A chunk query read into the list's filter. The paging key stays text: each
// list reads it its own way. The credentials are checked before.
template<typename Filter>
struct ChunkQuery
{
    std::string after;
    Filter filter;
    bool matchesNothing = false; // a number filter that is no number
};

[[noreturn]] void unreadParameter(const Parameter &parameter)
{
    throw std::logic_error("the list's filter has no place for " + std::string(parameter.name));
}

void readFilter(WearerFilter &f, const Parameter &parameter, const std::string &value, bool &matchesNothing)
{
    switch (parameter.field) {
    case Field::WearerNumber: f.wearerNumber = numberFilter(value, matchesNothing); break;
    case Field::FirstName: f.firstName = foldCase(value); break;
    case Field::Surname: f.surname = foldCase(value); break;
    case Field::LivingArea: f.livingArea = foldCase(value); break;
    default: unreadParameter(parameter);
    }
}

void readFilter(ItemFilter &f, const Parameter &parameter, const std::string &value, bool &matchesNothing)
{
    switch (parameter.field) {
    case Field::ItemId: f.itemId = value; break;
    case Field::WearerNumber: f.wearerNumber = numberFilter(value, matchesNothing); break;
    case Field::MaxWashes: f.maxWashes = numberFilter(value, matchesNothing); break;
    case Field::Washes: f.washesAbove = numberFilter(value, matchesNothing); break;
    case Field::FirstName: f.firstName = foldCase(value); break;
    case Field::Surname: f.surname = foldCase(value); break;
    case Field::ArticleNumber: f.articleNumber = foldCase(value); break;
    case Field::Article: f.article = foldCase(value); break;
    case Field::Batch: f.batch = foldCase(value); break;
    case Field::Size: f.size = foldCase(value); break;
    case Field::CreatedBefore: f.createdTo = dateFilter(value); break;
    case Field::CreatedAfter: f.createdFrom = dateFilter(value); break;
    case Field::ReceivedBefore: f.receivedTo = dateFilter(value); break;
    case Field::ReceivedAfter: f.receivedFrom = dateFilter(value); break;
    case Field::DispatchedBefore: f.dispatchedTo = dateFilter(value); break;
    case Field::DispatchedAfter: f.dispatchedFrom = dateFilter(value); break;
    default: unreadParameter(parameter);
    }
}

template<typename Filter>
ChunkQuery<Filter> readChunkQuery(const QueryParameters &query, const contract::ListContract &list)
{
    ChunkQuery<Filter> q;
    for (const Parameter &parameter : list.chunkQuery) {
        const std::string &value = required(query, parameter);
        if (parameter.field == Field::PagingKey)
            q.after = value;
        else if (parameter.field != Field::Customer && parameter.field != Field::Password)
            readFilter(q.filter, parameter, value, q.matchesNothing);
    }
    return q;
}

Reply chunk(ListKind list, std::vector<Row> rows)
{
    const bool ended = rows.size() < static_cast<std::size_t>(rowsPerChunk);
    return {200, chunkReply(list, rows, ended)};
}

Reply chunkOf(Store &store, const QueryParameters &query, ListKind list, const std::string &customer)
{
    if (list == ListKind::Wearers) {
        const auto q = readChunkQuery<WearerFilter>(query, contract::wearers);
        const std::int64_t after = pagingNumber(q.after);
        if (q.matchesNothing)
            return chunk(list, {});
        return chunk(list, store.wearerChunk(customer, after, q.filter, rowsPerChunk));
    }
    const auto q = readChunkQuery<ItemFilter>(query, contract::contractOf(list));
    if (list == ListKind::Items) {
        if (q.matchesNothing)
            return chunk(list, {});
        return chunk(list, store.itemChunk(customer, q.after, q.filter, rowsPerChunk));
    }
    const std::int64_t after = pagingNumber(q.after); // wash processes are numbered
    if (q.matchesNothing)
        return chunk(list, {});
    return chunk(list, store.washChunk(customer, after, q.filter, rowsPerChunk));
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
        const Route *route = routeOf(query.path());
        if (!route)
            return {404, {}};

        for (const Parameter &parameter : route->required)
            required(query, parameter);
        const std::string &customer = required(query, contract::param::user);
        const std::string &password = required(query, contract::param::password);
        // A wrong password answers 401 whatever the rest of the request would have
        // given, so a failure of the reading waits for the check's outcome.
        Reply reply{404, {}};
        std::exception_ptr failure;
        const bool accepted = store.checkCredentialsAround(customer, password, m_verified, [&] {
            try {
                switch (route->kind) {
                case Kind::Login:
                    reply = {200, loginReply()};
                    break;
                case Kind::Count:
                    reply = {200, countReply(store.count(route->list->list, customer))};
                    break;
                case Kind::Chunk:
                    reply = chunkOf(store, query, route->list->list, customer);
                    break;
                }
            } catch (...) {
                failure = std::current_exception();
            }
        });
        if (!accepted)
            return {401, {}};
        if (failure)
            std::rethrow_exception(failure);
        return reply;
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
