#include "service/ServiceOptions.h"

#include <boost/property_tree/ini_parser.hpp>
#include <boost/property_tree/ptree.hpp>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string_view>
#include <utility>

namespace service {

namespace {

constexpr long maxPort = 65535;
// One io_context and two cores; a third thread would only wait for them.
constexpr long maxThreads = 2;
constexpr long maxConnectionsLimit = 10000;
// Each is a database connection and a thread; PostgreSQL's default allows 100 connections in all.
constexpr long maxDatabaseConnections = 64;
constexpr long maxTimeoutSeconds = 3600;
constexpr long maxLoginFailures = 1000;
constexpr long maxLoginWindowSeconds = 24 * 3600;
constexpr long maxDemoCustomers = 100;
constexpr long maxDemoWearers = 30000;  // wearer numbers stay below 100000
constexpr long maxDemoItems = 999999;   // "S" and six digits
constexpr long maxDemoWashes = 10000000;

std::optional<long> readNumber(const std::string &text)
{
    long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

// Walks the arguments option by option. An option's value follows "=" in the
// same argument ("--port=8443") or is the next argument.
class ArgumentReader
{
public:
    explicit ArgumentReader(const std::vector<std::string> &arguments) : m_arguments(arguments) {}

    bool atEnd() const { return m_next >= m_arguments.size(); }

    // Moves to the next option and returns its name, without an "=value".
    const std::string &nextOption()
    {
        m_current = m_arguments[m_next++];
        m_name = m_current;
        m_inlineValue.reset();
        if (const auto eq = m_name.find('='); m_name.rfind("--", 0) == 0 && eq != std::string::npos) {
            m_inlineValue = m_name.substr(eq + 1);
            m_name.resize(eq);
        }
        return m_name;
    }
    const std::string &argument() const { return m_current; }
    const std::string &name() const { return m_name; }
    // An "=value" that no option took.
    bool inlineValueLeft() const { return m_inlineValue.has_value(); }

    std::optional<std::string> value()
    {
        if (m_inlineValue)
            return std::exchange(m_inlineValue, std::nullopt);
        if (atEnd())
            return std::nullopt;
        return m_arguments[m_next++];
    }

    // The option's values as separate arguments only; nullopt when fewer are left.
    std::optional<std::vector<std::string>> separateValues(std::size_t count)
    {
        if (m_inlineValue || m_arguments.size() - m_next < count)
            return std::nullopt;
        std::vector<std::string> values(m_arguments.begin() + m_next, m_arguments.begin() + m_next + count);
        m_next += count;
        return values;
    }

    std::optional<std::string> text(std::string &target)
    {
        const auto v = value();
        if (!v || v->empty())
            return "Option " + m_name + " needs a value";
        target = *v;
        return std::nullopt;
    }

    template <typename T>
    std::optional<std::string> number(T &target, long low, long high)
    {
        const auto v = value();
        if (!v)
            return "Option " + m_name + " needs a value";
        const auto n = readNumber(*v);
        if (!n || *n < low || *n > high)
            return "Option " + m_name + " needs a whole number from " + std::to_string(low) + " to "
                 + std::to_string(high) + ", not \"" + *v + "\"";
        target = static_cast<T>(*n);
        return std::nullopt;
    }

private:
    const std::vector<std::string> &m_arguments;
    std::size_t m_next = 0;
    std::string m_current, m_name;
    std::optional<std::string> m_inlineValue;
};

struct Option
{
    std::string_view name;
    // Reads the option's value into the options; the message when it is wrong.
    std::optional<std::string> (*apply)(ArgumentReader &, ServiceOptions &);
    enum Role { Action, Setting, DemoSize } role = Action;
};

const Option options[] = {
    {"--help", [](ArgumentReader &, ServiceOptions &o) -> std::optional<std::string> {
         o.help = true;
         return std::nullopt;
     }},
    {"-h", [](ArgumentReader &, ServiceOptions &o) -> std::optional<std::string> {
         o.help = true;
         return std::nullopt;
     }},
    {"--host", [](ArgumentReader &a, ServiceOptions &o) { return a.text(o.host); }, Option::Setting},
    {"--port", [](ArgumentReader &a, ServiceOptions &o) { return a.number(o.port, 0, maxPort); }, Option::Setting},
    {"--db", [](ArgumentReader &a, ServiceOptions &o) { return a.text(o.databasePath); }, Option::Setting},
    {"--cert", [](ArgumentReader &a, ServiceOptions &o) { return a.text(o.certificatePath); }, Option::Setting},
    {"--key", [](ArgumentReader &a, ServiceOptions &o) { return a.text(o.keyPath); }, Option::Setting},
    {"--threads", [](ArgumentReader &a, ServiceOptions &o) { return a.number(o.threads, 1, maxThreads); }, Option::Setting},
    {"--db-connections",
     [](ArgumentReader &a, ServiceOptions &o) { return a.number(o.databaseConnections, 1, maxDatabaseConnections); },
     Option::Setting},
    {"--max-connections",
     [](ArgumentReader &a, ServiceOptions &o) { return a.number(o.maxConnections, 1, maxConnectionsLimit); }, Option::Setting},
    {"--max-per-address",
     [](ArgumentReader &a, ServiceOptions &o) {
         return a.number(o.maxConnectionsPerAddress, 1, maxConnectionsLimit);
     }, Option::Setting},
    {"--idle-timeout",
     [](ArgumentReader &a, ServiceOptions &o) { return a.number(o.idleTimeoutSeconds, 1, maxTimeoutSeconds); }, Option::Setting},
    {"--header-timeout",
     [](ArgumentReader &a, ServiceOptions &o) { return a.number(o.headerTimeoutSeconds, 1, maxTimeoutSeconds); }, Option::Setting},
    {"--login-failures",
     [](ArgumentReader &a, ServiceOptions &o) { return a.number(o.loginFailureLimit, 1, maxLoginFailures); }, Option::Setting},
    {"--login-window",
     [](ArgumentReader &a, ServiceOptions &o) { return a.number(o.loginWindowSeconds, 1, maxLoginWindowSeconds); }, Option::Setting},
    {"--init-demo", [](ArgumentReader &, ServiceOptions &o) -> std::optional<std::string> {
         o.initDemo = true;
         return std::nullopt;
     }},
    {"--customers",
     [](ArgumentReader &a, ServiceOptions &o) { return a.number(o.demoSizes.customers, 1, maxDemoCustomers); },
     Option::DemoSize},
    {"--wearers", [](ArgumentReader &a, ServiceOptions &o) { return a.number(o.demoSizes.wearers, 0, maxDemoWearers); },
     Option::DemoSize},
    {"--items", [](ArgumentReader &a, ServiceOptions &o) { return a.number(o.demoSizes.items, 0, maxDemoItems); },
     Option::DemoSize},
    {"--washes", [](ArgumentReader &a, ServiceOptions &o) { return a.number(o.demoSizes.washes, 0, maxDemoWashes); },
     Option::DemoSize},
    {"--add-customer", [](ArgumentReader &a, ServiceOptions &o) { return a.text(o.addCustomer.emplace()); }},
    {"--version", [](ArgumentReader &, ServiceOptions &o) -> std::optional<std::string> {
         o.version = true;
         return std::nullopt;
     }},
    {"--config", [](ArgumentReader &a, ServiceOptions &o) { return a.text(o.configPath); }},
    {"--import",
     [](ArgumentReader &a, ServiceOptions &o) -> std::optional<std::string> {
         const auto values = a.separateValues(2);
         if (!values)
             return "Option --import needs a list (wearers, items or washes) and a file";
         o.importKind = importKindFromName((*values)[0]);
         if (!o.importKind)
             return "Option --import takes wearers, items or washes, not \"" + (*values)[0] + "\"";
         o.importFile = (*values)[1];
         if (o.importFile.empty())
             return "Option --import needs a file";
         return std::nullopt;
     }},
    {"--customer", [](ArgumentReader &a, ServiceOptions &o) { return a.text(o.importCustomer); }},
};

// What no single option can check: options that belong together or exclude each other.
std::optional<std::string> checkCombination(const ServiceOptions &o, bool demoSizeGiven)
{
    if (demoSizeGiven && !o.initDemo)
        return "The demo sizes belong to --init-demo";
    if (int(o.initDemo) + int(o.addCustomer.has_value()) + int(o.importKind.has_value()) > 1)
        return "--init-demo, --add-customer and --import do not go together";
    if (o.importKind.has_value() != !o.importCustomer.empty())
        return "--import and --customer go together";
    if (o.demoSizes.items > 0 && o.demoSizes.wearers == 0)
        return "Laundry items need at least one wearer";
    if (o.demoSizes.washes > 0 && o.demoSizes.items == 0)
        return "Wash processes need at least one laundry item";
    if (o.certificatePath.empty() != o.keyPath.empty())
        return "--cert and --key go together";
    return std::nullopt;
}

} // namespace

std::string serviceUsage()
{
    return "Usage: plivora-service [--config FILE] [options]\n"
           "       plivora-service --init-demo [--db PATH|URI] [--customers N] [--wearers N] [--items N] [--washes N]\n"
           "       plivora-service --add-customer NUMBER [--db PATH|URI]   (the password on standard input)\n"
           "       plivora-service --import wearers|items|washes FILE --customer NUMBER [--db PATH|URI]\n"
           "\n"
           "The laundry web service of the Plivora client, HTTPS/1.1 on a local address.\n"
           "\n"
           "Options:\n"
           "  --config FILE         read the settings below from an INI file (\"port = 8443\");\n"
           "                        options on the command line override it\n"
           "  --host ADDRESS        address to listen on (default 127.0.0.1)\n"
           "  --port N              port to listen on, 0 for any free one (default 8080);\n"
           "                        prints \"listening on <host>:<port>\" once ready\n"
           "  --db PATH|URI         SQLite database (default plivora-service.db), or a\n"
           "                        PostgreSQL database by its libpq URI postgresql://...;\n"
           "                        its schema is created or brought up to date at start\n"
           "  --cert PATH           PEM certificate (default <db>.crt, self-signed and made\n"
           "                        at first start together with <db>.key; with PostgreSQL\n"
           "                        plivora-service.crt and .key in the working directory)\n"
           "  --key PATH            PEM private key of the certificate (default <db>.key)\n"
           "  --threads N           serving threads, 1 or 2 (default 2)\n"
           "  --db-connections N    database connections, each with a worker thread that\n"
           "                        runs the requests' queries, 1 to 64 (default 4)\n"
           "  --max-connections N   connections served at once; more are closed (default 256)\n"
           "  --max-per-address N   connections one client address may hold (default 32)\n"
           "  --idle-timeout S      seconds a connection may stay silent (default 30)\n"
           "  --header-timeout S    seconds a request may take from its first byte to its\n"
           "                        end (default 10)\n"
           "  --login-failures N    failed logins from one address within the login window\n"
           "                        after which it gets 429 (default 10)\n"
           "  --login-window S      seconds of that window (default 60)\n"
           "  --init-demo           fill a new database with demo data and exit; prints the\n"
           "                        demo customer numbers and password\n"
           "  --customers N --wearers N --items N --washes N\n"
           "                        demo sizes per customer (default 1, 120, 2000, 15000)\n"
           "  --add-customer NUMBER add a customer or set its password, read as one line\n"
           "                        from standard input, then exit\n"
           "  --import LIST FILE --customer NUMBER\n"
           "                        import the client's CSV export of a list (wearers,\n"
           "                        items or washes) for that customer, all or nothing\n"
           "  --version             show the version\n"
           "  --help                show this text\n";
}

std::variant<std::vector<std::string>, std::string> configArguments(const std::string &iniText)
{
    namespace pt = boost::property_tree;
    pt::ptree tree;
    try {
        std::istringstream in(iniText);
        pt::ini_parser::read_ini(in, tree);
    } catch (const pt::ini_parser_error &error) {
        return "line " + std::to_string(error.line()) + ": " + error.message();
    }
    std::vector<std::string> arguments;
    const auto add = [&](const std::string &key, const pt::ptree &node) -> std::optional<std::string> {
        const std::string name = "--" + key;
        for (const Option &option : options)
            if (option.name == name) {
                if (option.role != Option::Setting)
                    return "\"" + key + "\" is no setting; give it on the command line";
                arguments.push_back(name + "=" + node.data());
                return std::nullopt;
            }
        return "unknown setting \"" + key + "\"";
    };
    for (const auto &[key, node] : tree) {
        if (node.empty()) {
            if (auto error = add(key, node))
                return *error;
            continue;
        }
        if (key != "plivora-service")
            return "unknown section [" + key + "]; the settings go at the top or under [plivora-service]";
        for (const auto &[innerKey, inner] : node)
            if (auto error = add(innerKey, inner))
                return *error;
    }
    return arguments;
}

namespace {

// Applies the options in order to `o`; a later value of an option replaces an earlier one.
std::optional<std::string> applyArguments(const std::vector<std::string> &arguments, ServiceOptions &o,
                                          bool &demoSizeGiven)
{
    ArgumentReader reader(arguments);
    while (!reader.atEnd()) {
        const std::string &name = reader.nextOption();
        const Option *option = nullptr;
        for (const Option &candidate : options)
            if (candidate.name == name)
                option = &candidate;
        if (!option)
            return "Unknown option \"" + reader.argument() + "\"";
        if (const auto error = option->apply(reader, o))
            return *error;
        if (reader.inlineValueLeft())
            return "Option " + name + " takes no value";
        demoSizeGiven = demoSizeGiven || option->role == Option::DemoSize;
    }
    return std::nullopt;
}

} // namespace

std::variant<ServiceOptions, std::string> parseServiceOptions(const std::vector<std::string> &arguments)
{
    ServiceOptions o;
    bool demoSizeGiven = false;
    // Found first and applied first, so that the command line wins.
    ServiceOptions commandLine;
    if (const auto error = applyArguments(arguments, commandLine, demoSizeGiven))
        return *error;
    if (!commandLine.configPath.empty()) {
        std::ifstream file(commandLine.configPath, std::ios::binary);
        std::ostringstream text;
        if (file)
            text << file.rdbuf();
        if (!file || file.bad())
            return "Cannot read the configuration file \"" + commandLine.configPath + "\": " + std::strerror(errno);
        auto fromFile = configArguments(text.str());
        if (const auto *error = std::get_if<std::string>(&fromFile))
            return "In the configuration file \"" + commandLine.configPath + "\", " + *error;
        bool ignored = false;
        if (const auto error = applyArguments(std::get<std::vector<std::string>>(fromFile), o, ignored))
            return "In the configuration file \"" + commandLine.configPath + "\": " + *error;
    }
    if (const auto error = applyArguments(arguments, o, demoSizeGiven))
        return *error;
    if (const auto error = checkCombination(o, demoSizeGiven))
        return *error;
    return o;
}

} // namespace service
