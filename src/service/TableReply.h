#pragma once

#include "service/LaundryStore.h"

#include <string>
#include <vector>

// Reply bodies: small XML documents shaped like an HTML table, UTF-8.
namespace service {

inline constexpr int rowsPerChunk = 10;

std::string loginReply();
std::string countReply(std::int64_t count);
// The rows with the list's free-text cells percent-encoded; `ended` appends the
// end row (a row whose first cell is empty).
std::string chunkReply(ListKind list, const std::vector<Row> &rows, bool ended);

// Whether cell c (0-based) of the list's rows travels percent-encoded.
bool isEncodedCell(ListKind list, std::size_t cell);

void appendXmlEscaped(std::string &out, std::string_view text);

} // namespace service
