#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace service {

// One line on standard error, "plivora-service: " and the text, written in one
// piece so that lines of the serving threads never interleave.
void logLine(std::string_view text);

// One line of the access log on standard output, written and flushed in one piece.
void accessLogLine(std::string_view text);

// "2026-03-15T09:41:07.123456Z": ISO 8601 in UTC with microseconds.
std::string isoUtcTime(std::chrono::system_clock::time_point time);

// A text from the network made safe for one log line: bytes outside printable
// ASCII become %XX (so does "%" itself), and more than `limit` bytes end in "...".
std::string loggable(std::string_view text, std::size_t limit = 256);

} // namespace service
