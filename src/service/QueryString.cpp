#include "service/QueryString.h"

#include "service/TextFold.h"

namespace service {

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::optional<std::string> percentDecode(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%') {
            if (i + 2 >= text.size())
                return std::nullopt;
            const int high = hexValue(text[i + 1]), low = hexValue(text[i + 2]);
            if (high < 0 || low < 0)
                return std::nullopt;
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            out += c;
        }
    }
    if (!isValidUtf8(out))
        return std::nullopt;
    return out;
}

std::optional<QueryParameters> QueryParameters::fromTarget(std::string_view target)
{
    QueryParameters result;
    const std::size_t mark = target.find('?');
    result.m_path = std::string(target.substr(0, mark));
    if (mark == std::string_view::npos)
        return result;
    std::string_view query = target.substr(mark + 1);
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        if (pair.empty())
            continue;
        const std::size_t eq = pair.find('=');
        auto name = percentDecode(pair.substr(0, eq));
        auto value = percentDecode(eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1));
        if (!name || !value)
            return std::nullopt;
        result.m_pairs.emplace_back(std::move(*name), std::move(*value));
    }
    return result;
}

const std::string *QueryParameters::value(std::string_view name) const
{
    for (const auto &[n, v] : m_pairs)
        if (n == name)
            return &v;
    return nullptr;
}

} // namespace service
