#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace service {

// "+" is a blank, "%XX" (hex digits of either case) one byte; the bytes must
// form UTF-8. nullopt for a "%" without two hex digits or for bytes that are
// not UTF-8: the request is then malformed.
std::optional<std::string> percentDecode(std::string_view text);

// The decoded name=value pairs of a request target's query.
class QueryParameters
{
public:
    // Splits "path?query"; nullopt when any name or value fails to decode.
    static std::optional<QueryParameters> fromTarget(std::string_view target);

    const std::string &path() const { return m_path; }
    // The first value given for the name, or nullptr when the query lacks it.
    const std::string *value(std::string_view name) const;

private:
    std::string m_path;
    std::vector<std::pair<std::string, std::string>> m_pairs;
};

} // namespace service
