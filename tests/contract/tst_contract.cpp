// Faults a change to the list table can bring that no single reader would
// notice: two columns on one cell, a cell read but shown nowhere, a key cell
// that would be decoded, the same data encoded in one list and not in another,
// a query whose pairs are missing, doubled or out of their fixed places.

#include "contract/ListContract.h"

#include <QtTest>

#include <map>
#include <set>

using namespace contract;

class TestContract : public QObject
{
    Q_OBJECT

private slots:
    void replyCells_data();
    void replyCells();
    void sharedCaptionsTravelAlike();
    void chunkQuery_data();
    void chunkQuery();
    void sharedParametersMeanTheSame();
};

namespace {

const char *nameOf(List list)
{
    switch (list) {
    case List::Wearers: return "wearers";
    case List::Items: return "items";
    case List::Washes: return "washes";
    }
    return "?";
}

void addListRows()
{
    QTest::addColumn<int>("index");
    for (int i = 0; i < int(std::size(lists)); ++i)
        QTest::newRow(nameOf(lists[i]->list)) << i;
}

QString text(std::string_view s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

} // namespace

void TestContract::replyCells_data()
{
    addListRows();
}

void TestContract::replyCells()
{
    QFETCH(int, index);
    const ListContract &list = *lists[index];
    QCOMPARE(int(list.list), index); // the sheets and the service find a list by its position

    std::set<int> cells;
    std::set<QString> captions;
    for (const Column &column : list.columns) {
        QVERIFY2(column.cell >= 1, qPrintable(text(column.caption)));
        QVERIFY2(cells.insert(column.cell).second, qPrintable("two columns on cell " + QString::number(column.cell)));
        QVERIFY2(captions.insert(text(column.caption)).second, qPrintable(text(column.caption)));
        QVERIFY2(!(column.encoded && column.date), qPrintable(text(column.caption)));
    }
    // Every cell after the key is shown somewhere; the key alone may go without a column.
    for (int cell = keyCell + 1; cell <= list.cellCount(); ++cell)
        QVERIFY2(cells.count(cell), qPrintable("cell " + QString::number(cell) + " is read but shown nowhere"));
    // The key pages the list as it stands in the reply: never decoded, never a date.
    QVERIFY(!list.isEncodedCell(keyCell));
    QVERIFY(!list.isDateCell(keyCell));
}

void TestContract::sharedCaptionsTravelAlike()
{
    // A caption names the same data in every list, so it travels the same way everywhere.
    std::map<QString, std::pair<const Column *, List>> seen;
    for (const ListContract *list : lists) {
        for (const Column &column : list->columns) {
            const auto [it, fresh] = seen.try_emplace(text(column.caption), &column, list->list);
            if (fresh)
                continue;
            const Column &first = *it->second.first;
            const QString where = it->first + ": " + nameOf(it->second.second) + " and " + nameOf(list->list);
            QVERIFY2(first.encoded == column.encoded, qPrintable("encoding differs, " + where));
            QVERIFY2(first.date == column.date, qPrintable("date flag differs, " + where));
        }
    }
}

void TestContract::chunkQuery_data()
{
    addListRows();
}

void TestContract::chunkQuery()
{
    QFETCH(int, index);
    const ListContract &list = *lists[index];
    const std::span<const Parameter> query = list.chunkQuery;

    // The credentials first, as in every request, then the paging key.
    QVERIFY(query.size() > std::size(credentials));
    for (std::size_t i = 0; i < std::size(credentials); ++i)
        QCOMPARE(text(query[i].name), text(credentials[i].name));
    const Parameter &key = query[std::size(credentials)];
    QCOMPARE(text(key.name), text(list.pagingKey.name));
    QVERIFY(key.field == Field::PagingKey);

    std::set<QString> names;
    std::set<Field> fields;
    for (const Parameter &parameter : query) {
        QVERIFY2(names.insert(text(parameter.name)).second, qPrintable("sent twice: " + text(parameter.name)));
        QVERIFY2(fields.insert(parameter.field).second, qPrintable("one field twice: " + text(parameter.name)));
    }

    // The start key must read the way the list's key is sent.
    const QString start = text(list.pagingStart);
    QVERIFY(!start.isEmpty());
    if (list.pagingKey.conversion == Conversion::Decimal) {
        bool isNumber = false;
        start.toInt(&isNumber);
        QVERIFY2(isNumber, qPrintable(start));
    }
}

void TestContract::sharedParametersMeanTheSame()
{
    // One name in two queries is one parameter: the service reads it by name.
    std::map<QString, Parameter> seen;
    for (const ListContract *list : lists) {
        for (const Parameter &parameter : list->chunkQuery) {
            const auto [it, fresh] = seen.try_emplace(text(parameter.name), parameter);
            QVERIFY2(fresh || (it->second.field == parameter.field && it->second.conversion == parameter.conversion),
                     qPrintable(text(parameter.name)));
        }
    }
}

QTEST_GUILESS_MAIN(TestContract)
#include "tst_contract.moc"
