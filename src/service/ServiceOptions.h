#pragma once

#include "service/DemoData.h"
#include "service/CsvImport.h"

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
    int databaseConnections = 4;
    int maxConnections = 256;
    int maxConnectionsPerAddress = 32;
    int idleTimeoutSeconds = 30;
    int headerTimeoutSeconds = 10;
    int loginFailureLimit = 10;
    int loginWindowSeconds = 60;
    std::string configPath; // empty: no configuration file
    bool help = false;
    bool version = false;
    bool initDemo = false;
    DemoSizes demoSizes;
    std::optional<std::string> addCustomer; // its number; the password comes from standard input
    std::optional<ImportKind> importKind;
    std::string importFile;
    std::string importCustomer;
};

// The options, or the message that explains what is wrong with them. A
// `--config PATH` among the arguments is read first, wherever it stands, so
// that every flag given on the command line overrides the file's value.
std::variant<ServiceOptions, std::string> parseServiceOptions(const std::vector<std::string> &arguments);

// The settings of an INI text as options ("port = 8443" becomes "--port=8443"),
// or the message that explains what is wrong. Keys are the long option names
// without "--", at the top or in a section [plivora-service]; only settings
// are allowed, no actions such as --init-demo.
std::variant<std::vector<std::string>, std::string> configArguments(const std::string &iniText);

std::string serviceUsage();

} // namespace service
