#include "service/DemoData.h"

#include "service/DayDate.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace service {

namespace {

// SplitMix64: small, and unlike the standard distributions the same on every platform.
class Draw
{
public:
    explicit Draw(std::uint64_t seed) : m_state(seed) {}

    std::uint64_t next()
    {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0 .. n-1
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
    // lo .. hi inclusive
    int between(int lo, int hi) { return lo + below(hi - lo + 1); }
    bool chance(int percent) { return below(100) < percent; }
    template<typename T, std::size_t N>
    const T &pick(const T (&list)[N]) { return list[below(static_cast<int>(N))]; }

private:
    std::uint64_t m_state;
};

const char *const firstNames[] = {
    "Anna", "Bärbel", "Brigitte", "Christa", "Dörte", "Elfriede", "Erika", "Gisela", "Gertrud", "Hannelore",
    "Helga", "Ingrid", "Irmgard", "Käthe", "Liselotte", "Margarete", "Renate", "Ursula", "Gudrun", "Hildegard",
    "Jürgen", "Björn", "Sönke", "Jörg", "Rüdiger", "Günter", "Horst", "Heinz", "Manfred", "Klaus", "Wolfgang",
    "Karl-Heinz", "Hans-Jürgen", "Gerhard", "Walter", "Ernst", "Friedrich", "Dieter", "Jens-Uwe", "Lütje",
};

const char *const surnames[] = {
    "Müller", "Schmidt", "Schneider", "Fischer", "Weber", "Meyer", "Wagner", "Becker", "Schulz", "Hoffmann",
    "Schäfer", "Koch", "Bauer", "Richter", "Klein", "Wolf", "Schröder", "Neumann", "Schwarz", "Zimmermann",
    "Braun", "Krüger", "Hofmann", "Hartmann", "Lange", "Schmitt", "Werner", "Schmitz", "Krause", "Meier",
    "Lehmann", "Köhler", "Herrmann", "König", "Walter", "Mayer", "Huber", "Kaiser", "Fuchs", "Peters",
    "Scholz", "Möller", "Weiß", "Jung", "Hahn", "Schubert", "Vogel", "Günther", "Keller", "Böhm",
    "Jäger", "Groß", "Krämer", "Strauß", "Heß", "Voß", "Kühn", "Öztürk", "Ähnlich", "Übel",
    "Dörfler", "Büttner", "Fußmann", "Löffler", "Nößler", "Rößler", "Sänger", "Tränkle", "Wüst", "Zöllner",
};

const char *const secondSurnames[] = {
    "Lüdenscheidt", "Wüstenhagen", "Schönfeld", "Großmann", "Weißenborn", "Bäumler", "Köster", "Brückner",
};

struct LivingArea
{
    const char *name;
    int deliveryAddress;
    int floor;
};

const LivingArea livingAreas[] = {
    {"Wohnbereich Sonnenhof", 11, 0},    {"Wohnbereich Rosengarten", 12, 1}, {"Haus Lindenallee 2. OG", 13, 2},
    {"Haus Lindenallee EG", 14, 0},      {"Wohnbereich Mühlenbach", 15, 1},  {"Haus Ährenfeld 1. OG", 16, 1},
    {"Wohngruppe Seeblick", 17, 3},      {"Station Kastanienhöhe", 18, 2},
};

struct Article
{
    const char *number;
    const char *name;
    std::vector<const char *> sizes;
    int maxWashes;
};

const Article articles[] = {
    {"1010", "Kasack weiß", {"S", "M", "L", "XL", "XXL"}, 100},
    {"1011", "Kasack hellblau", {"S", "M", "L", "XL"}, 100},
    {"1020", "Hose blau", {"40", "42", "44", "46", "48", "50", "52", "54"}, 120},
    {"1021", "Hose weiß", {"40", "42", "44", "46", "48", "50"}, 120},
    {"1030", "Poloshirt rot", {"S", "M", "L", "XL", "XXL"}, 80},
    {"1040", "Nachthemd geblümt", {"M", "L", "XL"}, 60},
    {"1050", "Strickjacke grau", {"M", "L", "XL"}, 50},
    {"1060", "Schlafanzug gestreift", {"48", "50", "52", "54", "56"}, 60},
    {"1070", "Bluse weiß", {"38", "40", "42", "44", "46"}, 70},
    {"1080", "Oberhemd hellblau", {"39/40", "41/42", "43/44"}, 80},
    {"1090", "Jogginghose schwarz", {"M", "L", "XL", "XXL"}, 80},
    {"1100", "Bademantel Frottee", {"L", "XL"}, 50},
    {"1110", "Unterhemd weiß", {"5", "6", "7", "8"}, 60},
    {"1120", "Pullover grün", {"M", "L", "XL"}, 50},
    {"1130", "Kittelschürze blau-weiß", {"40", "42", "44", "46"}, 90},
    {"1140", "Socken schwarz (Paar)", {"39-42", "43-46"}, 40},
    {"1150", "Rock dunkelblau", {"38", "40", "42", "44"}, 60},
    {"1160", "Weste Fleece anthrazit", {"M", "L", "XL"}, 60},
};

struct Pass
{
    int item;
    int day; // days since the epoch
    std::optional<int> dispatched;
    std::string batch;
    int number; // 1 for the item's first receipt
};

std::string dateOf(int day)
{
    return isoText(std::chrono::sys_days{std::chrono::days{day}});
}

std::string batchOf(int day, int machine)
{
    const std::chrono::year_month_day ymd{std::chrono::sys_days{std::chrono::days{day}}};
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "%02d%02u%02u-%d", static_cast<int>(ymd.year()) % 100,
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()), machine);
    return buffer;
}

void bindDate(SqliteStatement &s, const char *name, const std::optional<int> &day)
{
    if (day)
        s.bind(name, std::string_view(dateOf(*day)));
    else
        s.bindNull(name);
}

int dayNumber(std::chrono::year_month_day day)
{
    return static_cast<int>(std::chrono::sys_days{day}.time_since_epoch().count());
}

std::string itemIdOf(std::size_t index)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "S%06zu", index + 1);
    return buffer;
}

// Wearers numbered upwards from 101 in small steps; returns their numbers.
std::vector<int> fillWearers(SqliteDatabase &db, const std::string &customer, Draw &draw, int count)
{
    SqliteStatement wearer = db.prepare(
        "INSERT INTO wearer (customer, traeger_nr, name, vorname, zimmernummer, liefer_adr_id, wohnbereich)"
        " VALUES (:customer, :nr, :name, :vorname, :zimmer, :liefer, :wb)");
    std::vector<int> wearerNumbers;
    int number = 100;
    for (int i = 0; i < count; ++i) {
        number += draw.between(1, 3);
        wearerNumbers.push_back(number);
        std::string surname = draw.pick(surnames);
        if (i % 37 == 5)
            surname = "Müller-Lüdenscheidt";
        else if (draw.chance(12))
            surname = surname + "-" + draw.pick(secondSurnames);
        const LivingArea &area = draw.pick(livingAreas);
        char room[16];
        std::snprintf(room, sizeof room, "%d.%02d", area.floor, draw.between(1, 40));
        wearer.bind(":customer", std::string_view(customer));
        wearer.bind(":nr", std::int64_t{number});
        wearer.bind(":name", std::string_view(surname));
        wearer.bind(":vorname", std::string_view(draw.pick(firstNames)));
        wearer.bind(":zimmer", std::string_view(room));
        wearer.bind(":liefer", std::int64_t{area.deliveryAddress});
        wearer.bind(":wb", std::string_view(area.name));
        wearer.step();
        wearer.reset();
    }
    return wearerNumbers;
}

struct Item
{
    int wearer;
    const Article *article;
    const char *size;
    int created;
    std::vector<int> passes; // indexes into Laundry::passes
};

// The items and every pass of them through the laundry, drawn before either is stored.
struct Laundry
{
    std::vector<Item> items;
    std::vector<Pass> passes; // in the order the laundry received them
};

Laundry drawLaundry(Draw &draw, const std::vector<int> &wearerNumbers, const DemoSizes &sizes, int today)
{
    const int firstDay = dayNumber(std::chrono::year(2000) / std::chrono::January / std::chrono::day(1));
    const int lastCreated = std::max(firstDay, today - 14);
    Laundry laundry;
    std::vector<Item> &items = laundry.items;
    items.reserve(static_cast<std::size_t>(sizes.items));
    for (int i = 0; i < sizes.items; ++i) {
        const Article &article = draw.pick(articles);
        items.push_back({wearerNumbers.empty() ? 0 : wearerNumbers[draw.below(static_cast<int>(wearerNumbers.size()))],
                         &article, article.sizes[draw.below(static_cast<int>(article.sizes.size()))],
                         draw.between(firstDay, lastCreated), {}});
    }

    std::vector<Pass> &passes = laundry.passes;
    if (!items.empty()) {
        std::vector<int> perItem(items.size(), 0);
        for (int w = 0; w < sizes.washes; ++w)
            ++perItem[draw.below(static_cast<int>(items.size()))];
        for (std::size_t i = 0; i < items.size(); ++i) {
            std::vector<int> days;
            for (int k = 0; k < perItem[i]; ++k)
                days.push_back(draw.between(items[i].created, today));
            std::sort(days.begin(), days.end());
            for (std::size_t k = 0; k < days.size(); ++k) {
                const bool last = k + 1 == days.size();
                int back = days[k] + draw.between(1, 3);
                if (!last)
                    back = std::min(back, days[k + 1]); // back at the wearer before it comes in again
                Pass pass{static_cast<int>(i), days[k], back, {}, static_cast<int>(k) + 1};
                pass.batch = batchOf(days[k], draw.between(1, 4));
                if (*pass.dispatched > today || (last && draw.chance(3)))
                    pass.dispatched.reset(); // still in the laundry or the sewing room
                passes.push_back(std::move(pass));
            }
        }
    }
    // Wash processes are numbered in the order the laundry received them.
    std::stable_sort(passes.begin(), passes.end(), [](const Pass &a, const Pass &b) { return a.day < b.day; });
    for (std::size_t p = 0; p < passes.size(); ++p)
        items[static_cast<std::size_t>(passes[p].item)].passes.push_back(static_cast<int>(p));
    return laundry;
}

// The items "S000001"..., each with the state of its latest pass.
void fillItems(SqliteDatabase &db, const std::string &customer, Draw &draw, const Laundry &laundry)
{
    SqliteStatement item = db.prepare(
        "INSERT INTO item (customer, waesche_id, traeger_nr, art_nr, artikel, ort, anz_eingang, angelegt, eingang,"
        " ausgang, letzte_charge, groesse, max_wasch) VALUES (:customer, :id, :nr, :art_nr, :artikel, :ort,"
        " :anz, :angelegt, :eingang, :ausgang, :charge, :groesse, :max)");
    for (std::size_t i = 0; i < laundry.items.size(); ++i) {
        const Item &it = laundry.items[i];
        const Pass *last = it.passes.empty() ? nullptr : &laundry.passes[static_cast<std::size_t>(it.passes.back())];
        const char *place = !last || last->dispatched ? (draw.chance(80) ? "Bewohner" : "Wohnbereich")
                                                      : (draw.chance(75) ? "Wäscherei" : "Nähstube");
        item.bind(":customer", std::string_view(customer));
        item.bind(":id", std::string_view(itemIdOf(i)));
        item.bind(":nr", std::int64_t{it.wearer});
        item.bind(":art_nr", std::string_view(it.article->number));
        item.bind(":artikel", std::string_view(it.article->name));
        item.bind(":ort", std::string_view(place));
        item.bind(":anz", static_cast<std::int64_t>(it.passes.size()));
        item.bind(":angelegt", std::string_view(dateOf(it.created)));
        bindDate(item, ":eingang", last ? std::optional<int>(last->day) : std::nullopt);
        bindDate(item, ":ausgang", last ? last->dispatched : std::nullopt);
        item.bind(":charge", std::string_view(last ? last->batch : std::string()));
        item.bind(":groesse", std::string_view(it.size));
        item.bind(":max", std::int64_t{it.article->maxWashes});
        item.step();
        item.reset();
    }
}

// One wash process per pass, numbered from 1.
void fillWashes(SqliteDatabase &db, const std::string &customer, const Laundry &laundry)
{
    SqliteStatement wash = db.prepare(
        "INSERT INTO wash_process (customer, wash_id, waesche_id, anz_eingang, eingang, ausgang, charge)"
        " VALUES (:customer, :id, :item, :anz, :eingang, :ausgang, :charge)");
    for (std::size_t p = 0; p < laundry.passes.size(); ++p) {
        const Pass &pass = laundry.passes[p];
        wash.bind(":customer", std::string_view(customer));
        wash.bind(":id", static_cast<std::int64_t>(p + 1));
        wash.bind(":item", std::string_view(itemIdOf(static_cast<std::size_t>(pass.item))));
        wash.bind(":anz", std::int64_t{pass.number});
        bindDate(wash, ":eingang", pass.day);
        bindDate(wash, ":ausgang", pass.dispatched);
        wash.bind(":charge", std::string_view(pass.batch));
        wash.step();
        wash.reset();
    }
}

void fillCustomer(SqliteDatabase &db, const std::string &customer, int index, const DemoSizes &sizes, int today)
{
    Draw draw(0x504C49564F5241ull + static_cast<std::uint64_t>(index)); // "PLIVORA"
    const std::vector<int> wearerNumbers = fillWearers(db, customer, draw, sizes.wearers);
    const Laundry laundry = drawLaundry(draw, wearerNumbers, sizes, today);
    fillItems(db, customer, draw, laundry);
    fillWashes(db, customer, laundry);
}

} // namespace

std::vector<DemoCustomer> fillDemoData(LaundryStore &store, const DemoSizes &sizes, std::chrono::sys_days today,
                                       int pbkdf2Iterations)
{
    SqliteDatabase &db = store.database();
    SqliteTransaction transaction(db);
    store.createSchema();
    std::vector<DemoCustomer> customers;
    const int todayNumber = static_cast<int>(today.time_since_epoch().count());
    for (int c = 0; c < sizes.customers; ++c) {
        DemoCustomer customer{std::to_string(1001 + c), demoPassword};
        store.setCustomer(customer.number, hashPassword(customer.password, pbkdf2Iterations));
        fillCustomer(db, customer.number, c, sizes, todayNumber);
        customers.push_back(std::move(customer));
    }
    transaction.commit();
    return customers;
}

} // namespace service
