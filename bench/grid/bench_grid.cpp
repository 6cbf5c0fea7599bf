// Appends 100 000 rows of 15 cells the way the loading cycle does (grow by one
// row, then write the 15 cells of the row before the new trailing row, events
// processed every 10 rows like one tick) into a shown TStringGrid and into a
// QTableWidget with one item per cell, and prints both side by side.
// Run with QT_QPA_PLATFORM=offscreen.

#include "dataview/widgets/TStringGrid.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTableWidget>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

int rows = 100'000;
constexpr int cols = 15;
constexpr int window = 1'000;
constexpr int rowsPerTick = 10;

double rssMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return -1;
}

// Cell texts of one laundry row; every cell holds a string of its own.
QStringList rowTexts(int r)
{
    const QString n = QString::number(r);
    QStringList texts{QStringLiteral("S%1").arg(r, 6, 10, QLatin1Char('0')), QString::number(r % 900 + 100),
            QStringLiteral("Müller") + n, QStringLiteral("Jürgen"), QStringLiteral("4711"),
            QStringLiteral("Kasack weiß Gr. ") + n.right(2), QStringLiteral("Wäscherei Süd"),
            QString::number(r % 97), QStringLiteral("01.02.2021"), QStringLiteral("03.04.2022"),
            QStringLiteral("12"), QStringLiteral("05.06.2023"), QStringLiteral("C") + n,
            QStringLiteral("XL"), QStringLiteral("50")};
    // Texts read from a reply are each allocated; literals would be shared static data.
    for (QString &text : texts)
        text = QString(text.constData(), text.size());
    return texts;
}

double medianMicros(std::vector<qint64> values)
{
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2] / 1e3;
}

struct Result
{
    double earlyMicros = 0;  // mean per append, rows 0 .. 999
    double lateMicros = 0;   // mean per append, the last 1000 rows
    double earlyMedian = 0;  // the same as medians, which one-off spikes (a buffer doubling) do not move
    double lateMedian = 0;
    double appendSeconds = 0;
    double totalSeconds = 0; // appends plus event processing, both timed
    double earlyTickMillis = 0; // mean event processing per tick, rows 0 .. 999
    double lateTickMillis = 0;  // the same for the last 1000 rows
    double rssGrowthMiB = 0;
    double cutMillis = 0;    // back to header + one row, as a new load does
};

// Each row's texts are made just before its append and left to the grid, so the
// cells own their strings as they do after a reply has been read; making them is not timed.
Result run(const std::function<void(const QStringList &)> &append, const std::function<void()> &cut)
{
    Result result;
    const double rssBefore = rssMiB();
    qint64 tickNanos = 0;
    qint64 appendNanos = 0, earlyNanos = 0, lateNanos = 0, earlyTickNanos = 0, lateTickNanos = 0;
    std::vector<qint64> early, late;
    early.reserve(window);
    late.reserve(window);
    QElapsedTimer timer;
    for (int r = 0; r < rows; ++r) {
        const QStringList texts = rowTexts(r);
        timer.start();
        append(texts);
        const qint64 ns = timer.nsecsElapsed();
        appendNanos += ns;
        if (r < window) {
            earlyNanos += ns;
            early.push_back(ns);
        } else if (r >= rows - window) {
            lateNanos += ns;
            late.push_back(ns);
        }
        if (r % rowsPerTick == rowsPerTick - 1) {
            timer.start();
            QCoreApplication::processEvents();
            const qint64 tick = timer.nsecsElapsed();
            tickNanos += tick;
            if (r < window)
                earlyTickNanos += tick;
            else if (r >= rows - window)
                lateTickNanos += tick;
        }
    }
    timer.start();
    QCoreApplication::processEvents();
    tickNanos += timer.nsecsElapsed();
    result.totalSeconds = (appendNanos + tickNanos) / 1e9;
    result.appendSeconds = appendNanos / 1e9;
    result.earlyMicros = earlyNanos / 1e3 / window;
    result.lateMicros = lateNanos / 1e3 / window;
    result.earlyMedian = medianMicros(early);
    result.lateMedian = medianMicros(late);
    result.earlyTickMillis = earlyTickNanos / 1e6 / (window / rowsPerTick);
    result.lateTickMillis = lateTickNanos / 1e6 / (window / rowsPerTick);
    result.rssGrowthMiB = rssMiB() - rssBefore;
    timer.start();
    cut();
    QCoreApplication::processEvents();
    result.cutMillis = timer.nsecsElapsed() / 1e6;
    return result;
}

const QStringList headers{"WaescheID", "TraegerNr", "Name", "Vorname", "ArtNr", "Artikel", "Ort",
                          "AnzEingang", "Angelegt", "Eingang", "LieferAdrID", "Ausgang",
                          "LetzteCharge", "Groesse", "MaxWasch"};

Result benchStringGrid()
{
    auto *grid = new TStringGrid;
    grid->resize(1354, 580);
    grid->setColCount(cols);
    for (int c = 0; c < cols; ++c)
        grid->setCell(c, 0, headers.at(c));
    grid->show();
    QCoreApplication::processEvents();
    const Result result = run(
        [&](const QStringList &row) {
            const int n = grid->rowCount();
            grid->setRowCount(n + 1);
            for (int c = 0; c < cols; ++c)
                grid->setCell(c, n - 1, row.at(c));
        },
        [&] { grid->setRowCount(2); });
    if (grid->rowCount() != 2 || grid->cell(0, 1) != rowTexts(0).at(0))
        std::fprintf(stderr, "TStringGrid holds the wrong rows\n");
    delete grid;
    return result;
}

Result benchTableWidget()
{
    auto *table = new QTableWidget;
    table->resize(1354, 580);
    table->setColumnCount(cols);
    table->setHorizontalHeaderLabels(headers);
    table->setRowCount(1);
    table->show();
    QCoreApplication::processEvents();
    const Result result = run(
        [&](const QStringList &row) {
            const int n = table->rowCount();
            table->setRowCount(n + 1);
            for (int c = 0; c < cols; ++c)
                table->setItem(n - 1, c, new QTableWidgetItem(row.at(c)));
        },
        [&] { table->setRowCount(1); });
    delete table;
    return result;
}

void settle()
{
    QCoreApplication::processEvents();
    malloc_trim(0);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    // Optional: a smaller row count and "grid" to run the string grid alone (for profiling).
    if (argc > 1)
        rows = std::max(2 * window, QByteArray(argv[1]).toInt());
    const bool gridOnly = argc > 2 && QByteArray(argv[2]) == "grid";
    settle();

    const double rss0 = rssMiB();
    const Result grid = benchStringGrid();
    settle();
    const double rss1 = rssMiB();
    const Result table = gridOnly ? Result() : benchTableWidget();
    settle();

    std::printf("%d appends of %d cells, events processed every %d rows (offscreen)\n", rows, cols,
                rowsPerTick);
    std::printf("RSS before: %.1f MiB; after TStringGrid freed: %.1f MiB\n\n", rss0, rss1);
    std::printf("%-36s %14s %14s %12s\n", "", "TStringGrid", "QTableWidget", "QTW / grid");
    auto line = [](const char *what, double a, double b, const char *unit) {
        std::printf("%-36s %10.2f %-3s %10.2f %-3s %11.2f\n", what, a, unit, b, unit, a > 0 ? b / a : 0.0);
    };
    line("append, rows 0-1000 (mean)", grid.earlyMicros, table.earlyMicros, "us");
    line("append, last 1000 rows (mean)", grid.lateMicros, table.lateMicros, "us");
    std::printf("%-36s %14.2f %14.2f\n", "late / early (means)", grid.lateMicros / grid.earlyMicros,
                table.lateMicros / table.earlyMicros);
    line("append, rows 0-1000 (median)", grid.earlyMedian, table.earlyMedian, "us");
    line("append, last 1000 rows (median)", grid.lateMedian, table.lateMedian, "us");
    std::printf("%-36s %14.2f %14.2f\n", "late / early (medians)", grid.lateMedian / grid.earlyMedian,
                table.lateMedian / table.earlyMedian);
    line("events per tick, rows 0-1000 (mean)", grid.earlyTickMillis, table.earlyTickMillis, "ms");
    line("events per tick, last 1000 (mean)", grid.lateTickMillis, table.lateTickMillis, "ms");
    line("appends only, total", grid.appendSeconds, table.appendSeconds, "s");
    line("appends + event processing, total", grid.totalSeconds, table.totalSeconds, "s");
    line("RSS growth (VmRSS after - before)", grid.rssGrowthMiB, table.rssGrowthMiB, "MiB");
    line("cut back to the first rows", grid.cutMillis, table.cutMillis, "ms");
    return 0;
}
