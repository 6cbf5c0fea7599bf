// Appends 100 000 rows of 15 cells the way the loading cycle does (grow by one
// row, then write the 15 cells of the row before the new trailing row, events
// processed every 10 rows like one tick) into a shown TStringGrid with its
// compact row store, into the same grid over the per-cell-string store it
// replaced, and into a QTableWidget with one item per cell, and prints the three
// side by side with ratios. Run with QT_QPA_PLATFORM=offscreen.

#include "PerCellStringModel.h"

#include "dataview/StringGridModel.h"
#include "dataview/widgets/TStringGrid.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
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

TStringGrid *shownGrid()
{
    auto *grid = new TStringGrid;
    grid->resize(1354, 580);
    return grid;
}

// The grid's model and the old store share the grid interface, so one routine drives both.
template <class Model>
Result benchModel(TStringGrid *grid, Model &model)
{
    model.setGridColCount(cols);
    for (int c = 0; c < cols; ++c)
        model.setCell(c, 0, headers.at(c));
    grid->show();
    QCoreApplication::processEvents();
    const Result result = run(
        [&](const QStringList &row) {
            const int n = model.gridRowCount();
            model.setGridRowCount(n + 1);
            for (int c = 0; c < cols; ++c)
                model.setCell(c, n - 1, row.at(c));
        },
        [&] { model.setGridRowCount(2); });
    if (model.gridRowCount() != 2 || model.rowCells(1) != rowTexts(0) || model.cell(5, 0) != headers.at(5))
        std::fprintf(stderr, "the grid holds the wrong rows\n");
    return result;
}

Result benchCompactGrid()
{
    TStringGrid *grid = shownGrid();
    const Result result = benchModel(grid, *grid->gridModel());
    delete grid;
    return result;
}

Result benchPerCellGrid()
{
    TStringGrid *grid = shownGrid();
    auto *model = new PerCellStringModel(grid);
    // The same view with its header and settings, over the old store.
    static_cast<QTableView *>(grid)->setModel(model);
    const Result result = benchModel(grid, *model);
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

double textMiB()
{
    qint64 bytes = 0;
    for (int r = 0; r < rows; ++r)
        for (const QString &text : rowTexts(r))
            bytes += text.toUtf8().size();
    return bytes / 1024.0 / 1024.0;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    // Optional: a smaller row count, and which stores to run ("new", "old", "table",
    // comma-separated; all three by default) for profiling one alone.
    if (argc > 1)
        rows = std::max(2 * window, QByteArray(argv[1]).toInt());
    const QByteArrayList only = argc > 2 ? QByteArray(argv[2]).split(',') : QByteArrayList{"new", "old", "table"};
    settle();

    // The compact grid first, on the freshest heap, so no store is measured in memory another freed.
    const double rss0 = rssMiB();
    const Result compact = only.contains("new") ? benchCompactGrid() : Result();
    settle();
    const double rss1 = rssMiB();
    const Result perCell = only.contains("old") ? benchPerCellGrid() : Result();
    settle();
    const double rss2 = rssMiB();
    const Result table = only.contains("table") ? benchTableWidget() : Result();
    settle();

    std::printf("%d appends of %d cells, events processed every %d rows (offscreen)\n", rows, cols,
                rowsPerTick);
    std::printf("text of the cells as UTF-8: %.1f MiB; goal for the grid: RSS growth <= 24 MiB\n", textMiB());
    std::printf("RSS before: %.1f MiB; after each run freed: %.1f, %.1f, %.1f MiB\n\n", rss0, rss1, rss2,
                rssMiB());
    std::printf("%-36s %14s %14s %14s %9s %9s\n", "", "grid (new)", "per-cell (old)", "QTableWidget", "old/new",
                "QTW/new");
    auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
    auto line = [&](const char *what, double n, double o, double t, const char *unit) {
        std::printf("%-36s %10.2f %-3s %10.2f %-3s %10.2f %-3s %9.2f %9.2f\n", what, n, unit, o, unit, t, unit,
                    ratio(o, n), ratio(t, n));
    };
    auto plain = [&](const char *what, double n, double o, double t) {
        std::printf("%-36s %14.2f %14.2f %14.2f\n", what, n, o, t);
    };
    line("append, rows 0-1000 (mean)", compact.earlyMicros, perCell.earlyMicros, table.earlyMicros, "us");
    line("append, last 1000 rows (mean)", compact.lateMicros, perCell.lateMicros, table.lateMicros, "us");
    plain("late / early (means)", ratio(compact.lateMicros, compact.earlyMicros),
          ratio(perCell.lateMicros, perCell.earlyMicros), ratio(table.lateMicros, table.earlyMicros));
    line("append, rows 0-1000 (median)", compact.earlyMedian, perCell.earlyMedian, table.earlyMedian, "us");
    line("append, last 1000 rows (median)", compact.lateMedian, perCell.lateMedian, table.lateMedian, "us");
    plain("late / early (medians)", ratio(compact.lateMedian, compact.earlyMedian),
          ratio(perCell.lateMedian, perCell.earlyMedian), ratio(table.lateMedian, table.earlyMedian));
    line("events per tick, rows 0-1000 (mean)", compact.earlyTickMillis, perCell.earlyTickMillis,
         table.earlyTickMillis, "ms");
    line("events per tick, last 1000 (mean)", compact.lateTickMillis, perCell.lateTickMillis,
         table.lateTickMillis, "ms");
    line("appends only, total", compact.appendSeconds, perCell.appendSeconds, table.appendSeconds, "s");
    line("appends + event processing, total", compact.totalSeconds, perCell.totalSeconds, table.totalSeconds,
         "s");
    line("RSS growth (VmRSS after - before)", compact.rssGrowthMiB, perCell.rssGrowthMiB, table.rssGrowthMiB,
         "MiB");
    line("cut back to the first rows", compact.cutMillis, perCell.cutMillis, table.cutMillis, "ms");
    return 0;
}
