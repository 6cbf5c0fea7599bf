#pragma once

#include "report/ReportTable.h"

#include <QDate>
#include <QRandomGenerator>

// Laundry items as the service sends them: German names with umlauts, articles,
// dates as dd.MM.yyyy, every value at most 20 characters like the print data set's fields.
inline ReportTable laundrySample(int count, quint32 seed = 4711)
{
    static const char16_t *names[] = {u"Müller", u"Schäfer", u"Weiß", u"Köhler", u"Groß", u"Böhm", u"Jürgens",
                                      u"Krüger", u"Hoffmann", u"Schröder", u"Bäcker", u"Öztürk", u"Fuchs", u"Wagner",
                                      u"Schmitz", u"Meißner", u"Lange", u"Günther", u"Strauß", u"Brückner-Lößl"};
    static const char16_t *firstNames[] = {u"Jürgen", u"Käthe", u"Günter", u"Renate", u"Jörg", u"Ursula",
                                           u"Hans-Peter", u"Gisela", u"Bärbel", u"Walter", u"Änne", u"Otto",
                                           u"Hildegard", u"Björn", u"Sören", u"Elfriede", u"Karl-Heinz", u"Lieselotte"};
    static const char16_t *articles[] = {u"Kasack weiß", u"Hose blau", u"Schürze grün", u"Poloshirt grau",
                                         u"Kochjacke weiß", u"Bettlaken 160x200", u"Nachthemd geblümt",
                                         u"Strickjacke beige", u"Bademantel Frottee", u"Unterhemd Feinripp",
                                         u"Socken (Paar)", u"Handtuch groß", u"Waschlappen"};
    static const char16_t *places[] = {u"Wäscherei", u"Ausgabe", u"Station 2", u"Reinigung", u"Lager", u"Bewohner",
                                       u"Nähstube"};
    static const char16_t *sizes[] = {u"S", u"M", u"L", u"XL", u"XXL", u"38", u"42", u"52/54"};
    static const int maxWashes[] = {50, 80, 100, 150};

    QStringList fields;
    for (int i = 1; i <= 15; ++i)
        fields.append(QStringLiteral("Spalte%1").arg(i));
    ReportTable table(fields);
    QRandomGenerator random(seed);
    auto pick = [&random](const auto &list) { return QString::fromUtf16(list[random.bounded(int(std::size(list)))]); };
    auto date = [](const QDate &d) { return d.toString(QStringLiteral("dd.MM.yyyy")); };
    for (int i = 0; i < count; ++i) {
        const int article = random.bounded(int(std::size(articles)));
        const QDate created = QDate(2019, 1, 1).addDays(random.bounded(1800));
        const QDate received = created.addDays(random.bounded(300));
        const QDate sent = received.addDays(1 + random.bounded(6));
        table.appendRecord({
            QStringLiteral("E004%1").arg(random.bounded(100000000), 8, 10, QLatin1Char('0')),
            QString::number(10000 + random.bounded(900)),
            pick(names),
            pick(firstNames),
            QString::number(1001 + article * 7),
            QString::fromUtf16(articles[article]),
            pick(places),
            QString::number(random.bounded(61)),
            date(created),
            date(received),
            QStringLiteral("LA-%1").arg(1 + random.bounded(40)),
            date(sent),
            QStringLiteral("C%1-%2").arg(date(received).remove(QLatin1Char('.'))).arg(1 + random.bounded(9), 2, 10,
                                                                                     QLatin1Char('0')),
            pick(sizes),
            QString::number(maxWashes[random.bounded(4)]),
        });
    }
    return table;
}
