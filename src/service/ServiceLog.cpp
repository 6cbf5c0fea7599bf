#include "service/ServiceLog.h"

#include <cstdio>
#include <ctime>
#include <string>

namespace service {

void logLine(std::string_view text)
{
    std::string line = "plivora-service: ";
    line += text;
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr); // one call holds the stream lock for the whole line
}

void accessLogLine(std::string_view text)
{
    std::string line(text);
    line += '\n';
    flockfile(stdout); // the flush belongs to the line, not to another thread's
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
    funlockfile(stdout);
}

std::string isoUtcTime(std::chrono::system_clock::time_point time)
{
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(time.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(micros / 1000000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[40];
    const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    std::snprintf(text + n, sizeof text - n, ".%06lldZ", static_cast<long long>(micros % 1000000));
    return text;
}

std::string loggable(std::string_view text, std::size_t limit)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < text.size() && i < limit; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c > 0x20 && c < 0x7F && c != '%') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0xF];
        }
    }
    if (text.size() > limit)
        out += "...";
    return out;
}

} // namespace service
