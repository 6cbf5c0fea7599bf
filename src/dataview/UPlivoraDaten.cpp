#include "dataview/UPlivoraDaten.h"

#include "dataview/widgets/ColumnWidthFile.h"
#include "output/CsvExport.h"
#include "platform/DateText.h"
#include "platform/ErrorBox.h"
#include "platform/PercentCoding.h"
#include "output/PrintComponents.h"
#include "dataview/widgets/TDateTimePicker.h"
#include "dataview/widgets/TLabeledEdit.h"
#include "dataview/widgets/TShape.h"
#include "dataview/widgets/TStringGrid.h"
#include "contract/ListContract.h"
#include "exchange/ChunkRows.h"
#include "exchange/ContractText.h"
#include "exchange/UPlivoraCom.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include <optional>

TFPlivoraDaten *FPlivoraDaten = nullptr;

namespace {

const QColor clMaroon(128, 0, 0);
const QColor clRed(255, 0, 0);
const QColor clYellow(255, 255, 0);
const QColor clLime(0, 255, 0);

const char *const widthFiles[3] = {"PlivoraBewohner.Col", "PlivoraWaesche.Col", "PlivoraWaschVG.Col"};

// The columns of each sheet, in page-index order.
const contract::ListContract *const sheetContracts[3] = {&contract::wearers, &contract::items, &contract::washes};

QFont tahoma(int pixelHeight)
{
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(pixelHeight);
    return font;
}

QString encoded(const TLabeledEdit *edit)
{
    return platform::percentEncode(edit->text());
}

QString dateOf(const TDateTimePicker *picker)
{
    return platform::dateText(picker->date());
}

} // namespace

TFPlivoraDaten::TFPlivoraDaten(QWidget *parent)
    : QWidget(parent)
{
    createControls();
    FormCreate();
}

TFPlivoraDaten::~TFPlivoraDaten()
{
    if (FPlivoraDaten == this)
        FPlivoraDaten = nullptr;
}

namespace {

// The few places that know how the stand-in widgets are constructed.
TLabeledEdit *makeEdit(QWidget *sheet, const QString &label, int left, int top, int width = 98, int height = 27)
{
    auto *edit = new TLabeledEdit(sheet);
    edit->setLabelCaption(label);
    edit->setGeometry(left, top, width, height);
    return edit;
}

TLabeledEdit *makeCounter(QWidget *sheet, int left, int top)
{
    TLabeledEdit *counter = makeEdit(sheet, QStringLiteral("Datensätze"), left, top, 139, 24);
    counter->setEnabled(false);
    counter->setFlat(true);
    return counter;
}

QPushButton *makeButton(QWidget *sheet, const QString &caption, int left, int top)
{
    auto *button = new QPushButton(caption, sheet);
    button->setGeometry(left, top, 97, 25);
    return button;
}

TDateTimePicker *makePicker(QWidget *sheet, int left, int top)
{
    auto *picker = new TDateTimePicker(sheet);
    picker->setGeometry(left, top, 121, 27);
    return picker;
}

QLabel *makeLabel(QWidget *sheet, const QString &caption, int left, int top)
{
    auto *label = new QLabel(caption, sheet);
    label->move(left, top);
    label->adjustSize();
    return label;
}

TShape *makeLamp(QWidget *sheet, int left, int top)
{
    auto *lamp = new TShape(sheet);
    lamp->setGeometry(left, top, 55, 55);
    lamp->setPenColor(clMaroon);
    return lamp;
}

TStringGrid *makeGrid(QWidget *sheet, int columns, int left, int top, int width, int height)
{
    auto *grid = new TStringGrid(sheet);
    grid->setColCount(columns);
    grid->setRowCount(2);
    grid->setGeometry(left, top, width, height);
    return grid;
}

void chainTabOrder(std::initializer_list<QWidget *> widgets)
{
    QWidget *previous = nullptr;
    for (QWidget *w : widgets) {
        if (previous)
            QWidget::setTabOrder(previous, w);
        previous = w;
    }
}

} // namespace

void TFPlivoraDaten::createControls()
{
    setWindowTitle(QStringLiteral("PlivoraDaten"));
    setFont(tahoma(11));
    resize(1383, 761);
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);

    PageControlData = new QTabWidget(this);
    PageControlData->setGeometry(8, 20, 1368, 733);
    PageControlData->setFont(tahoma(16));

    TabSheetBewohner = new QWidget;
    TabSheetWaesche = new QWidget;
    TabSheetWaschvorgaenge = new QWidget;
    PageControlData->addTab(TabSheetBewohner, QStringLiteral("Träger"));
    PageControlData->addTab(TabSheetWaesche, QStringLiteral("Wäsche"));
    PageControlData->addTab(TabSheetWaschvorgaenge, QStringLiteral("Waschvorgänge"));

    // "Träger"
    QWidget *s = TabSheetBewohner;
    StringGridBewohner = makeGrid(s, 6, 3, 61, 1354, 635);
    StringGridBewohner->setFont(tahoma(16));
    DatenBew = makeCounter(s, 855, 25);
    LabeledEditBewNr = makeEdit(s, QStringLiteral("TraegerNr"), 8, 28);
    LabeledEditBewVorname = makeEdit(s, QStringLiteral("Vorname"), 112, 28);
    LabeledEditBewName = makeEdit(s, QStringLiteral("Name"), 216, 28);
    LabeledEditWohnbereich = makeEdit(s, QStringLiteral("Wohnbereich"), 323, 28);
    BitBtnBewLaden = makeButton(s, QStringLiteral("Neu Laden"), 576, 32);
    BitBtnBewExport = makeButton(s, QStringLiteral("Export"), 473, 3);
    BitBtnBewDrucken = makeButton(s, QStringLiteral("Drucken"), 576, 1);
    ShapeStatusBew = makeLamp(s, 719, 0);
    chainTabOrder({StringGridBewohner, DatenBew, LabeledEditBewNr, LabeledEditBewVorname, LabeledEditBewName,
                   LabeledEditWohnbereich, BitBtnBewLaden, BitBtnBewExport, BitBtnBewDrucken});

    // "Wäsche"
    s = TabSheetWaesche;
    StringGridWaesche = makeGrid(s, 15, 3, 116, 1354, 580);
    LabeledEditWaeWaescheID = makeEdit(s, QStringLiteral("WaescheID"), 3, 25);
    LabeledEditWaeVorname = makeEdit(s, QStringLiteral("Vorname"), 207, 25);
    LabeledEditWaeName = makeEdit(s, QStringLiteral("Name"), 310, 25);
    LabeledEditWaeArtNr = makeEdit(s, QStringLiteral("ArtNr"), 950, 25);
    LabeledEditWaeArtNr->setVisible(false);
    BitBtnWaeLaden = makeButton(s, QStringLiteral("Neu Laden"), 1054, 27);
    DatenWae = makeCounter(s, 1218, 28);
    LabeledEditWaeArtikel = makeEdit(s, QStringLiteral("Artikel"), 412, 25);
    LabeledEditWaeLetzteCharge = makeEdit(s, QStringLiteral("LetzteCharge"), 619, 25);
    LabeledEditWaeBewNr = makeEdit(s, QStringLiteral("TrägerNr"), 105, 25);
    LabeledEditWaeMaxWasch = makeEdit(s, QStringLiteral("Max. Wasch."), 721, 25);
    LabeledEditWaeAnzWasch = makeEdit(s, QStringLiteral(">Anz. Wasch."), 824, 25);
    LabeledEditWaeGroesse = makeEdit(s, QStringLiteral("Größe"), 515, 25);
    Label7 = makeLabel(s, QStringLiteral("Ang. nach"), 3, 58);
    DateTimePickerWAEAngNach = makePicker(s, 3, 83);
    Label8 = makeLabel(s, QStringLiteral("Ang. vor"), 130, 58);
    DateTimePickerWAEAngVor = makePicker(s, 130, 83);
    Label9 = makeLabel(s, QStringLiteral("Eing. nach"), 257, 55);
    DateTimePickerWAEEingNach = makePicker(s, 257, 83);
    Label10 = makeLabel(s, QStringLiteral("Eing. vor"), 384, 55);
    DateTimePickerWAEEingVor = makePicker(s, 384, 83);
    Label11 = makeLabel(s, QStringLiteral("Ausg. nach"), 511, 58);
    DateTimePickerWAEAusgNach = makePicker(s, 511, 83);
    Label12 = makeLabel(s, QStringLiteral("Ausg. vor"), 638, 58);
    DateTimePickerWAEAusgVor = makePicker(s, 638, 83);
    BitBtnWaeExport = makeButton(s, QStringLiteral("Export"), 1054, 85);
    BitBtnWaeDrucken = makeButton(s, QStringLiteral("Drucken"), 1157, 85);
    ShapeStatusWae = makeLamp(s, 1157, 1);
    chainTabOrder({StringGridWaesche, LabeledEditWaeWaescheID, LabeledEditWaeVorname, LabeledEditWaeName,
                   LabeledEditWaeArtNr, BitBtnWaeLaden, DatenWae, LabeledEditWaeArtikel,
                   LabeledEditWaeLetzteCharge, LabeledEditWaeBewNr, LabeledEditWaeMaxWasch,
                   LabeledEditWaeAnzWasch, LabeledEditWaeGroesse, DateTimePickerWAEAngNach,
                   DateTimePickerWAEAngVor, DateTimePickerWAEEingNach, DateTimePickerWAEEingVor,
                   DateTimePickerWAEAusgNach, DateTimePickerWAEAusgVor, BitBtnWaeExport, BitBtnWaeDrucken});

    // "Waschvorgänge"
    s = TabSheetWaschvorgaenge;
    BitBtnWaschLaden = makeButton(s, QStringLiteral("Neu Laden"), 1054, 32);
    DatenWasch = makeCounter(s, 1218, 33);
    StringGridWaschVG = makeGrid(s, 15, 3, 117, 1354, 579);
    StringGridWaschVG->setFont(tahoma(16));
    LabeledEditWaschWaescheID = makeEdit(s, QStringLiteral("WaescheID"), 3, 26);
    LabeledEditWaschBewNr = makeEdit(s, QStringLiteral("TrägerNr"), 103, 26);
    LabeledEditWaschVorname = makeEdit(s, QStringLiteral("Vorname"), 203, 26);
    LabeledEditWaschName = makeEdit(s, QStringLiteral("Name"), 303, 26);
    LabeledEditWaschArtNr = makeEdit(s, QStringLiteral("ArtNr"), 910, 26);
    LabeledEditWaschArtNr->setVisible(false);
    LabeledEditWaschArtikel = makeEdit(s, QStringLiteral("Artikel"), 404, 26);
    LabeledEditWaschCharge = makeEdit(s, QStringLiteral("Charge"), 604, 26);
    BitBtnWaschDruck = makeButton(s, QStringLiteral("Drucken"), 1157, 86);
    LabeledEditWaschGroesse = makeEdit(s, QStringLiteral("Größe"), 504, 26);
    LabeledEditWaschMaxWasch = makeEdit(s, QStringLiteral("Max. Wasch."), 705, 26);
    LabeledEditWaschAnzWasch = makeEdit(s, QStringLiteral(">Anz. Wasch."), 806, 26);
    Label1 = makeLabel(s, QStringLiteral("Ang. nach"), 3, 59);
    DateTimePickerWaschAngNach = makePicker(s, 3, 84);
    Label2 = makeLabel(s, QStringLiteral("Ang. vor"), 130, 59);
    DateTimePickerWaschAngVor = makePicker(s, 130, 84);
    Label3 = makeLabel(s, QStringLiteral("Eing. nach"), 257, 59);
    DateTimePickerWaschEingNach = makePicker(s, 257, 84);
    Label4 = makeLabel(s, QStringLiteral("Eing. vor"), 379, 59);
    DateTimePickerWaschEingVor = makePicker(s, 384, 84);
    Label5 = makeLabel(s, QStringLiteral("Ausg. nach"), 511, 59);
    DateTimePickerWaschAusgNach = makePicker(s, 511, 84);
    Label6 = makeLabel(s, QStringLiteral("Ausg. vor"), 638, 59);
    DateTimePickerWaschAusgVor = makePicker(s, 638, 84);
    BitBtnWaschExport = makeButton(s, QStringLiteral("Export"), 1054, 86);
    ShapeStatusWasch = makeLamp(s, 1157, 8);
    chainTabOrder({BitBtnWaschLaden, DatenWasch, StringGridWaschVG, LabeledEditWaschWaescheID,
                   LabeledEditWaschBewNr, LabeledEditWaschVorname, LabeledEditWaschName, LabeledEditWaschArtNr,
                   LabeledEditWaschArtikel, LabeledEditWaschCharge, BitBtnWaschDruck, LabeledEditWaschGroesse,
                   LabeledEditWaschMaxWasch, LabeledEditWaschAnzWasch, DateTimePickerWaschAngNach,
                   DateTimePickerWaschAngVor, DateTimePickerWaschEingNach, DateTimePickerWaschEingVor,
                   DateTimePickerWaschAusgNach, DateTimePickerWaschAusgVor, BitBtnWaschExport});

    Timer1 = new QTimer(this);
    Timer1->setInterval(500);

    using platform::guarded;
    connect(BitBtnBewLaden, &QPushButton::clicked, this, guarded([this] { BitBtnBewLadenClick(); }));
    connect(BitBtnWaeLaden, &QPushButton::clicked, this, guarded([this] { BitBtnWaeLadenClick(); }));
    connect(BitBtnWaschLaden, &QPushButton::clicked, this, guarded([this] { BitBtnWaschLadenClick(); }));
    connect(BitBtnBewExport, &QPushButton::clicked, this, guarded([this] { BitBtnBewExportClick(); }));
    connect(BitBtnWaeExport, &QPushButton::clicked, this, guarded([this] { BitBtnWaeExportClick(); }));
    connect(BitBtnWaschExport, &QPushButton::clicked, this, guarded([this] { BitBtnWaschExportClick(); }));
    connect(BitBtnBewDrucken, &QPushButton::clicked, this, guarded([this] { BitBtnBewDruckenClick(); }));
    connect(BitBtnWaeDrucken, &QPushButton::clicked, this, guarded([this] { BitBtnWaeDruckenClick(); }));
    connect(BitBtnWaschDruck, &QPushButton::clicked, this, guarded([this] { BitBtnWaschDruckClick(); }));
    connect(Timer1, &QTimer::timeout, this, guarded([this] { Timer1Timer(); }));
}

void TFPlivoraDaten::FormCreate()
{
    InitBewohnerSheet();
    InitWaescheSheet();
    InitWaschSheet();
    IntRunning = false;
}

TStringGrid *TFPlivoraDaten::gridOf(int pageIndex) const
{
    TStringGrid *const grids[3] = {StringGridBewohner, StringGridWaesche, StringGridWaschVG};
    return grids[pageIndex];
}

TShape *TFPlivoraDaten::lampOf(int pageIndex) const
{
    TShape *const lamps[3] = {ShapeStatusBew, ShapeStatusWae, ShapeStatusWasch};
    return lamps[pageIndex];
}

bool &TFPlivoraDaten::reloadFlagOf(int pageIndex)
{
    bool *const flags[3] = {&ReloadBewohner, &ReloadWaesche, &ReloadWasch};
    return *flags[pageIndex];
}

bool &TFPlivoraDaten::endFlagOf(int pageIndex)
{
    bool *const flags[3] = {&NoMoreBew, &NoMoreWae, &NoMoreWasch};
    return *flags[pageIndex];
}

void TFPlivoraDaten::initSheet(int pageIndex)
{
    TStringGrid *grid = gridOf(pageIndex);
    // Each header goes into the first empty header cell, so running this
    // again never writes a header twice or shifts one.
    for (const contract::Column &column : sheetContracts[pageIndex]->columns) {
        const QString header = exchange::contractText(column.caption);
        for (int col = 0; col < grid->colCount(); ++col) {
            if (grid->cell(col, 0).isEmpty()) {
                grid->setCell(col, 0, header);
                break;
            }
        }
    }
    endFlagOf(pageIndex) = false;
    lampOf(pageIndex)->makeSquareDisc();
}

void TFPlivoraDaten::InitBewohnerSheet()
{
    initSheet(0);
}

void TFPlivoraDaten::InitWaescheSheet()
{
    initSheet(1);
}

void TFPlivoraDaten::InitWaschSheet()
{
    initSheet(2);
}

void TFPlivoraDaten::resetPickers(TDateTimePicker *const (&pickers)[6])
{
    // Order: Ang, Eing, Ausg, each "nach" then "vor".
    const QDateTime now = QDateTime::currentDateTime();
    for (int i = 0; i < 6; i += 2) {
        pickers[i]->setDate(QDate(2000, 1, 1));
        pickers[i + 1]->setDateTime(now);
    }
}

void TFPlivoraDaten::FormShow()
{
    // Every step runs even when one fails, so the window never stays dead;
    // the first error is shown once at the end.
    std::optional<QString> firstError;
    auto step = [&firstError](const std::function<void()> &work) {
        try {
            work();
        } catch (const std::exception &error) {
            if (!firstError)
                firstError = platform::errorMessage(error);
        }
    };
    auto countStep = [&](int pageIndex, const std::function<void()> &exchange) {
        step([&] {
            try {
                exchange();
            } catch (...) {
                lampOf(pageIndex)->setPenColor(clMaroon);
                throw;
            }
        });
    };

    if (!FPlivoraCom->BWTransfer.Initialisiert)
        countStep(0, [] { FPlivoraCom->InitBewohnerCom(); });
    if (!FPlivoraCom->WAETransfer.Initialisiert) {
        countStep(1, [] { FPlivoraCom->InitWaescheCom(); });
        resetPickers({DateTimePickerWAEAngNach, DateTimePickerWAEAngVor, DateTimePickerWAEEingNach,
                      DateTimePickerWAEEingVor, DateTimePickerWAEAusgNach, DateTimePickerWAEAusgVor});
    }
    if (!FPlivoraCom->WASCHTransfer.Initialisiert) {
        countStep(2, [] { FPlivoraCom->InitWaschCom(); });
        resetPickers({DateTimePickerWaschAngNach, DateTimePickerWaschAngVor, DateTimePickerWaschEingNach,
                      DateTimePickerWaschEingVor, DateTimePickerWaschAusgNach, DateTimePickerWaschAusgVor});
    }
    for (int i = 0; i < 3; ++i) {
        step([&] { dataview::loadWidthFile(*gridOf(i), QString::fromLatin1(widthFiles[i])); });
    }
    PageControlData->setCurrentIndex(0);
    Timer1->start();
    if (firstError)
        platform::showErrorBox(*firstError);
}

void TFPlivoraDaten::FormHide()
{
    Timer1->stop();
}

void TFPlivoraDaten::FormClose()
{
    // Closing this window always ends the program: the login window never
    // comes back, so a hidden data window would leave nothing to reach.
    QCoreApplication::quit();
}

void TFPlivoraDaten::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous()) // a restore from the task bar is no new show
        platform::runGuarded([this] { FormShow(); });
}

void TFPlivoraDaten::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        FormHide();
}

void TFPlivoraDaten::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    platform::runGuarded([this] { FormClose(); });
}

namespace {

void writeWidthFile(const char *fileName, const TStringGrid *grid)
{
    dataview::saveWidthFile(*grid, QString::fromLatin1(fileName));
}

// Filters for the laundry and wash lists; the two sheets differ only in their edits.
struct ItemFilterEdits
{
    TLabeledEdit *waescheId, *traegerNr, *vorname, *name, *artNr, *artikel, *charge, *groesse, *maxWasch,
        *anzWasch;
    TDateTimePicker *angVor, *angNach, *eingVor, *eingNach, *ausgVor, *ausgNach;
};

template <class Record>
void copyItemFilters(Record &record, const ItemFilterEdits &e)
{
    // Identifiers are encoded like the free texts, so a "&" or "#" typed
    // into them cannot change the query.
    record.FilterWaescheID = encoded(e.waescheId);
    record.FilterTraegerNr = encoded(e.traegerNr);
    record.FilterVorname = encoded(e.vorname);
    record.FilterName = encoded(e.name);
    record.FilterArtNr = encoded(e.artNr);
    record.FilterArtikel = encoded(e.artikel);
    record.FilterCharge = encoded(e.charge);
    record.FilterGroesse = encoded(e.groesse);
    record.FilterMaxWasch = encoded(e.maxWasch);
    record.FilterAnzWasch = encoded(e.anzWasch);
    record.FilterAngVor = dateOf(e.angVor);
    record.FilterAngNach = dateOf(e.angNach);
    record.FilterEingVor = dateOf(e.eingVor);
    record.FilterEingNach = dateOf(e.eingNach);
    record.FilterAusgVor = dateOf(e.ausgVor);
    record.FilterAusgNach = dateOf(e.ausgNach);
}

} // namespace

void TFPlivoraDaten::BitBtnBewLadenClick()
{
    TBWKom &record = FPlivoraCom->BWTransfer;
    record.FilterBewNr = encoded(LabeledEditBewNr);
    record.FilterVorname = encoded(LabeledEditBewVorname);
    record.FilterName = encoded(LabeledEditBewName);
    record.FilterWB = encoded(LabeledEditWohnbereich);
    ReloadBewohner = true;
    writeWidthFile(widthFiles[0], StringGridBewohner);
}

void TFPlivoraDaten::BitBtnWaeLadenClick()
{
    copyItemFilters(FPlivoraCom->WAETransfer,
                    {LabeledEditWaeWaescheID, LabeledEditWaeBewNr, LabeledEditWaeVorname, LabeledEditWaeName,
                     LabeledEditWaeArtNr, LabeledEditWaeArtikel, LabeledEditWaeLetzteCharge,
                     LabeledEditWaeGroesse, LabeledEditWaeMaxWasch, LabeledEditWaeAnzWasch,
                     DateTimePickerWAEAngVor, DateTimePickerWAEAngNach, DateTimePickerWAEEingVor,
                     DateTimePickerWAEEingNach, DateTimePickerWAEAusgVor, DateTimePickerWAEAusgNach});
    writeWidthFile(widthFiles[1], StringGridWaesche);
    ReloadWaesche = true;
}

void TFPlivoraDaten::BitBtnWaschLadenClick()
{
    copyItemFilters(FPlivoraCom->WASCHTransfer,
                    {LabeledEditWaschWaescheID, LabeledEditWaschBewNr, LabeledEditWaschVorname,
                     LabeledEditWaschName, LabeledEditWaschArtNr, LabeledEditWaschArtikel,
                     LabeledEditWaschCharge, LabeledEditWaschGroesse, LabeledEditWaschMaxWasch,
                     LabeledEditWaschAnzWasch, DateTimePickerWaschAngVor, DateTimePickerWaschAngNach,
                     DateTimePickerWaschEingVor, DateTimePickerWaschEingNach, DateTimePickerWaschAusgVor,
                     DateTimePickerWaschAusgNach});
    writeWidthFile(widthFiles[2], StringGridWaschVG);
    ReloadWasch = true;
}

void TFPlivoraDaten::setCounter(int pageIndex, int read, int total)
{
    TLabeledEdit *const counters[3] = {DatenBew, DatenWae, DatenWasch};
    counters[pageIndex]->setText(QStringLiteral("%1 / %2").arg(read).arg(total));
}

void TFPlivoraDaten::Timer1Timer()
{
    if (IntRunning)
        return;
    if (!isVisible()) {
        Timer1->stop();
        return;
    }
    IntRunning = true;
    // The page is asked again before each list: a sheet change made while a
    // list processes pending messages takes effect in the same tick.
    bool failed = false;
    auto serve = [&](int pageIndex, auto &record) {
        if (failed || PageControlData->currentIndex() != pageIndex)
            return;
        // The error box is shown while the guard is still held, so no tick
        // runs underneath it; the failing list then waits for "Neu Laden".
        if (!platform::runGuarded([&] { serveList(pageIndex, record); })) {
            failed = true;
            m_lists[pageIndex].paused = true;
            lampOf(pageIndex)->setPenColor(clMaroon);
        }
    };
    serve(0, FPlivoraCom->BWTransfer);
    serve(1, FPlivoraCom->WAETransfer);
    serve(2, FPlivoraCom->WASCHTransfer);
    IntRunning = false;
}

namespace {

void resetPagingKey(TBWKom &record)
{
    record.LetzteBewNummer = 0;
}

void resetPagingKey(TWaeKom &record)
{
    record.LetzteIDNummer = QStringLiteral("S000000");
}

void resetPagingKey(TWaschKom &record)
{
    record.LetzteIDNummer = QStringLiteral("0");
}

void requestChunk(TBWKom &)
{
    FPlivoraCom->GetChunkBewohner();
}

void requestChunk(TWaeKom &)
{
    FPlivoraCom->GetChunkWaesche();
}

void requestChunk(TWaschKom &)
{
    FPlivoraCom->GetChunkWasch();
}

} // namespace

template <class Record>
void TFPlivoraDaten::serveList(int pageIndex, Record &record)
{
    ListState &list = m_lists[pageIndex];
    TStringGrid *grid = gridOf(pageIndex);
    TShape *lamp = lampOf(pageIndex);
    bool &reload = reloadFlagOf(pageIndex);

    if (record.Status != 1 && reload) {
        reload = false;
        record.Status = -1;
        lamp->setPenColor(clMaroon);
        record.AnzahlDatensaetzeGelesen = 0;
        resetPagingKey(record);
        grid->setRowCount(2);
        initSheet(pageIndex);
        setCounter(pageIndex, record.AnzahlDatensaetzeGelesen, record.AnzahlDatensaetzeGesamt);
        grid->clearRow(grid->rowCount() - 1);
        list.paused = false;
        list.placedGeneration = record.XMLFile.generation(); // a waiting reply is dropped
        QCoreApplication::processEvents();
        record.Status = 0;
    }
    if (list.paused)
        return;
    if (record.Status == 2) {
        lamp->setPenColor(clRed);
        QCoreApplication::processEvents();
        readRows(pageIndex, record);
        record.Status = 0;
        setCounter(pageIndex, record.AnzahlDatensaetzeGelesen, record.AnzahlDatensaetzeGesamt);
    }
    if (record.Status == 0) {
        if (endFlagOf(pageIndex)) {
            lamp->setPenColor(clLime);
        } else {
            lamp->setPenColor(clYellow);
            QCoreApplication::processEvents();
            record.Status = 1;
            requestChunk(record);
        }
    }
}

template <class Record>
void TFPlivoraDaten::readRows(int pageIndex, Record &record)
{
    ListState &list = m_lists[pageIndex];
    // An empty reply leaves the previous one in the document; placing it
    // again would repeat its rows, so only a new reply is walked.
    if (record.XMLFile.generation() == list.placedGeneration)
        return;
    list.placedGeneration = record.XMLFile.generation();

    TStringGrid *grid = gridOf(pageIndex);
    bool &endFlag = endFlagOf(pageIndex);
    const contract::ListContract &cells = *sheetContracts[pageIndex];
    int targetRow = 0;
    RowSink sink;
    sink.rowStarts = [&](bool endRow) {
        const int r = grid->rowCount();
        if (endRow)
            endFlag = true;
        else
            grid->setRowCount(r + 1);
        grid->clearRow(grid->rowCount() - 1);
        targetRow = r - 1;
    };
    sink.cell = [&](int cellNumber, const QString &value) {
        // The wash list's first cell has no column: it only feeds the paging key.
        const int col = cells.columnOfCell(cellNumber);
        if (col >= 0)
            grid->setCell(col, targetRow, value);
    };
    walkChunkRows(record, sink);
}

void TFPlivoraDaten::AddBewohnerDataToSheet()
{
    readRows(0, FPlivoraCom->BWTransfer);
}

void TFPlivoraDaten::AddWaescheDataToSheet()
{
    readRows(1, FPlivoraCom->WAETransfer);
}

void TFPlivoraDaten::AddWaschDataToSheet()
{
    readRows(2, FPlivoraCom->WASCHTransfer);
}

void TFPlivoraDaten::BewButtonControl(bool Status)
{
    BitBtnBewExport->setEnabled(Status);
    BitBtnBewDrucken->setEnabled(Status);
    BitBtnBewLaden->setEnabled(Status);
}

void TFPlivoraDaten::WaeButtonControl(bool Status)
{
    BitBtnWaeExport->setEnabled(Status);
    BitBtnWaeDrucken->setEnabled(Status);
    BitBtnWaeLaden->setEnabled(Status);
}

void TFPlivoraDaten::WaschButtonControl(bool Status)
{
    BitBtnWaschExport->setEnabled(Status);
    BitBtnWaschDruck->setEnabled(Status);
    BitBtnWaschLaden->setEnabled(Status);
}

void TFPlivoraDaten::exportSheet(int pageIndex)
{
    static const QString files[3] = {QStringLiteral("Bewohner.csv"), QStringLiteral("Wäsche.csv"),
                                     QStringLiteral("Waschevorgänge.csv")};
    const std::function<void(bool)> buttonControl[3] = {[this](bool on) { BewButtonControl(on); },
                                                        [this](bool on) { WaeButtonControl(on); },
                                                        [this](bool on) { WaschButtonControl(on); }};
    buttonControl[pageIndex](false);
    try {
        output::writeGridCsv(*gridOf(pageIndex), files[pageIndex]);
    } catch (...) {
        buttonControl[pageIndex](true);
        throw;
    }
    buttonControl[pageIndex](true);
}

void TFPlivoraDaten::BitBtnBewExportClick()
{
    exportSheet(0);
}

void TFPlivoraDaten::BitBtnWaeExportClick()
{
    exportSheet(1);
}

void TFPlivoraDaten::BitBtnWaschExportClick()
{
    exportSheet(2);
}

void TFPlivoraDaten::BitBtnBewDruckenClick()
{
    Printing->printGrid(*StringGridBewohner, PrintComponents::bewohner);
}

void TFPlivoraDaten::BitBtnWaeDruckenClick()
{
    Printing->printGrid(*StringGridWaesche, PrintComponents::waesche);
}

void TFPlivoraDaten::BitBtnWaschDruckClick()
{
    Printing->printGrid(*StringGridWaschVG, PrintComponents::waschVG);
}
