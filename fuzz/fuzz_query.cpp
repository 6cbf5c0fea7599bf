// A request target as the service receives it: path and query split, every
// name and value decoded.
#include "service/QueryString.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view target(reinterpret_cast<const char *>(data), size);
    service::percentDecode(target);
    if (const auto query = service::QueryParameters::fromTarget(target)) {
        query->value("KDNummer");
        query->value("PW");
        query->value("LetzteID");
    }
    return 0;
}
