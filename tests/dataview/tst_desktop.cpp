#include "dataview/GridCopy.h"
#include "dataview/SheetLayout.h"
#include "dataview/StringGridModel.h"
#include "dataview/UPlivoraDaten.h"
#include "dataview/widgets/TDateTimePicker.h"
#include "dataview/widgets/TLabeledEdit.h"
#include "dataview/widgets/TShape.h"
#include "dataview/widgets/TStringGrid.h"
#include "exchange/LoginData.h"
#include "exchange/UPlivoraCom.h"
#include "output/PrintComponents.h"
#include "support/DataWindowFixture.h"
#include "support/ScriptedHttpsServer.h"
#include "support/ScrollIntoView.h"
#include "support/WindowTestFixture.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTimer>
#include <QtTest>

using testsupport::ScriptedReply;
Q_DECLARE_METATYPE(testsupport::ScriptedReply)

namespace {

std::string wearerRow(int number, const std::string &name = "Anna")
{
    const std::string n = std::to_string(number);
    return "<tr><td>" + n + "</td><td>M%C3%BCller</td><td>" + name + "</td><td>1a</td><td>7</td><td>Haus</td></tr>";
}

ScriptedReply tableReply(const std::string &rows)
{
    return ScriptedReply::xml("<table>" + rows + "</table>");
}

ScriptedReply countReply(int total)
{
    return tableReply("<tr>" + std::to_string(total) + "</tr>");
}

using testsupport::scrolledIntoView;

// A control larger than the visible part is reachable when both its top-left
// corner and its bottom-right corner (where its own scroll bars are) can be shown.
bool scrolledIntoView(QScrollArea *area, QWidget *control)
{
    const QRect r(control->mapTo(area->widget(), QPoint(0, 0)), control->size());
    const QSize part = r.size().boundedTo(area->viewport()->size());
    return scrolledIntoView(area, QRect(r.topLeft(), part))
        && scrolledIntoView(area, QRect(r.bottomRight() - QPoint(part.width() - 1, part.height() - 1), part));
}

} // namespace

// What a person using the data window all day relies on: keys, copy, the
// list's state in words and a layout that fits the window. The real window
// and exchange object run against the scripted service; ticks are driven by hand.
class TestDesktop : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void copiedText_data();
    void copiedText();
    void gridCopiesSelectionAndChangesNothing();
    void keys_data();
    void keys();
    void statesInWords_data();
    void statesInWords();
    void labelsNamePickersAndGrids();
    void exportOfAPartialListWritesAtOnce();
    void layoutAtWindowSizes_data();
    void layoutAtWindowSizes();

private:
    void showWindow();
    void tick();
    QList<QPushButton *> buttons() const;

    std::unique_ptr<testsupport::DataWindowFixture> m_env;
    TFPlivoraDaten *w = nullptr;
};

void TestDesktop::init()
{
    m_env = std::make_unique<testsupport::DataWindowFixture>();
    w = m_env->window;
}

void TestDesktop::cleanup()
{
    m_env.reset();
    w = nullptr;
}

void TestDesktop::showWindow()
{
    for (int total : {35, 12, 9})
        m_env->server->enqueue(countReply(total));
    w->show();
    QTRY_VERIFY_WITH_TIMEOUT(!w->isShowing(), 30000); // the counts are in
    w->Timer1->stop();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    m_env->server->clearRequests();
}

// One tick, and the outcome of the request it sent (if any) handed back.
void TestDesktop::tick()
{
    w->Timer1Timer();
    QTRY_VERIFY_WITH_TIMEOUT(!FPlivoraCom->exchangeInFlight(), 30000);
}

QList<QPushButton *> TestDesktop::buttons() const
{
    return {w->BitBtnBewLaden, w->BitBtnBewExport, w->BitBtnBewDrucken,
            w->BitBtnWaeLaden, w->BitBtnWaeExport, w->BitBtnWaeDrucken,
            w->BitBtnWaschLaden, w->BitBtnWaschExport, w->BitBtnWaschDruck};
}

using Rows = QList<QStringList>;

void TestDesktop::copiedText_data()
{
    QTest::addColumn<Rows>("cells");          // grid rows, row 0 the headers
    QTest::addColumn<QList<int>>("selected"); // grid rows
    QTest::addColumn<bool>("withHeaders");
    QTest::addColumn<QString>("text");

    const Rows cells{{"Nr", "Name", "Ort"},
                     {"1", "Müller", "Haus A"},
                     {"2", "Tab\there", "x"},
                     {"3", "zwei\nZeilen", "5\" Zoll"},
                     {"4", "", "a\r\nb"},
                     {"", "", ""}};
    QTest::newRow("one row") << cells << QList<int>{1} << false << "1\tMüller\tHaus A\n";
    QTest::newRow("range out of order, with headers")
        << cells << QList<int>{2, 1} << true << "Nr\tName\tOrt\n1\tMüller\tHaus A\n2\t\"Tab\there\"\tx\n";
    QTest::newRow("line break and quote are quoted")
        << cells << QList<int>{3} << false << "3\t\"zwei\nZeilen\"\t\"5\"\" Zoll\"\n";
    QTest::newRow("CR LF inside a cell, empty cell")
        << cells << QList<int>{4} << false << "4\t\t\"a\r\nb\"\n";
    QTest::newRow("headers alone") << cells << QList<int>{} << true << "Nr\tName\tOrt\n";
    QTest::newRow("header row and rows outside are not data") << cells << QList<int>{0, 9, 1, 1} << false
                                                              << "1\tMüller\tHaus A\n";
}

void TestDesktop::copiedText()
{
    QFETCH(Rows, cells);
    QFETCH(QList<int>, selected);
    QFETCH(bool, withHeaders);
    QFETCH(QString, text);

    StringGridModel grid;
    grid.setGridColCount(int(cells.first().size()));
    grid.setGridRowCount(int(cells.size()));
    for (int row = 0; row < cells.size(); ++row)
        for (int col = 0; col < cells[row].size(); ++col)
            grid.setCell(col, row, cells[row][col]);
    QCOMPARE(dataview::copyRowsText(grid, selected, withHeaders), text);
}

// The real grid: Ctrl+C and the context menu's two entries copy the selected
// rows; a lone cell copies its bare text; the grid stays as it was.
void TestDesktop::gridCopiesSelectionAndChangesNothing()
{
    TStringGrid grid;
    grid.setColCount(2);
    grid.setRowCount(5);
    const Rows cells{{"A", "B"}, {"1", "x\ty"}, {"2", "z"}, {"3", "q"}, {"", ""}};
    for (int row = 0; row < 5; ++row)
        for (int col = 0; col < 2; ++col)
            grid.setCell(col, row, cells[row][col]);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    QClipboard *clipboard = QGuiApplication::clipboard();

    grid.selectRow(0); // view rows start after the header: grid rows 1 and 3
    grid.selectionModel()->select(grid.model()->index(2, 0),
                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
    grid.setFocus();
    QTest::keyClick(&grid, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(clipboard->text(), QStringLiteral("1\t\"x\ty\"\n3\tq\n"));

    clipboard->clear();
    grid.copyAction()->trigger();
    QCOMPARE(clipboard->text(), QStringLiteral("1\t\"x\ty\"\n3\tq\n"));
    QCOMPARE(grid.copyAction()->text(), QStringLiteral("Kopieren"));
    QCOMPARE(grid.copyWithHeadersAction()->text(), QStringLiteral("Mit Überschriften kopieren"));
    grid.copyWithHeadersAction()->trigger();
    QCOMPARE(clipboard->text(), QStringLiteral("A\tB\n1\t\"x\ty\"\n3\tq\n"));

    // One column: a selected row is a single cell, copied as its bare text.
    TStringGrid narrow;
    narrow.setColCount(1);
    narrow.setCell(0, 0, QStringLiteral("Kopf"));
    narrow.setCell(0, 1, QStringLiteral("a\tb \"c\""));
    narrow.selectRow(0);
    narrow.copySelection(false);
    QCOMPARE(clipboard->text(), QStringLiteral("a\tb \"c\""));

    for (int row = 0; row < 5; ++row)
        QCOMPARE(grid.rowCells(row), cells[row]);
    QCOMPARE(grid.rowCount(), 5);
}

void TestDesktop::keys_data()
{
    QTest::addColumn<int>("sheet");
    QTest::addColumn<QString>("target"); // object that has the focus
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<int>("pressed"); // index into buttons(), -1 none
    QTest::addColumn<bool>("reloadOff");

    const int none = int(Qt::NoModifier), ctrl = int(Qt::ControlModifier);
    QTest::newRow("Return in TraegerNr") << 0 << "LabeledEditBewNr" << int(Qt::Key_Return) << none << 0 << false;
    QTest::newRow("Enter in Wohnbereich") << 0 << "LabeledEditWohnbereich" << int(Qt::Key_Enter) << none << 0 << false;
    QTest::newRow("Return in Artikel, Wäsche") << 1 << "LabeledEditWaeArtikel" << int(Qt::Key_Return) << none << 3 << false;
    QTest::newRow("Return in a date picker") << 1 << "DateTimePickerWAEEingVor" << int(Qt::Key_Return) << none << 3 << false;
    QTest::newRow("Return in Charge, Waschvorgänge") << 2 << "LabeledEditWaschCharge" << int(Qt::Key_Return) << none << 6 << false;
    QTest::newRow("F5 in the grid, Träger") << 0 << "StringGridBewohner" << int(Qt::Key_F5) << none << 0 << false;
    QTest::newRow("F5, Waschvorgänge") << 2 << "StringGridWaschVG" << int(Qt::Key_F5) << none << 6 << false;
    QTest::newRow("Ctrl+E in a filter field") << 0 << "LabeledEditBewName" << int(Qt::Key_E) << ctrl << 1 << false;
    QTest::newRow("Ctrl+E, Wäsche") << 1 << "StringGridWaesche" << int(Qt::Key_E) << ctrl << 4 << false;
    QTest::newRow("Ctrl+P, Wäsche") << 1 << "LabeledEditWaeName" << int(Qt::Key_P) << ctrl << 5 << false;
    QTest::newRow("Ctrl+P, Waschvorgänge") << 2 << "StringGridWaschVG" << int(Qt::Key_P) << ctrl << 8 << false;
    QTest::newRow("F5 while Neu Laden is off") << 1 << "StringGridWaesche" << int(Qt::Key_F5) << none << -1 << true;
    QTest::newRow("Return while Neu Laden is off") << 1 << "LabeledEditWaeName" << int(Qt::Key_Return) << none << -1 << true;
}

// Each key is a click on its button: the button's own handler runs (the flag,
// file or error box it leaves shows it), and a switched-off button ignores it.
void TestDesktop::keys()
{
    QFETCH(int, sheet);
    QFETCH(QString, target);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(int, pressed);
    QFETCH(bool, reloadOff);

    PrintComponents print; // without a data file: the print handler stops with its error box
    w->Printing = &print;
    auto unhook = qScopeGuard([this] { w->Printing = nullptr; });
    showWindow();
    w->PageControlData->setCurrentIndex(sheet);
    if (reloadOff)
        w->BitBtnWaeLaden->setEnabled(false);
    QList<std::shared_ptr<QSignalSpy>> clicks;
    for (QPushButton *button : buttons())
        clicks << std::make_shared<QSignalSpy>(button, &QAbstractButton::clicked);

    QApplication::setActiveWindow(w);
    QVERIFY(QTest::qWaitForWindowActive(w));
    const QHash<QString, QWidget *> controls{
        {"LabeledEditBewNr", w->LabeledEditBewNr}, {"LabeledEditWohnbereich", w->LabeledEditWohnbereich},
        {"LabeledEditBewName", w->LabeledEditBewName}, {"StringGridBewohner", w->StringGridBewohner},
        {"LabeledEditWaeArtikel", w->LabeledEditWaeArtikel}, {"LabeledEditWaeName", w->LabeledEditWaeName},
        {"DateTimePickerWAEEingVor", w->DateTimePickerWAEEingVor}, {"StringGridWaesche", w->StringGridWaesche},
        {"LabeledEditWaschCharge", w->LabeledEditWaschCharge}, {"StringGridWaschVG", w->StringGridWaschVG}};
    QWidget *focus = controls.value(target);
    QVERIFY2(focus, qPrintable(target));
    focus->setFocus();
    QTest::keyClick(focus, Qt::Key(key), Qt::KeyboardModifiers(modifiers));

    for (int i = 0; i < clicks.size(); ++i)
        QCOMPARE(clicks[i]->count(), i == pressed ? 1 : 0);
    const bool reloads[3] = {w->ReloadBewohner, w->ReloadWaesche, w->ReloadWasch};
    for (int s = 0; s < 3; ++s)
        QCOMPARE(reloads[s], pressed == 3 * s);
    QCOMPARE(QFile::exists(QStringLiteral("Bewohner.csv")), pressed == 1);
    QCOMPARE(QFile::exists(QStringLiteral("Wäsche.csv")), pressed == 4);
    const bool printed = pressed == 2 || pressed == 5 || pressed == 8;
    QCOMPARE(m_env->fixture->messages.size(), printed ? 1 : 0);
    if (printed)
        QVERIFY(m_env->fixture->messages[0].text.contains(QStringLiteral("Fehlender Daten-Provider oder Datenpaket")));
}

void TestDesktop::statesInWords_data()
{
    QTest::addColumn<QList<ScriptedReply>>("replies");
    QTest::addColumn<int>("ticks");
    QTest::addColumn<QString>("words");
    QTest::addColumn<int>("rows");      // rows placed
    QTest::addColumn<bool>("complete");

    auto broken = tableReply(wearerRow(1));
    broken.mode = ScriptedReply::Mode::CloseMidBody;
    QTest::newRow("being prepared") << QList<ScriptedReply>{} << 0 << "Wird vorbereitet" << 0 << false;
    QTest::newRow("loading, partial")
        << QList<ScriptedReply>{tableReply(wearerRow(1) + wearerRow(2) + wearerRow(3)), tableReply(wearerRow(4))}
        << 2 << "Lädt …" << 3 << false;
    QTest::newRow("complete")
        << QList<ScriptedReply>{tableReply(wearerRow(1) + wearerRow(2) + "<tr><td></td></tr>")} << 2
        << "Vollständig geladen" << 2 << true;
    QTest::newRow("paused after a failure")
        << QList<ScriptedReply>{tableReply(wearerRow(1)), broken} << 2
        << "Angehalten – „Neu Laden“ drücken" << 1 << false;
}

// Lamp, counter and the two output buttons say the list's state in words,
// whatever colour the lamp shows, and tell how much a partial list holds.
void TestDesktop::statesInWords()
{
    QFETCH(QList<ScriptedReply>, replies);
    QFETCH(int, ticks);
    QFETCH(QString, words);
    QFETCH(int, rows);
    QFETCH(bool, complete);

    showWindow();
    for (const ScriptedReply &reply : replies)
        m_env->server->enqueue(reply);
    for (int i = 0; i < ticks; ++i)
        tick();

    const QString partial = complete
        ? QString()
        : QStringLiteral("\nListe noch nicht vollständig geladen (%1 Datensätze gelesen)").arg(rows);
    QCOMPARE(w->StringGridBewohner->rowCount(), rows + 2);
    QCOMPARE(w->ShapeStatusBew->toolTip(), words + partial);
    QCOMPARE(w->ShapeStatusBew->accessibleName(), QStringLiteral("Ladezustand: ") + words);
    QCOMPARE(w->ShapeStatusBew->accessibleDescription(), words + partial);
    QVERIFY(w->DatenBew->toolTip().endsWith(words));
    QVERIFY(w->DatenBew->accessibleDescription().endsWith(words));
    QCOMPARE(w->DatenBew->accessibleName(), QStringLiteral("Datensätze"));

    const QString exportPath = QDir::toNativeSeparators(QDir::current().absoluteFilePath(QStringLiteral("Bewohner.csv")));
    const QString printPath = QDir::toNativeSeparators(QDir::current().absoluteFilePath(QStringLiteral("Bewohner.xml")));
    QCOMPARE(w->BitBtnBewExport->toolTip(), QStringLiteral("Export (Strg+E) nach ") + exportPath + partial);
    QCOMPARE(w->BitBtnBewDrucken->toolTip(), QStringLiteral("Drucken (Strg+P), Druckdaten in ") + printPath + partial);
    QCOMPARE(w->BitBtnBewExport->accessibleDescription(), w->BitBtnBewExport->toolTip());
    QVERIFY(w->BitBtnBewLaden->toolTip().contains(QStringLiteral("F5")));

    // Another sheet's list keeps its own state.
    QCOMPARE(w->ShapeStatusWae->accessibleName(), QStringLiteral("Ladezustand: Wird vorbereitet"));
}

void TestDesktop::labelsNamePickersAndGrids()
{
    QCOMPARE(w->DateTimePickerWAEAngNach->accessibleName(), QStringLiteral("Ang. nach"));
    QCOMPARE(w->DateTimePickerWaschEingVor->accessibleName(), QStringLiteral("Eing. vor"));
    QCOMPARE(w->Label12->buddy(), w->DateTimePickerWAEAusgVor);
    QCOMPARE(w->StringGridBewohner->accessibleName(), QStringLiteral("Liste „Träger“"));
    QCOMPARE(w->StringGridWaschVG->accessibleName(), QStringLiteral("Liste „Waschvorgänge“"));
}

// The tooltips only inform: Export of a list still loading writes the rows
// placed so far at once, asking nothing and telling nothing.
void TestDesktop::exportOfAPartialListWritesAtOnce()
{
    showWindow();
    m_env->server->enqueue(tableReply(wearerRow(1) + wearerRow(2)));
    m_env->server->enqueue(tableReply(wearerRow(3)));
    tick();
    tick();
    QVERIFY(!w->NoMoreBew);
    QVERIFY(w->BitBtnBewExport->toolTip().contains(QStringLiteral("(2 Datensätze gelesen)")));
    QTest::mouseClick(w->BitBtnBewExport, Qt::LeftButton);
    QVERIFY(m_env->fixture->messages.isEmpty());
    QVERIFY(!QApplication::activeModalWidget());
    QFile f(QStringLiteral("Bewohner.csv"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll().count("\r\n"), 4); // headers, two records, trailing row
}

void TestDesktop::layoutAtWindowSizes_data()
{
    QTest::addColumn<QSize>("windowSize");
    QTest::newRow("design 1383 x 761") << QSize(1383, 761);
    QTest::newRow("small screen 1000 x 560") << QSize(1000, 560);
    QTest::newRow("large screen 1600 x 1000") << QSize(1600, 1000);
    QTest::newRow("1383 x 761 at 150 %") << QSize(922, 507);
}

// At the design size every control has its place; larger, only the page
// control and the grids grow, keeping their margins to the window's edges;
// smaller, each sheet scrolls and every control can be reached.
void TestDesktop::layoutAtWindowSizes()
{
    QFETCH(QSize, windowSize);
    const QSize design(1383, 761);
    QWidget *const sheets[3] = {w->TabSheetBewohner, w->TabSheetWaesche, w->TabSheetWaschvorgaenge};
    TStringGrid *const grids[3] = {w->StringGridBewohner, w->StringGridWaesche, w->StringGridWaschVG};
    QHash<QWidget *, QRect> placed; // as created, at the design size
    for (QWidget *sheet : sheets)
        for (QWidget *c : sheet->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            placed.insert(c, c->geometry());

    w->resize(windowSize);
    showWindow();
    QCoreApplication::processEvents();
    QCOMPARE(w->size(), windowSize);
    const QSize grown(std::max(0, windowSize.width() - design.width()),
                      std::max(0, windowSize.height() - design.height()));
    QCOMPARE(w->PageControlData->geometry(),
             QRect(8, 20, windowSize.width() - 15, windowSize.height() - 28));

    for (int s = 0; s < 3; ++s) {
        w->PageControlData->setCurrentIndex(s);
        QCoreApplication::processEvents();
        auto *area = qobject_cast<SheetScrollArea *>(w->PageControlData->widget(s));
        QVERIFY(area);
        QCOMPARE(area->sheet(), sheets[s]);
        QCOMPARE(area->horizontalScrollBar()->isVisible(), windowSize.width() < design.width());
        QCOMPARE(area->verticalScrollBar()->isVisible(), windowSize.height() < design.height());
        for (auto it = placed.cbegin(); it != placed.cend(); ++it) {
            QWidget *c = it.key();
            if (c->parentWidget() != sheets[s])
                continue;
            const QRect expected = c == grids[s] ? it.value().adjusted(0, 0, grown.width(), grown.height())
                                                 : it.value();
            QCOMPARE(c->geometry(), expected);
            if (c->isVisibleTo(sheets[s]))
                QVERIFY2(scrolledIntoView(area, c), qPrintable(c->objectName() + c->metaObject()->className()));
        }
        // The grid ends as far from the window's right and bottom edges as at the design size.
        if (windowSize.width() >= design.width()) {
            area->horizontalScrollBar()->setValue(0);
            area->verticalScrollBar()->setValue(0);
            const QPoint end = grids[s]->mapTo(w, QPoint(grids[s]->width(), grids[s]->height()));
            QCOMPARE(windowSize.width() - end.x(), design.width() - (placed[grids[s]].right() + 1) - area->mapTo(w, QPoint()).x());
            QCOMPARE(windowSize.height() - end.y(), design.height() - (placed[grids[s]].bottom() + 1) - area->mapTo(w, QPoint()).y());
        }
    }
}

QTEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
