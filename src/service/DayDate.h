#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

// Dates travel as "dd.MM.yyyy" and are stored as ISO "yyyy-MM-dd" texts, whose
// text order is their date order, so SQLite compares them without conversion.
namespace service {

// "24.12.2025" -> "2025-12-24"; nullopt unless exactly two-digit day, two-digit
// month, four-digit year of a real calendar day.
std::optional<std::string> isoFromGerman(std::string_view text);
// "2025-12-24" -> "24.12.2025"; an empty text stays empty.
std::string germanFromIso(std::string_view iso);

std::string isoText(std::chrono::sys_days day);
std::chrono::sys_days today();

} // namespace service
