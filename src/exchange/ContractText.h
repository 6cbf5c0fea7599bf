#pragma once

#include <QString>

#include <string_view>

namespace exchange {

// A text of the list contract (UTF-8) as the client's QString.
inline QString contractText(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace exchange
