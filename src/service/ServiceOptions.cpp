#include "service/ServiceOptions.h"

#include <charconv>

namespace service {

namespace {

std::optional<long> readNumber(const std::string &text)
{
    long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

} // namespace

std::string serviceUsage()
{
    return "Usage: plivora-service [options]\n"
           "       plivora-service --init-demo [--db PATH] [--customers N] [--wearers N] [--items N] [--washes N]\n"
           "       plivora-service --add-customer NUMBER PASSWORD [--db PATH]\n"
           "\n"
           "The laundry web service of the Plivora client, HTTPS/1.1 on a local address.\n"
           "\n"
           "Options:\n"
           "  --host ADDRESS        address to listen on (default 127.0.0.1)\n"
           "  --port N              port to listen on, 0 for any free one (default 8080);\n"
           "                        prints \"listening on <host>:<port>\" once ready\n"
           "  --db PATH             SQLite database (default plivora-service.db); its schema\n"
           "                        is created on first start\n"
           "  --cert PATH           PEM certificate (default <db>.crt, self-signed and made\n"
           "                        at first start together with <db>.key)\n"
           "  --key PATH            PEM private key of the certificate (default <db>.key)\n"
           "  --threads N           serving threads, 1 or 2 (default 2)\n"
           "  --max-connections N   connections served at once; more are closed (default 256)\n"
           "  --idle-timeout S      seconds a connection may stay silent (default 30)\n"
           "  --init-demo           fill a new database with demo data and exit; prints the\n"
           "                        demo customer numbers and password\n"
           "  --customers N --wearers N --items N --washes N\n"
           "                        demo sizes per customer (default 1, 120, 2000, 15000)\n"
           "  --add-customer NUMBER PASSWORD\n"
           "                        add a customer or set its password, then exit\n"
           "  --help                show this text\n";
}

std::variant<ServiceOptions, std::string> parseServiceOptions(const std::vector<std::string> &arguments)
{
    ServiceOptions o;
    bool demoSizeGiven = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        std::optional<std::string> inlineValue;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name.resize(eq);
        }
        auto value = [&]() -> std::optional<std::string> {
            if (inlineValue)
                return std::exchange(inlineValue, std::nullopt);
            if (i + 1 >= arguments.size())
                return std::nullopt;
            return arguments[++i];
        };
        auto number = [&](long low, long high) -> std::variant<long, std::string> {
            const auto text = value();
            if (!text)
                return "Option " + name + " needs a value";
            const auto n = readNumber(*text);
            if (!n || *n < low || *n > high)
                return "Option " + name + " needs a whole number from " + std::to_string(low) + " to "
                     + std::to_string(high) + ", not \"" + *text + "\"";
            return *n;
        };
        auto text = [&](std::string &target) -> std::optional<std::string> {
            const auto v = value();
            if (!v || v->empty())
                return "Option " + name + " needs a value";
            target = *v;
            return std::nullopt;
        };
        auto setNumber = [&](auto &target, long low, long high) -> std::optional<std::string> {
            const auto n = number(low, high);
            if (const auto *error = std::get_if<std::string>(&n))
                return *error;
            target = static_cast<std::remove_reference_t<decltype(target)>>(std::get<long>(n));
            return std::nullopt;
        };

        std::optional<std::string> error;
        if (name == "--help" || name == "-h") {
            o.help = true;
        } else if (name == "--host") {
            error = text(o.host);
        } else if (name == "--port") {
            error = setNumber(o.port, 0, 65535);
        } else if (name == "--db") {
            error = text(o.databasePath);
        } else if (name == "--cert") {
            error = text(o.certificatePath);
        } else if (name == "--key") {
            error = text(o.keyPath);
        } else if (name == "--threads") {
            error = setNumber(o.threads, 1, 2);
        } else if (name == "--max-connections") {
            error = setNumber(o.maxConnections, 1, 10000);
        } else if (name == "--idle-timeout") {
            error = setNumber(o.idleTimeoutSeconds, 1, 3600);
        } else if (name == "--init-demo") {
            o.initDemo = true;
        } else if (name == "--customers") {
            error = setNumber(o.demoSizes.customers, 1, 100);
            demoSizeGiven = true;
        } else if (name == "--wearers") {
            error = setNumber(o.demoSizes.wearers, 0, 30000); // numbers stay below 100000
            demoSizeGiven = true;
        } else if (name == "--items") {
            error = setNumber(o.demoSizes.items, 0, 999999); // "S" and six digits
            demoSizeGiven = true;
        } else if (name == "--washes") {
            error = setNumber(o.demoSizes.washes, 0, 10000000);
            demoSizeGiven = true;
        } else if (name == "--add-customer") {
            if (inlineValue || i + 2 >= arguments.size())
                error = "Option --add-customer needs a customer number and a password";
            else
                o.addCustomer.emplace(arguments[i + 1], arguments[i + 2]), i += 2;
        } else {
            error = "Unknown option \"" + arguments[i] + "\"";
        }
        if (error)
            return *error;
        if (inlineValue)
            return "Option " + name + " takes no value";
    }
    if (demoSizeGiven && !o.initDemo)
        return std::string("The demo sizes belong to --init-demo");
    if (o.initDemo && o.addCustomer)
        return std::string("--init-demo and --add-customer do not go together");
    if (o.demoSizes.items > 0 && o.demoSizes.wearers == 0)
        return std::string("Laundry items need at least one wearer");
    if (o.demoSizes.washes > 0 && o.demoSizes.items == 0)
        return std::string("Wash processes need at least one laundry item");
    if (o.certificatePath.empty() != o.keyPath.empty())
        return std::string("--cert and --key go together");
    if (o.addCustomer && o.addCustomer->first.empty())
        return std::string("The customer number must not be empty");
    return o;
}

} // namespace service
