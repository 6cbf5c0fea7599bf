#pragma once

#include "service/DemoData.h"

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace service {

struct ServiceOptions
{
    std::string host = "127.0.0.1";
    unsigned short port = 8080;
    std::string databasePath = "plivora-service.db";
    std::string certificatePath; // empty: <database>.crt, made at first start
    std::string keyPath;         // empty: <database>.key
    int threads = 2;
    int maxConnections = 256;
    int maxConnectionsPerAddress = 32;
    int idleTimeoutSeconds = 30;
    int headerTimeoutSeconds = 10;
    int loginFailureLimit = 10;
    int loginWindowSeconds = 60;
    bool help = false;
    bool initDemo = false;
    DemoSizes demoSizes;
    std::optional<std::pair<std::string, std::string>> addCustomer; // number, password
};

// The options, or the message that explains what is wrong with them.
std::variant<ServiceOptions, std::string> parseServiceOptions(const std::vector<std::string> &arguments);

std::string serviceUsage();

} // namespace service
