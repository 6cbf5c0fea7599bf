#include "dataview/widgets/ColumnWidthFile.h"
#include "dataview/StringGridModel.h"
#include "dataview/widgets/TDateTimePicker.h"
#include "dataview/widgets/TLabeledEdit.h"
#include "dataview/widgets/TShape.h"
#include "dataview/widgets/TStringGrid.h"

#include <QAbstractItemModelTester>
#include <QFile>
#include <QLabel>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

using dataview::applyWidthFile;

namespace {

// A grid on screen with headers and `records` records, the way the loading cycle leaves it.
void fill(TStringGrid &grid, const QStringList &headers, int records)
{
    grid.setColCount(int(headers.size()));
    for (int col = 0; col < headers.size(); ++col)
        grid.setCell(col, 0, headers.at(col));
    for (int r = 1; r <= records; ++r) {
        grid.setRowCount(grid.rowCount() + 1);
        for (int col = 0; col < grid.colCount(); ++col)
            grid.setCell(col, r, QStringLiteral("r%1c%2").arg(r).arg(col));
    }
}

QPoint cellCentre(const TStringGrid &grid, int col, int row)
{
    return grid.visualRect(grid.gridModel()->index(row - 1, col)).center();
}

QByteArray utf16(const QString &text, QStringConverter::Encoding encoding)
{
    QStringEncoder encoder(encoding, QStringConverter::Flag::WriteBom);
    return encoder.encode(text);
}

} // namespace

class TestWidgets : public QObject
{
    Q_OBJECT

private slots:
    // string grid
    void freshGridHasHeaderAndOneEmptyRow();
    void modelStaysConsistentWhileGrowingCuttingAndWriting();
    void cuttingDropsRowsAndGrowingAddsEmptyOnes();
    void readsOutsideTheGridAreEmpty_data();
    void readsOutsideTheGridAreEmpty();
    void cellsKeepTheirExactText_data();
    void cellsKeepTheirExactText();
    void modelMatchesAPlainStoreUnderRandomEdits();
    void columnWidths();
    void userDragsAColumnWidth();
    void headerRowIsSkyBlueFixedAndNeverSelected();
    void cellsAreReadOnly();
    void rowsAreSelectedWholeAndInRanges();
    void rowHeightStaysFixedWhateverTheFont();

    // labelled edit
    void labelSitsAboveTheEditAndFollowsIt();
    void labelSharesVisibilityEnabledStateAndLifetime();
    void passwordShowsStars();

    // date picker
    void pickerShowsGermanShortDateWhateverTheLocale();

    // status lamp
    void lampStaysASquareDisc();
    void lampPaintsItsPenColour_data();
    void lampPaintsItsPenColour();

    // column-width files
    void widthFileBytesAreExact();
    void applyWidthFile_data();
    void applyWidthFile();
    void widthFileRoundTripAndMissingFile();
    void unreadableWidthFileRaises();
};

void TestWidgets::freshGridHasHeaderAndOneEmptyRow()
{
    TStringGrid grid;
    QCOMPARE(grid.rowCount(), 2);
    QCOMPARE(grid.gridModel()->rowCount(), 1); // the view sees only the data row
    QCOMPARE(grid.rowCells(0), QStringList(grid.colCount(), QString()));
    QCOMPARE(grid.rowCells(1), QStringList(grid.colCount(), QString()));
    for (int col = 0; col < grid.colCount(); ++col)
        QCOMPARE(grid.colWidth(col), 64);

    grid.setRowCount(0);
    QCOMPARE(grid.rowCount(), 1); // the header row always remains
    grid.setColCount(0);
    QCOMPARE(grid.colCount(), 1);
}

void TestWidgets::modelStaysConsistentWhileGrowingCuttingAndWriting()
{
    TStringGrid grid;
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    StringGridModel *model = grid.gridModel();
    QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy inserted(model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy changed(model, &QAbstractItemModel::dataChanged);
    QSignalSpy headerChanged(model, &QAbstractItemModel::headerDataChanged);
    QSignalSpy reset(model, &QAbstractItemModel::modelAboutToBeReset);
    QSignalSpy layout(model, &QAbstractItemModel::layoutAboutToBeChanged);

    grid.setColCount(15);
    grid.setCell(3, 0, QStringLiteral("Vorname"));
    QCOMPARE(headerChanged.count(), 1);
    QCOMPARE(headerChanged.at(0), (QVariantList{QVariant::fromValue(Qt::Horizontal), 3, 3}));
    QCOMPARE(model->headerData(3, Qt::Horizontal).toString(), QStringLiteral("Vorname"));
    QVERIFY(changed.isEmpty()); // the header row is no data row of the view

    // Append like the loading cycle: one more row, then its cells.
    for (int r = 2; r < 60; ++r) {
        inserted.clear();
        changed.clear();
        grid.setRowCount(r + 1);
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(inserted.at(0).at(1).toInt(), r - 1); // view row of grid row r
        QCOMPARE(inserted.at(0).at(2).toInt(), r - 1);
        for (int col = 0; col < 15; ++col)
            grid.setCell(col, r - 1, QStringLiteral("%1/%2").arg(r - 1).arg(col));
        QCOMPARE(changed.count(), 15);
        const auto topLeft = changed.at(14).at(0).value<QModelIndex>();
        QCOMPARE(topLeft.row(), r - 2);
        QCOMPARE(topLeft.column(), 14);
        QCOMPARE(topLeft.data().toString(), QStringLiteral("%1/14").arg(r - 1));
    }
    QCOMPARE(grid.rowCount(), 60);

    changed.clear();
    grid.clearRow(5);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).value<QModelIndex>(), model->index(4, 0));
    QCOMPARE(changed.at(0).at(1).value<QModelIndex>(), model->index(4, 14));
    QCOMPARE(grid.rowCells(5), QStringList(15, QString()));

    grid.setRowCount(2);
    QCOMPARE(removed.count(), 1);
    QCOMPARE(removed.at(0).at(1).toInt(), 1);
    QCOMPARE(removed.at(0).at(2).toInt(), 58);
    grid.setColCount(6);
    grid.setColCount(8);
    QCOMPARE(reset.count(), 0);
    QCOMPARE(layout.count(), 0);
}

void TestWidgets::cuttingDropsRowsAndGrowingAddsEmptyOnes()
{
    TStringGrid grid;
    fill(grid, {QStringLiteral("TraegerNr"), QStringLiteral("Name")}, 3);
    QCOMPARE(grid.rowCount(), 5); // header, 3 records, trailing row
    QCOMPARE(grid.rowCells(0), (QStringList{QStringLiteral("TraegerNr"), QStringLiteral("Name")}));
    QCOMPARE(grid.rowCells(3), (QStringList{QStringLiteral("r3c0"), QStringLiteral("r3c1")}));

    grid.setRowCount(2);
    QCOMPARE(grid.cell(1, 0), QStringLiteral("Name"));
    QCOMPARE(grid.cell(0, 1), QStringLiteral("r1c0")); // row 1 stays; the loading cycle clears it itself
    QCOMPARE(grid.cell(0, 2), QString());
    grid.setRowCount(4);
    QCOMPARE(grid.rowCells(2), QStringList(2, QString()));
    QCOMPARE(grid.rowCells(3), QStringList(2, QString()));

    // Fewer columns cut the texts; more columns bring empty cells, not old texts back.
    grid.setColCount(1);
    QCOMPARE(grid.rowCells(0), QStringList{QStringLiteral("TraegerNr")});
    grid.setColCount(2);
    QCOMPARE(grid.cell(1, 0), QString());

    // Writes outside the grid change nothing.
    QSignalSpy changed(grid.gridModel(), &QAbstractItemModel::dataChanged);
    grid.setCell(2, 1, QStringLiteral("x"));
    grid.setCell(0, 4, QStringLiteral("x"));
    grid.setCell(-1, 1, QStringLiteral("x"));
    QVERIFY(changed.isEmpty());
    QCOMPARE(grid.colCount(), 2);
    QCOMPARE(grid.rowCount(), 4);
}

void TestWidgets::readsOutsideTheGridAreEmpty_data()
{
    QTest::addColumn<int>("col");
    QTest::addColumn<int>("row");
    QTest::newRow("column past the end") << 2 << 1;
    QTest::newRow("row past the end") << 0 << 3;
    QTest::newRow("negative column") << -1 << 0;
    QTest::newRow("negative row") << 0 << -1;
}

void TestWidgets::readsOutsideTheGridAreEmpty()
{
    QFETCH(int, col);
    QFETCH(int, row);
    TStringGrid grid;
    fill(grid, {QStringLiteral("A"), QStringLiteral("B")}, 1);
    QCOMPARE(grid.cell(col, row), QString());
    if (row < 0 || row >= grid.rowCount())
        QCOMPARE(grid.rowCells(row), QStringList());
}

void TestWidgets::cellsKeepTheirExactText_data()
{
    QTest::addColumn<QString>("text");
    auto ucs4 = [](char32_t c) { return QString::fromUcs4(&c, 1); };
    QTest::newRow("ascii") << QStringLiteral("S004711");
    QTest::newRow("umlauts") << QStringLiteral("Wäscherei Süd, Größe ß");
    QTest::newRow("cjk and emoji") << (QStringLiteral("洗濯 ") + ucs4(U'\U0001F9FA') + ucs4(U'\U0010FFFD'));
    QTest::newRow("noncharacters") << (ucs4(U'\uFFFE') + ucs4(U'\uFFFF') + ucs4(U'\uFDD0'));
    QTest::newRow("leading byte-order marks") << (QString(2, QChar(0xFEFF)) + QStringLiteral("a"));
    QTest::newRow("NUL and controls") << QString::fromUtf16(u"a\0b\r\n\t", 6);
    QTest::newRow("lone high surrogate") << QString::fromUtf16(u"x\xD83Dy", 3);
    QTest::newRow("lone low surrogate at end") << QString::fromUtf16(u"Müller\xDE00", 7);
    QTest::newRow("pair reversed") << QString::fromUtf16(u"\xDE00\xD83D", 2);
    QTest::newRow("over 255 bytes") << QStringLiteral("ä").repeated(200);
    QTest::newRow("over 65535 bytes") << QStringLiteral("Kasack weiß ").repeated(6000);
}

void TestWidgets::cellsKeepTheirExactText()
{
    QFETCH(QString, text);
    StringGridModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setGridColCount(4);
    model.setGridRowCount(4);
    const QString umlaut = QStringLiteral("Jürgen");
    for (int row : {0, 2}) {
        // Out of order, between neighbours, overwritten longer and shorter and then emptied.
        model.setCell(3, row, umlaut);
        model.setCell(1, row, text);
        model.setCell(0, row, QStringLiteral("S1"));
        const QStringList expected{QStringLiteral("S1"), text, QString(), umlaut};
        QCOMPARE(model.rowCells(row), expected);
        QCOMPARE(model.cell(1, row), text);
        QCOMPARE(model.cell(1, row).size(), text.size());

        model.setCell(0, row, text + text);
        model.setCell(3, row, QStringLiteral("5"));
        QCOMPARE(model.rowCells(row), (QStringList{text + text, text, QString(), QStringLiteral("5")}));
        model.setCell(0, row, QString());
        model.setCell(3, row, QString());
        QCOMPARE(model.rowCells(row), (QStringList{QString(), text, QString(), QString()}));
    }
    QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), text);
    QCOMPARE(model.data(model.index(1, 1)).toString(), text);
    QCOMPARE(model.rowCells(1), QStringList(4, QString()));
    QCOMPARE(model.rowCells(3), QStringList(4, QString()));

    // A row that held the text keeps its neighbours' texts when the text leaves it.
    model.setCell(2, 2, umlaut);
    model.setCell(1, 2, QStringLiteral("x"));
    QCOMPARE(model.rowCells(2), (QStringList{QString(), QStringLiteral("x"), umlaut, QString()}));
}

// Random writes, clears, cuts and growths against a plain list of strings per row.
void TestWidgets::modelMatchesAPlainStoreUnderRandomEdits()
{
    StringGridModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    std::vector<QStringList> plain(2, QStringList(5));
    const QStringList texts{QString(), QStringLiteral("7"), QStringLiteral("Müller-Lüdenscheidt"),
                            QStringLiteral("漢字"), QString::fromUtf16(u"\xD83D\xDE00!", 3),
                            QString::fromUtf16(u"\xD83D", 1), QString(QChar(0xFEFF)),
                            QStringLiteral("long ").repeated(60)};
    QRandomGenerator random(12);
    auto pick = [&](int bound) { return int(random.bounded(bound)); };
    for (int step = 0; step < 4000; ++step) {
        const int rows = int(plain.size());
        const int cols = int(plain.front().size());
        const int action = pick(105);
        if (action >= 100) {
            const int row = pick(rows + 1);
            QStringList cells;
            for (int i = pick(cols + 3); i > 0; --i)
                cells << texts.at(pick(int(texts.size())));
            model.setRowCells(row, cells);
            if (row < rows) {
                QStringList expected = cells.mid(0, cols);
                expected.resize(cols);
                plain[size_t(row)] = expected;
            }
        } else if (action < 75) {
            const int col = pick(cols + 1) - (pick(20) == 0 ? 1 : 0);
            const int row = pick(rows + 1);
            const QString text = texts.at(pick(int(texts.size()))) + (pick(3) == 0 ? QString::number(step) : QString());
            model.setCell(col, row, text);
            if (col >= 0 && col < cols && row < rows)
                plain[size_t(row)][col] = text;
        } else if (action < 83) {
            const int row = pick(rows);
            model.clearRow(row);
            plain[size_t(row)] = QStringList(cols);
        } else if (action < 95) {
            const int count = std::max(1, rows + pick(9) - 5);
            model.setGridRowCount(count);
            plain.resize(size_t(count), QStringList(cols));
        } else {
            const int count = std::max(1, cols + pick(5) - 2);
            model.setGridColCount(count);
            for (QStringList &cells : plain)
                cells.resize(count);
        }
        QCOMPARE(model.gridRowCount(), int(plain.size()));
        QCOMPARE(model.gridColCount(), int(plain.front().size()));
        if (step % 50 == 0 || action >= 75) {
            for (int row = 0; row < int(plain.size()); ++row)
                QCOMPARE(model.rowCells(row), plain[size_t(row)]);
        }
    }
}

void TestWidgets::columnWidths()
{
    TStringGrid grid;
    grid.setColCount(3);
    grid.setColWidth(0, 120);
    grid.setColWidth(1, 0);
    grid.setColWidth(2, -5);
    QCOMPARE(grid.colWidths(), (QList<int>{120, 0, 0}));
    QVERIFY(!grid.horizontalHeader()->isSectionHidden(1)); // a zero width is a width, not a hidden column
    grid.setColWidth(1, 30);
    grid.setColWidth(2, 1000000);
    QCOMPARE(grid.colWidths(), (QList<int>{120, 30, TStringGrid::maxColWidth()}));

    grid.setColCount(5);
    QCOMPARE(grid.colWidth(3), 64);
    QCOMPARE(grid.colWidth(4), 64);
    QCOMPARE(grid.colWidth(5), 0);
    QCOMPARE(grid.colWidth(-1), 0);
    grid.setColWidth(7, 10); // no such column: nothing to set
    QCOMPARE(grid.colWidths(), (QList<int>{120, 30, TStringGrid::maxColWidth(), 64, 64}));
}

void TestWidgets::userDragsAColumnWidth()
{
    TStringGrid grid;
    grid.resize(600, 300);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    QHeaderView *header = grid.horizontalHeader();
    const int border = header->sectionViewportPosition(0) + header->sectionSize(0) - 1;
    QWidget *area = header->viewport();
    QTest::mousePress(area, Qt::LeftButton, {}, QPoint(border, 12));
    QTest::mouseMove(area, QPoint(border + 40, 12));
    QTest::mouseRelease(area, Qt::LeftButton, {}, QPoint(border + 40, 12));
    QCOMPARE(grid.colWidth(0), 104);
    QCOMPARE(grid.colWidth(1), 64);

    // Dragging a section's middle does not move the column.
    QTest::mousePress(area, Qt::LeftButton, {}, QPoint(130, 12));
    QTest::mouseMove(area, QPoint(400, 12));
    QTest::mouseRelease(area, Qt::LeftButton, {}, QPoint(400, 12));
    QCOMPARE(header->visualIndex(1), 1);
}

void TestWidgets::headerRowIsSkyBlueFixedAndNeverSelected()
{
    TStringGrid grid;
    grid.resize(400, 200);
    fill(grid, {QStringLiteral("Nr"), QStringLiteral("Größe"), QStringLiteral("C")}, 50);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    QHeaderView *header = grid.horizontalHeader();
    QCOMPARE(header->height(), 24);
    QCOMPARE(grid.viewport()->mapTo(&grid, QPoint(0, 0)).y() - header->mapTo(&grid, QPoint(0, 0)).y(), 24);

    // Scrolled to the end, the header still shows row 0 on sky blue; the viewport shows no header text.
    grid.scrollToBottom();
    QCoreApplication::processEvents();
    QVERIFY(grid.rowAt(0) > 0);
    const QImage image = grid.grab().toImage();
    const QPoint headerSpot = header->mapTo(&grid, QPoint(58, 12));
    QCOMPARE(image.pixelColor(headerSpot), TStringGrid::headerColor());
    const QPoint cellSpot = grid.viewport()->mapTo(&grid, QPoint(58, 12));
    QVERIFY(image.pixelColor(cellSpot) != TStringGrid::headerColor());
    // The header's grid lines are the table's, and the ground right of the last column is the rows' ground.
    const int lineX = header->sectionSize(0) - 1;
    QCOMPARE(image.pixelColor(header->mapTo(&grid, QPoint(lineX, 12))),
             image.pixelColor(grid.viewport()->mapTo(&grid, QPoint(lineX, 12))));
    const int past = header->sectionViewportPosition(2) + header->sectionSize(2) + 20;
    QCOMPARE(image.pixelColor(header->mapTo(&grid, QPoint(past, 12))), grid.palette().color(QPalette::Base));
    QCOMPARE(grid.gridModel()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Größe"));

    // A click into the header selects nothing, neither a column nor row 0.
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(30, 12));
    QVERIFY(!grid.selectionModel()->hasSelection());
}

void TestWidgets::cellsAreReadOnly()
{
    TStringGrid grid;
    fill(grid, {QStringLiteral("A"), QStringLiteral("B")}, 2);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    const QModelIndex index = grid.gridModel()->index(0, 1);
    QVERIFY(!(grid.gridModel()->flags(index) & Qt::ItemIsEditable));

    QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, cellCentre(grid, 1, 1));
    grid.setCurrentIndex(index);
    QTest::keyClick(grid.viewport(), Qt::Key_F2);
    QTest::keyClicks(grid.viewport(), QStringLiteral("zz"));
    QVERIFY(!grid.viewport()->findChild<QLineEdit *>());
    QCOMPARE(grid.cell(1, 1), QStringLiteral("r1c1"));
}

void TestWidgets::rowsAreSelectedWholeAndInRanges()
{
    TStringGrid grid;
    grid.resize(500, 400);
    fill(grid, {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}, 6);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    QItemSelectionModel *selection = grid.selectionModel();
    auto selectedRows = [&] {
        QList<int> rows;
        for (const QModelIndex &index : selection->selectedRows())
            rows << index.row() + 1; // grid rows
        std::sort(rows.begin(), rows.end());
        return rows;
    };

    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, cellCentre(grid, 1, 2));
    QCOMPARE(selectedRows(), QList<int>{2});
    QCOMPARE(selection->selectedIndexes().size(), 3); // every column of the row

    QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::ShiftModifier, cellCentre(grid, 0, 4));
    QCOMPARE(selectedRows(), (QList<int>{2, 3, 4}));

    QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::ControlModifier, cellCentre(grid, 2, 6));
    QCOMPARE(selectedRows(), (QList<int>{2, 3, 4, 6}));

    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, cellCentre(grid, 2, 1));
    QCOMPARE(selectedRows(), QList<int>{1});
}

void TestWidgets::rowHeightStaysFixedWhateverTheFont()
{
    TStringGrid grid;
    fill(grid, {QStringLiteral("A")}, 3);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(16);
    grid.setFont(font);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    QCOMPARE(grid.horizontalHeader()->font().pixelSize(), 16);
    QCOMPARE(grid.horizontalHeader()->height(), 24);
    for (int row = 0; row < 3; ++row)
        QCOMPARE(grid.rowHeight(row), 24);

    font.setPixelSize(30);
    grid.setFont(font);
    QCoreApplication::processEvents();
    QCOMPARE(grid.rowHeight(1), 24);
    QCOMPARE(grid.horizontalHeader()->height(), 24);

    // Rows cannot be resized by the user.
    QCOMPARE(grid.verticalHeader()->sectionResizeMode(0), QHeaderView::Fixed);
}

void TestWidgets::labelSitsAboveTheEditAndFollowsIt()
{
    QWidget sheet;
    sheet.resize(400, 200);
    TLabeledEdit edit(QStringLiteral("TraegerNr"), &sheet);
    edit.setGeometry(8, 60, 98, 27);
    sheet.show();
    QVERIFY(QTest::qWaitForWindowExposed(&sheet));

    QLabel *label = edit.label();
    QCOMPARE(label->parentWidget(), &sheet);
    QCOMPARE(label->text(), QStringLiteral("TraegerNr"));
    const int h = label->height();
    QVERIFY(h > 0);
    QCOMPARE(label->pos(), QPoint(8, 60 - h - 3));
    QVERIFY(label->isVisible());

    edit.setGeometry(112, 90, 98, 27);
    QCOMPARE(label->pos(), QPoint(112, 90 - h - 3));

    edit.setLabelCaption(QStringLiteral("Ein längerer Titel"));
    QCOMPARE(edit.labelCaption(), QStringLiteral("Ein längerer Titel"));
    QVERIFY(label->width() >= label->fontMetrics().horizontalAdvance(edit.labelCaption()));

    QFont big = sheet.font();
    big.setPixelSize(30);
    sheet.setFont(big);
    QVERIFY(label->height() > h);
    QCOMPARE(label->pos(), QPoint(112, 90 - label->height() - 3));
}

void TestWidgets::labelSharesVisibilityEnabledStateAndLifetime()
{
    QWidget sheet;
    auto *hidden = new TLabeledEdit(QStringLiteral("ArtNr"), &sheet);
    hidden->setVisible(false);
    auto *counter = new TLabeledEdit(QStringLiteral("Datensätze"), &sheet);
    counter->setEnabled(false);
    counter->setFlat(true);
    sheet.show();
    QVERIFY(QTest::qWaitForWindowExposed(&sheet));

    QVERIFY(!hidden->label()->isVisible());
    hidden->show();
    QVERIFY(hidden->label()->isVisible());
    hidden->hide();
    QVERIFY(!hidden->label()->isVisible());

    QVERIFY(!counter->label()->isEnabled());
    QVERIFY(!counter->hasFrame());
    counter->setText(QStringLiteral("0 / 12"));
    QTest::keyClicks(counter, QStringLiteral("99"));
    QCOMPARE(counter->text(), QStringLiteral("0 / 12"));
    counter->setEnabled(true);
    QVERIFY(counter->label()->isEnabled());

    // The label moves with the edit to another parent and dies with it.
    QWidget other;
    counter->setParent(&other);
    QCOMPARE(counter->label()->parentWidget(), &other);
    other.show();
    QVERIFY(QTest::qWaitForWindowExposed(&other));
    QVERIFY(counter->isVisible());
    QVERIFY(counter->label()->isVisible());
    QPointer<QLabel> label = counter->label();
    delete counter;
    QVERIFY(label.isNull());
}

void TestWidgets::passwordShowsStars()
{
    TLabeledEdit edit(QStringLiteral("Passwort"), nullptr);
    edit.setPasswordStars(true);
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&edit));
    QVERIFY(!edit.label()->isVisible()); // no parent, no place for the label
    QTest::keyClicks(&edit, QStringLiteral("geh3im"));
    QCOMPARE(edit.text(), QStringLiteral("geh3im"));
    QCOMPARE(edit.displayText(), QStringLiteral("******"));
    edit.setPasswordStars(false);
    QCOMPARE(edit.displayText(), QStringLiteral("geh3im"));
}

void TestWidgets::pickerShowsGermanShortDateWhateverTheLocale()
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    TDateTimePicker picker;
    QLocale::setDefault(previous);
    QVERIFY(picker.calendarPopup());

    picker.setDate(QDate(2000, 1, 1));
    QCOMPARE(picker.text(), QStringLiteral("01.01.2000"));
    QCOMPARE(picker.dateText(), QStringLiteral("01.01.2000"));

    picker.setDateTime(QDateTime(QDate(2023, 5, 7), QTime(23, 45, 10)));
    QCOMPARE(picker.date(), QDate(2023, 5, 7));
    QCOMPARE(picker.dateText(), QStringLiteral("07.05.2023"));

    picker.show();
    QVERIFY(QTest::qWaitForWindowExposed(&picker));
    picker.setSelectedSection(QDateTimeEdit::DaySection);
    QTest::keyClicks(&picker, QStringLiteral("24"));
    picker.setSelectedSection(QDateTimeEdit::YearSection);
    QTest::keyClicks(&picker, QStringLiteral("2021"));
    QCOMPARE(picker.date(), QDate(2021, 5, 24));
    QCOMPARE(picker.text(), QStringLiteral("24.05.2021"));
}

void TestWidgets::lampStaysASquareDisc()
{
    QWidget sheet;
    sheet.resize(900, 200);
    TShape lamp(&sheet);
    QCOMPARE(lamp.penColor(), QColor(128, 0, 0));
    lamp.setGeometry(719, 0, 55, 40);
    lamp.makeSquareDisc();
    QCOMPARE(lamp.size(), QSize(55, 55));
    QCOMPARE(lamp.penWidth(), 55);
    QCOMPARE(lamp.pos(), QPoint(719, 0));

    // Whatever size it is given later (scaling), height and pen follow the width:
    // at once while shown, at the show when it was hidden.
    lamp.resize(70, 30);
    sheet.show();
    QVERIFY(QTest::qWaitForWindowExposed(&sheet));
    QCOMPARE(lamp.size(), QSize(70, 70));
    QCOMPARE(lamp.penWidth(), 70);
    lamp.resize(40, 90);
    QCOMPARE(lamp.size(), QSize(40, 40));
    QCOMPARE(lamp.penWidth(), 40);
    lamp.makeSquareDisc(); // again, as each new load does
    QCOMPARE(lamp.size(), QSize(40, 40));
}

void TestWidgets::lampPaintsItsPenColour_data()
{
    QTest::addColumn<QColor>("color");
    QTest::newRow("maroon") << QColor(128, 0, 0);
    QTest::newRow("red") << QColor(255, 0, 0);
    QTest::newRow("yellow") << QColor(255, 255, 0);
    QTest::newRow("lime") << QColor(0, 255, 0);
}

void TestWidgets::lampPaintsItsPenColour()
{
    QFETCH(QColor, color);
    TShape lamp;
    lamp.resize(55, 55);
    lamp.makeSquareDisc();
    lamp.setPenColor(color);
    QImage image = lamp.grab().toImage();
    QCOMPARE(image.pixelColor(27, 27), color);
    QCOMPARE(image.pixelColor(27, 3), color);  // near the top edge, still the disc
    QVERIFY(image.pixelColor(1, 1) != color);  // the corner lies outside the circle

    // A thin pen only draws the ring; the middle stays white.
    TShape ring;
    ring.resize(55, 55);
    ring.setPenWidth(4);
    ring.setPenColor(color);
    image = ring.grab().toImage();
    QCOMPARE(image.pixelColor(27, 27), QColor(Qt::white));
    QCOMPARE(image.pixelColor(27, 2), color);
}

void TestWidgets::widthFileBytesAreExact()
{
    QCOMPARE(dataview::widthFileBytes({64, 120, 7, 0}), QByteArray("64\r\n120\r\n7\r\n0\r\n"));
    QCOMPARE(dataview::widthFileBytes({}), QByteArray());
}

void TestWidgets::applyWidthFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<int>>("widths"); // of a 3-column grid whose widths were 10, 20, 30
    QTest::addColumn<int>("missingLine");   // -1: no error

    const QString text = QStringLiteral("100\r\n200\r\n300\r\n");
    QTest::newRow("CR LF") << QByteArray("100\r\n200\r\n300\r\n") << QList<int>{100, 200, 300} << -1;
    QTest::newRow("LF only") << QByteArray("100\n200\n300\n") << QList<int>{100, 200, 300} << -1;
    QTest::newRow("CR only") << QByteArray("100\r200\r300\r") << QList<int>{100, 200, 300} << -1;
    QTest::newRow("no break at the end") << QByteArray("100\r\n200\r\n300") << QList<int>{100, 200, 300} << -1;
    QTest::newRow("LF CR is two breaks") << QByteArray("100\n\r200\r\n") << QList<int>{100, 64, 200} << -1;
    QTest::newRow("letters give 64") << QByteArray("100\r\nabc\r\n300\r\n") << QList<int>{100, 64, 300} << -1;
    QTest::newRow("empty line gives 64") << QByteArray("100\r\n\r\n300\r\n") << QList<int>{100, 64, 300} << -1;
    QTest::newRow("blank after the digits gives 64") << QByteArray("100 \r\n200\r\n300\r\n") << QList<int>{64, 200, 300} << -1;
    QTest::newRow("hex is no decimal") << QByteArray("$40\r\n0x40\r\n1e2\r\n") << QList<int>{64, 64, 64} << -1;
    QTest::newRow("blanks before and signs") << QByteArray("  80\r\n+90\r\n-5\r\n") << QList<int>{80, 90, 0} << -1;
    QTest::newRow("beyond int gives 64") << QByteArray("2147483648\r\n99999999999999999999\r\n40000\r\n")
                                        << QList<int>{64, 64, TStringGrid::maxColWidth()} << -1;
    QTest::newRow("surplus lines ignored") << QByteArray("1\r\n2\r\n3\r\n4\r\nxyz\r\n") << QList<int>{1, 2, 3} << -1;
    QTest::newRow("final empty line is a line") << QByteArray("100\r\n200\r\n\r\n") << QList<int>{100, 200, 64} << -1;
    QTest::newRow("fewer lines") << QByteArray("100\r\n200\r\n") << QList<int>{100, 200, 30} << 2;
    QTest::newRow("one line") << QByteArray("100") << QList<int>{100, 20, 30} << 1;
    QTest::newRow("empty file") << QByteArray() << QList<int>{10, 20, 30} << 0;
    QTest::newRow("UTF-8 BOM") << QByteArray("\xEF\xBB\xBF" "100\r\n200\r\n300\r\n") << QList<int>{100, 200, 300} << -1;
    QTest::newRow("UTF-16 LE BOM") << utf16(text, QStringConverter::Utf16LE) << QList<int>{100, 200, 300} << -1;
    QTest::newRow("UTF-16 BE BOM") << utf16(text, QStringConverter::Utf16BE) << QList<int>{100, 200, 300} << -1;
    QTest::newRow("UTF-16 LE BOM, LF only, fewer lines")
        << utf16(QStringLiteral("100\n200\n"), QStringConverter::Utf16LE) << QList<int>{100, 200, 30} << 2;
}

void TestWidgets::applyWidthFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QList<int>, widths);
    QFETCH(int, missingLine);
    TStringGrid grid;
    grid.setColCount(3);
    for (int col = 0; col < 3; ++col)
        grid.setColWidth(col, 10 * (col + 1));

    QString error;
    try {
        dataview::applyWidthFile(grid, bytes);
    } catch (const EListError &e) {
        error = e.message();
    }
    QCOMPARE(grid.colWidths(), widths);
    QCOMPARE(error, missingLine < 0 ? QString()
                                    : QStringLiteral("Listenindex überschreitet das Maximum (%1)").arg(missingLine));
}

void TestWidgets::widthFileRoundTripAndMissingFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("PlivoraBewohner.Col"));

    TStringGrid fresh;
    fresh.setColCount(6);
    QVERIFY(!dataview::loadWidthFile(fresh, path));
    QCOMPARE(fresh.colWidths(), QList<int>(6, 64));

    TStringGrid dragged;
    dragged.setColCount(6);
    const QList<int> widths{64, 120, 33, 0, 250, 64};
    for (int col = 0; col < 6; ++col)
        dragged.setColWidth(col, widths.at(col));
    dataview::saveWidthFile(dragged, path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("64\r\n120\r\n33\r\n0\r\n250\r\n64\r\n"));

    QVERIFY(dataview::loadWidthFile(fresh, path));
    QCOMPARE(fresh.colWidths(), widths);

    // The laundry grid has more columns than the wearer file has lines.
    TStringGrid wider;
    wider.setColCount(15);
    QVERIFY_THROWS_EXCEPTION(EListError, dataview::loadWidthFile(wider, path));
    QCOMPARE(wider.colWidths().mid(0, 6), widths);
    QCOMPARE(wider.colWidth(6), 64);
}

void TestWidgets::unreadableWidthFileRaises()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString path = dir.filePath(QStringLiteral("PlivoraWaesche.Col"));
    TStringGrid grid;
    dataview::saveWidthFile(grid, path);
    QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
    if (::geteuid() == 0) {
        // Permissions do not bind root; this write-only kernel file does.
        path = QStringLiteral("/proc/sys/vm/compact_memory");
        if (!QFileInfo::exists(path) || QFile(path).open(QIODevice::ReadOnly))
            QSKIP("no file here that root cannot read");
    }
    try {
        dataview::loadWidthFile(grid, path);
        QFAIL("no error for an unreadable file");
    } catch (const EFOpenError &e) {
        QVERIFY2(e.message().startsWith(QStringLiteral("Datei \"%1\" kann nicht geöffnet werden. ").arg(path)),
                 qPrintable(e.message()));
    }
    QCOMPARE(grid.colWidths(), QList<int>(5, 64));
}

QTEST_MAIN(TestWidgets)
#include "tst_widgets.moc"
