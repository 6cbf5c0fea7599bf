#include "service/ServiceOptions.h"

#include <charconv>
#include <string_view>
#include <utility>

namespace service {

namespace {

constexpr long maxPort = 65535;
// One io_context and two cores; a third thread would only wait for them.
constexpr long maxThreads = 2;
constexpr long maxConnectionsLimit = 10000;
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
    bool demoSize = false;
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
    {"--host", [](ArgumentReader &a, ServiceOptions &o) { return a.text(o.host); }},
    {"--port", [](ArgumentReader &a, ServiceOptions &o) { return a.number(o.port, 0, maxPort); }},
    {"--db", [](ArgumentReader &a, ServiceOptions &o) { return a.text(o.databasePath); }},
    {"--cert", [](ArgumentReader &a, ServiceOptions &o) { return a.text(o.certificatePath); }},
    {"--key", [](ArgumentReader &a, ServiceOptions &o) { return a.text(o.keyPath); }},
    {"--threads", [](ArgumentReader &a, ServiceOptions &o) { return a.number(o.threads, 1, maxThreads); }},
    {"--max-connections",
     [](ArgumentReader &a, ServiceOptions &o) { return a.number(o.maxConnections, 1, maxConnectionsLimit); }},
    {"--max-per-address",
     [](ArgumentReader &a, ServiceOptions &o) {
         return a.number(o.maxConnectionsPerAddress, 1, maxConnectionsLimit);
     }},
    {"--idle-timeout",
     [](ArgumentReader &a, ServiceOptions &o) { return a.number(o.idleTimeoutSeconds, 1, maxTimeoutSeconds); }},
    {"--header-timeout",
     [](ArgumentReader &a, ServiceOptions &o) { return a.number(o.headerTimeoutSeconds, 1, maxTimeoutSeconds); }},
    {"--login-failures",
     [](ArgumentReader &a, ServiceOptions &o) { return a.number(o.loginFailureLimit, 1, maxLoginFailures); }},
    {"--login-window",
     [](ArgumentReader &a, ServiceOptions &o) { return a.number(o.loginWindowSeconds, 1, maxLoginWindowSeconds); }},
    {"--init-demo", [](ArgumentReader &, ServiceOptions &o) -> std::optional<std::string> {
         o.initDemo = true;
         return std::nullopt;
     }},
    {"--customers",
     [](ArgumentReader &a, ServiceOptions &o) { return a.number(o.demoSizes.customers, 1, maxDemoCustomers); },
     true},
    {"--wearers", [](ArgumentReader &a, ServiceOptions &o) { return a.number(o.demoSizes.wearers, 0, maxDemoWearers); },
     true},
    {"--items", [](ArgumentReader &a, ServiceOptions &o) { return a.number(o.demoSizes.items, 0, maxDemoItems); },
     true},
    {"--washes", [](ArgumentReader &a, ServiceOptions &o) { return a.number(o.demoSizes.washes, 0, maxDemoWashes); },
     true},
    {"--add-customer",
     [](ArgumentReader &a, ServiceOptions &o) -> std::optional<std::string> {
         const auto values = a.separateValues(2);
         if (!values)
             return "Option --add-customer needs a customer number and a password";
         o.addCustomer.emplace((*values)[0], (*values)[1]);
         return std::nullopt;
     }},
};

// What no single option can check: options that belong together or exclude each other.
std::optional<std::string> checkCombination(const ServiceOptions &o, bool demoSizeGiven)
{
    if (demoSizeGiven && !o.initDemo)
        return "The demo sizes belong to --init-demo";
    if (o.initDemo && o.addCustomer)
        return "--init-demo and --add-customer do not go together";
    if (o.demoSizes.items > 0 && o.demoSizes.wearers == 0)
        return "Laundry items need at least one wearer";
    if (o.demoSizes.washes > 0 && o.demoSizes.items == 0)
        return "Wash processes need at least one laundry item";
    if (o.certificatePath.empty() != o.keyPath.empty())
        return "--cert and --key go together";
    if (o.addCustomer && o.addCustomer->first.empty())
        return "The customer number must not be empty";
    return std::nullopt;
}

} // namespace

std::string serviceUsage()
{
    return "Usage: plivora-service [options]\n"
           "       plivora-service --init-demo [--db PATH|URI] [--customers N] [--wearers N] [--items N] [--washes N]\n"
           "       plivora-service --add-customer NUMBER PASSWORD [--db PATH|URI]\n"
           "\n"
           "The laundry web service of the Plivora client, HTTPS/1.1 on a local address.\n"
           "\n"
           "Options:\n"
           "  --host ADDRESS        address to listen on (default 127.0.0.1)\n"
           "  --port N              port to listen on, 0 for any free one (default 8080);\n"
           "                        prints \"listening on <host>:<port>\" once ready\n"
           "  --db PATH|URI         SQLite database (default plivora-service.db), or a\n"
           "                        PostgreSQL database by its libpq URI postgresql://...;\n"
           "                        its schema is created on first start\n"
           "  --cert PATH           PEM certificate (default <db>.crt, self-signed and made\n"
           "                        at first start together with <db>.key; with PostgreSQL\n"
           "                        plivora-service.crt and .key in the working directory)\n"
           "  --key PATH            PEM private key of the certificate (default <db>.key)\n"
           "  --threads N           serving threads, 1 or 2 (default 2)\n"
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
           "  --add-customer NUMBER PASSWORD\n"
           "                        add a customer or set its password, then exit\n"
           "  --help                show this text\n";
}

std::variant<ServiceOptions, std::string> parseServiceOptions(const std::vector<std::string> &arguments)
{
    ServiceOptions o;
    bool demoSizeGiven = false;
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
        demoSizeGiven = demoSizeGiven || option->demoSize;
    }
    if (const auto error = checkCombination(o, demoSizeGiven))
        return *error;
    return o;
}

} // namespace service
