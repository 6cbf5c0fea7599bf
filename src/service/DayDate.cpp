#include "service/DayDate.h"

#include <cstdio>

namespace service {

namespace {

bool digits(std::string_view s)
{
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

int number(std::string_view s)
{
    int n = 0;
    for (char c : s)
        n = n * 10 + (c - '0');
    return n;
}

} // namespace

std::optional<std::string> isoFromGerman(std::string_view text)
{
    if (text.size() != 10 || text[2] != '.' || text[5] != '.')
        return std::nullopt;
    const std::string_view d = text.substr(0, 2), m = text.substr(3, 2), y = text.substr(6, 4);
    if (!digits(d) || !digits(m) || !digits(y))
        return std::nullopt;
    const std::chrono::year_month_day ymd{std::chrono::year(number(y)),
                                          std::chrono::month(static_cast<unsigned>(number(m))),
                                          std::chrono::day(static_cast<unsigned>(number(d)))};
    if (!ymd.ok() || number(y) == 0)
        return std::nullopt;
    std::string iso;
    iso.append(y).append("-").append(m).append("-").append(d);
    return iso;
}

std::string germanFromIso(std::string_view iso)
{
    if (iso.size() != 10)
        return std::string(iso);
    std::string out;
    out.append(iso.substr(8, 2)).append(".").append(iso.substr(5, 2)).append(".").append(iso.substr(0, 4));
    return out;
}

std::string isoText(std::chrono::sys_days day)
{
    const std::chrono::year_month_day ymd{day};
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02u", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()));
    return buffer;
}

std::chrono::sys_days today()
{
    // Local calendar day: the client's date pickers default to the local "now".
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return std::chrono::sys_days{std::chrono::year_month_day{std::chrono::year(local.tm_year + 1900),
                                                             std::chrono::month(local.tm_mon + 1),
                                                             std::chrono::day(local.tm_mday)}};
}

} // namespace service
