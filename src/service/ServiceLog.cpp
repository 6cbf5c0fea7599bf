#include "service/ServiceLog.h"

#include <cstdio>
#include <string>

namespace service {

void logLine(std::string_view text)
{
    std::string line = "plivora-service: ";
    line += text;
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr); // one call holds the stream lock for the whole line
}

} // namespace service
