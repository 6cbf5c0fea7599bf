#pragma once

#include <string_view>

namespace service {

// One line on standard error, "plivora-service: " and the text, written in one
// piece so that lines of the serving threads never interleave.
void logLine(std::string_view text);

} // namespace service
