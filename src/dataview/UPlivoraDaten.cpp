#include "dataview/UPlivoraDaten.h"

#include "dataview/ListLoader.h"
#include "dataview/ListStateText.h"
#include "dataview/SheetKeys.h"
#include "dataview/SheetLayout.h"
#include "dataview/widgets/ColumnWidthFile.h"
#include "dataview/widgets/TDateTimePicker.h"
#include "dataview/widgets/TLabeledEdit.h"
#include "dataview/widgets/TShape.h"
#include "dataview/widgets/TStringGrid.h"
#include "contract/ListContract.h"
#include "exchange/ContractText.h"
#include "exchange/UPlivoraCom.h"
#include "output/CsvExport.h"
#include "output/PrintComponents.h"
#include "platform/DateText.h"
#include "platform/ErrorBox.h"
#include "platform/PercentCoding.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include <array>
#include <optional>

TFPlivoraDaten *FPlivoraDaten = nullptr;

namespace {

const QColor clMaroon(128, 0, 0);
const QColor clRed(255, 0, 0);
const QColor clYellow(255, 255, 0);
const QColor clLime(0, 255, 0);

QColor colourOf(dataview::Lamp lamp)
{
    switch (lamp) {
    case dataview::Lamp::Maroon: return clMaroon;
    case dataview::Lamp::Red: return clRed;
    case dataview::Lamp::Yellow: return clYellow;
    case dataview::Lamp::Lime: return clLime;
    }
    return clMaroon;
}

QString widthFileOf(Sheet sheet)
{
    switch (sheet) {
    case Sheet::Bewohner: return QStringLiteral("PlivoraBewohner.Col");
    case Sheet::Waesche: return QStringLiteral("PlivoraWaesche.Col");
    case Sheet::Wasch: return QStringLiteral("PlivoraWaschVG.Col");
    }
    return {};
}


// The columns of each sheet, in page-index order.
const contract::ListContract *const sheetContracts[3] = {&contract::wearers, &contract::items, &contract::washes};

// Each header goes into the first empty header cell, so running this
// again never writes a header twice or shifts one.
void fillHeaders(TStringGrid *grid, int pageIndex)
{
    for (const contract::Column &column : sheetContracts[pageIndex]->columns) {
        const QString header = exchange::contractText(column.caption);
        for (int col = 0; col < grid->colCount(); ++col) {
            if (grid->cell(col, 0).isEmpty()) {
                grid->setCell(col, 0, header);
                break;
            }
        }
    }
}

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

// Paints the data window at most about 30 times a second, however fast
// replies come: an update request that comes sooner after the last paint is
// held back and made at the end of that interval.
class PaintPacer final : public QObject
{
public:
    static constexpr int interval = 33; // ms
    static constexpr int quiet = 100;   // ms

    explicit PaintPacer(QWidget *window)
        : QObject(window)
        , m_window(window)
    {
        m_resume.setSingleShot(true);
        connect(&m_resume, &QTimer::timeout, this, [this] {
            QCoreApplication::postEvent(m_window, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
        });
        m_sincePaint.start();
        window->installEventFilter(this);
    }

    // Paints what changed now when the window has been quiet for a while, as
    // between ticks at the standard pace: each step of a tick is then seen,
    // every lamp colour included. In a fast run the event loop paints at its
    // pace instead, while the next reply is on its way.
    void paintNowIfDue(QWidget *widget)
    {
        if (m_sincePaint.elapsed() >= quiet && widget->isVisible())
            widget->repaint();
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != m_window || event->type() != QEvent::UpdateRequest)
            return false;
        const qint64 since = m_sincePaint.elapsed();
        if (since < interval) {
            if (!m_resume.isActive())
                m_resume.start(int(interval - since));
            return true;
        }
        m_sincePaint.restart();
        return false;
    }

private:
    QWidget *m_window;
    QTimer m_resume;
    QElapsedTimer m_sincePaint;
};

// One sheet's lamp and counter as its loader shows them.
class SheetControls final : public dataview::SheetView
{
public:
    SheetControls(TShape *lamp, TLabeledEdit *counter, PaintPacer &pacer, std::function<void()> initSheet)
        : m_lamp(lamp)
        , m_counter(counter)
        , m_pacer(pacer)
        , m_initSheet(std::move(initSheet))
    {
    }

    void showLamp(dataview::Lamp colour) override
    {
        m_lamp->setPenColor(colourOf(colour));
        m_lastLamp = colour;
        m_changed = true;
    }
    void showCounter(const QString &text) override
    {
        if (m_counter->text() != text)
            m_counter->setText(text);
        m_changed = true;
    }
    void initSheet() override { m_initSheet(); }
    // Nothing else runs in the middle of a tick: replies come back queued, so
    // only painting is let through here.
    void processPendingMessages() override { m_pacer.paintNowIfDue(m_lamp); }

    // What the loader announced last, for the state in words.
    dataview::Lamp lastLamp() const { return m_lastLamp; }
    void onChange(std::function<void()> changed) { m_onChange = std::move(changed); }
    // The state in words follows once per tick or reply, not at each step of
    // it: at full pace that would be thousands of times a second.
    void announceChange()
    {
        if (m_changed && m_onChange)
            m_onChange();
        m_changed = false;
    }

private:
    TShape *m_lamp;
    TLabeledEdit *m_counter;
    PaintPacer &m_pacer;
    std::function<void()> m_initSheet;
    dataview::Lamp m_lastLamp = dataview::Lamp::Maroon;
    bool m_changed = false;
    std::function<void()> m_onChange;
};

// A list's side of the exchange object, reached through FPlivoraCom when it
// is used: the exchange object is created after this window.
template <class Record, Record TFPlivoraCom::*transfer,
          void (TFPlivoraCom::*getChunk)(std::function<void(std::exception_ptr)>)>
class ComListExchange final : public dataview::ListExchange<Record>
{
public:
    Record &record() override { return FPlivoraCom->*transfer; }
    void requestChunk(std::function<void(std::exception_ptr)> done) override
    {
        (FPlivoraCom->*getChunk)(std::move(done));
    }
    bool busy() const override { return FPlivoraCom->exchangeInFlight(); }
};

} // namespace

struct TFPlivoraDaten::Loading
{
    explicit Loading(TFPlivoraDaten &w)
        : pacer(new PaintPacer(&w))
        , bewohnerView(w.ShapeStatusBew, w.DatenBew, *pacer, [&w] { w.InitBewohnerSheet(); })
        , waescheView(w.ShapeStatusWae, w.DatenWae, *pacer, [&w] { w.InitWaescheSheet(); })
        , waschView(w.ShapeStatusWasch, w.DatenWasch, *pacer, [&w] { w.InitWaschSheet(); })
        , bewohner(bewohnerExchange, *w.StringGridBewohner->gridModel(), bewohnerView, w.ReloadBewohner,
                   w.NoMoreBew, contract::wearers, &platform::runGuarded)
        , waesche(waescheExchange, *w.StringGridWaesche->gridModel(), waescheView, w.ReloadWaesche, w.NoMoreWae,
                  contract::items, &platform::runGuarded)
        , wasch(waschExchange, *w.StringGridWaschVG->gridModel(), waschView, w.ReloadWasch, w.NoMoreWasch,
                contract::washes, &platform::runGuarded)
    {
    }

    PaintPacer *pacer; // owned by the window
    ComListExchange<TBWKom, &TFPlivoraCom::BWTransfer, &TFPlivoraCom::GetChunkBewohner> bewohnerExchange;
    ComListExchange<TWaeKom, &TFPlivoraCom::WAETransfer, &TFPlivoraCom::GetChunkWaesche> waescheExchange;
    ComListExchange<TWaschKom, &TFPlivoraCom::WASCHTransfer, &TFPlivoraCom::GetChunkWasch> waschExchange;
    SheetControls bewohnerView;
    SheetControls waescheView;
    SheetControls waschView;
    dataview::ListLoader<TBWKom> bewohner;
    dataview::ListLoader<TWaeKom> waesche;
    dataview::ListLoader<TWaschKom> wasch;

    SheetControls &viewOf(Sheet sheet)
    {
        switch (sheet) {
        case Sheet::Bewohner: return bewohnerView;
        case Sheet::Waesche: return waescheView;
        case Sheet::Wasch: break;
        }
        return waschView;
    }

    void announceChanges()
    {
        for (SheetControls *view : {&bewohnerView, &waescheView, &waschView})
            view->announceChange();
    }
};

TFPlivoraDaten::TFPlivoraDaten(QWidget *parent)
    : QWidget(parent)
{
    createControls();
    m_loading = std::make_unique<Loading>(*this);
    m_loading->bewohner.setOutcomeHandler([this](std::exception_ptr e) { takeOutcome(m_loading->bewohner, e); });
    m_loading->waesche.setOutcomeHandler([this](std::exception_ptr e) { takeOutcome(m_loading->waesche, e); });
    m_loading->wasch.setOutcomeHandler([this](std::exception_ptr e) { takeOutcome(m_loading->wasch, e); });
    FormCreate();
    presentStates();
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

TStringGrid *makeGrid(QWidget *sheet, const contract::ListContract &list, int left, int top, int width, int height)
{
    auto *grid = new TStringGrid(sheet);
    grid->setColCount(static_cast<int>(list.columns.size()));
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

// The controls of an item sheet ("Wäsche", "Waschvorgänge"). The pickers run
// Ang, Eing, Ausg, each "nach" before "vor".
enum class ItemControl {
    Grid, WaescheID, BewNr, Vorname, Name, ArtNr, Artikel, Charge, Groesse, MaxWasch, AnzWasch,
    Laden, Counter, Export, Drucken, AngNach, AngVor, EingNach, EingVor, AusgNach, AusgVor
};
constexpr int itemControlCount = 21;
constexpr int firstPicker = static_cast<int>(ItemControl::AngNach);

struct ItemPlace
{
    ItemControl control;
    int left, top;
    int labelLeft = 0, labelTop = 0; // pickers only: their caption label
};

// Where one item sheet puts its controls. The places are listed in tab
// order, which is also the order they are created in; the two sheets order
// and place them differently, irregular spots included.
struct ItemSheetLayout
{
    std::array<ItemPlace, itemControlCount> places;
    int gridHeight;
    bool gridHasOwnFont;
    QString chargeCaption;
    int lampLeft, lampTop;
    const contract::ListContract &list;
};

const ItemSheetLayout waescheLayout{
    {{{ItemControl::Grid, 3, 116},
      {ItemControl::WaescheID, 3, 25},
      {ItemControl::Vorname, 207, 25},
      {ItemControl::Name, 310, 25},
      {ItemControl::ArtNr, 950, 25},
      {ItemControl::Laden, 1054, 27},
      {ItemControl::Counter, 1218, 28},
      {ItemControl::Artikel, 412, 25},
      {ItemControl::Charge, 619, 25},
      {ItemControl::BewNr, 105, 25},
      {ItemControl::MaxWasch, 721, 25},
      {ItemControl::AnzWasch, 824, 25},
      {ItemControl::Groesse, 515, 25},
      {ItemControl::AngNach, 3, 83, 3, 58},
      {ItemControl::AngVor, 130, 83, 130, 58},
      {ItemControl::EingNach, 257, 83, 257, 55},
      {ItemControl::EingVor, 384, 83, 384, 55},
      {ItemControl::AusgNach, 511, 83, 511, 58},
      {ItemControl::AusgVor, 638, 83, 638, 58},
      {ItemControl::Export, 1054, 85},
      {ItemControl::Drucken, 1157, 85}}},
    580, false, QStringLiteral("LetzteCharge"), 1157, 1, contract::items};

const ItemSheetLayout waschLayout{
    {{{ItemControl::Laden, 1054, 32},
      {ItemControl::Counter, 1218, 33},
      {ItemControl::Grid, 3, 117},
      {ItemControl::WaescheID, 3, 26},
      {ItemControl::BewNr, 103, 26},
      {ItemControl::Vorname, 203, 26},
      {ItemControl::Name, 303, 26},
      {ItemControl::ArtNr, 910, 26},
      {ItemControl::Artikel, 404, 26},
      {ItemControl::Charge, 604, 26},
      {ItemControl::Drucken, 1157, 86},
      {ItemControl::Groesse, 504, 26},
      {ItemControl::MaxWasch, 705, 26},
      {ItemControl::AnzWasch, 806, 26},
      {ItemControl::AngNach, 3, 84, 3, 59},
      {ItemControl::AngVor, 130, 84, 130, 59},
      {ItemControl::EingNach, 257, 84, 257, 59},
      {ItemControl::EingVor, 384, 84, 379, 59},
      {ItemControl::AusgNach, 511, 84, 511, 59},
      {ItemControl::AusgVor, 638, 84, 638, 59},
      {ItemControl::Export, 1054, 86}}},
    579, true, QStringLiteral("Charge"), 1157, 8, contract::washes};

// The window's members one item sheet fills.
struct ItemSheetMembers
{
    TStringGrid *&grid;
    TLabeledEdit *&waescheId, *&bewNr, *&vorname, *&name, *&artNr, *&artikel, *&charge, *&groesse, *&maxWasch,
        *&anzWasch, *&counter;
    QPushButton *&laden, *&exportButton, *&drucken;
    std::array<TDateTimePicker **, 6> pickers;
    std::array<QLabel **, 6> labels;
    TShape *&lamp;
};

void layoutItemSheet(QWidget *sheet, const ItemSheetLayout &layout, const ItemSheetMembers &m)
{
    static const QString pickerCaptions[6] = {QStringLiteral("Ang. nach"), QStringLiteral("Ang. vor"),
                                              QStringLiteral("Eing. nach"), QStringLiteral("Eing. vor"),
                                              QStringLiteral("Ausg. nach"), QStringLiteral("Ausg. vor")};
    std::array<QWidget *, itemControlCount> tabOrder{};
    for (std::size_t i = 0; i < layout.places.size(); ++i) {
        const ItemPlace &p = layout.places[i];
        auto edit = [&](TLabeledEdit *&member, const QString &caption) {
            member = makeEdit(sheet, caption, p.left, p.top);
            return member;
        };
        QWidget *made = nullptr;
        switch (p.control) {
        case ItemControl::Grid:
            m.grid = makeGrid(sheet, layout.list, p.left, p.top, 1354, layout.gridHeight);
            if (layout.gridHasOwnFont)
                m.grid->setFont(tahoma(16));
            made = m.grid;
            break;
        case ItemControl::WaescheID: made = edit(m.waescheId, QStringLiteral("WaescheID")); break;
        case ItemControl::BewNr: made = edit(m.bewNr, QStringLiteral("TrägerNr")); break;
        case ItemControl::Vorname: made = edit(m.vorname, QStringLiteral("Vorname")); break;
        case ItemControl::Name: made = edit(m.name, QStringLiteral("Name")); break;
        case ItemControl::ArtNr:
            made = edit(m.artNr, QStringLiteral("ArtNr"));
            m.artNr->setVisible(false);
            break;
        case ItemControl::Artikel: made = edit(m.artikel, QStringLiteral("Artikel")); break;
        case ItemControl::Charge: made = edit(m.charge, layout.chargeCaption); break;
        case ItemControl::Groesse: made = edit(m.groesse, QStringLiteral("Größe")); break;
        case ItemControl::MaxWasch: made = edit(m.maxWasch, QStringLiteral("Max. Wasch.")); break;
        case ItemControl::AnzWasch: made = edit(m.anzWasch, QStringLiteral(">Anz. Wasch.")); break;
        case ItemControl::Counter: made = m.counter = makeCounter(sheet, p.left, p.top); break;
        case ItemControl::Laden: made = m.laden = makeButton(sheet, QStringLiteral("Neu Laden"), p.left, p.top); break;
        case ItemControl::Export: made = m.exportButton = makeButton(sheet, QStringLiteral("Export"), p.left, p.top); break;
        case ItemControl::Drucken: made = m.drucken = makeButton(sheet, QStringLiteral("Drucken"), p.left, p.top); break;
        default: { // a date picker with its caption label
            const int k = static_cast<int>(p.control) - firstPicker;
            *m.labels[k] = makeLabel(sheet, pickerCaptions[k], p.labelLeft, p.labelTop);
            made = *m.pickers[k] = makePicker(sheet, p.left, p.top);
            break;
        }
        }
        tabOrder[i] = made;
    }
    m.lamp = makeLamp(sheet, layout.lampLeft, layout.lampTop);
    for (std::size_t i = 1; i < tabOrder.size(); ++i)
        QWidget::setTabOrder(tabOrder[i - 1], tabOrder[i]);
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
    createBewohnerSheet();
    createWaescheSheet();
    createWaschSheet();
    // Each sheet scrolls inside its page and its grid follows the window.
    for (Sheet sheet : {Sheet::Bewohner, Sheet::Waesche, Sheet::Wasch}) {
        auto *area = new SheetScrollArea(sheetOf(sheet), PageControlData, PageControlData->size());
        area->addStretching(gridOf(sheet));
        PageControlData->addTab(area, captionOf(sheet));
    }

    Timer1 = new QTimer(this);
    Timer1->setInterval(500);
    connectHandlers();
    connectKeys();
    describeControls();
}

QWidget *TFPlivoraDaten::sheetOf(Sheet sheet) const
{
    switch (sheet) {
    case Sheet::Bewohner: return TabSheetBewohner;
    case Sheet::Waesche: return TabSheetWaesche;
    case Sheet::Wasch: return TabSheetWaschvorgaenge;
    }
    return nullptr;
}

QString TFPlivoraDaten::captionOf(Sheet sheet)
{
    switch (sheet) {
    case Sheet::Bewohner: return QStringLiteral("Träger");
    case Sheet::Waesche: return QStringLiteral("Wäsche");
    case Sheet::Wasch: return QStringLiteral("Waschvorgänge");
    }
    return {};
}

void TFPlivoraDaten::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // The page control keeps its design margins to the window's edges.
    constexpr int left = 8, top = 20, right = 1383 - 8 - 1368, bottom = 761 - 20 - 733;
    PageControlData->setGeometry(left, top, std::max(0, width() - left - right),
                                 std::max(0, height() - top - bottom));
}

void TFPlivoraDaten::connectKeys()
{
    using dataview::SheetKeyTargets;
    m_keys = new dataview::SheetKeys(
        this, PageControlData,
        {SheetKeyTargets{BitBtnBewLaden, BitBtnBewExport, BitBtnBewDrucken,
                         {LabeledEditBewNr, LabeledEditBewVorname, LabeledEditBewName, LabeledEditWohnbereich}},
         SheetKeyTargets{BitBtnWaeLaden, BitBtnWaeExport, BitBtnWaeDrucken,
                         {LabeledEditWaeWaescheID, LabeledEditWaeBewNr, LabeledEditWaeVorname, LabeledEditWaeName,
                          LabeledEditWaeArtikel, LabeledEditWaeLetzteCharge, LabeledEditWaeGroesse,
                          LabeledEditWaeMaxWasch, LabeledEditWaeAnzWasch, DateTimePickerWAEAngNach,
                          DateTimePickerWAEAngVor, DateTimePickerWAEEingNach, DateTimePickerWAEEingVor,
                          DateTimePickerWAEAusgNach, DateTimePickerWAEAusgVor}},
         SheetKeyTargets{BitBtnWaschLaden, BitBtnWaschExport, BitBtnWaschDruck,
                         {LabeledEditWaschWaescheID, LabeledEditWaschBewNr, LabeledEditWaschVorname,
                          LabeledEditWaschName, LabeledEditWaschArtikel, LabeledEditWaschCharge,
                          LabeledEditWaschGroesse, LabeledEditWaschMaxWasch, LabeledEditWaschAnzWasch,
                          DateTimePickerWaschAngNach, DateTimePickerWaschAngVor, DateTimePickerWaschEingNach,
                          DateTimePickerWaschEingVor, DateTimePickerWaschAusgNach, DateTimePickerWaschAusgVor}}});
}

void TFPlivoraDaten::describeControls()
{
    // Pickers and grids are named by the labels a sighted user reads.
    const std::pair<QLabel *, TDateTimePicker *> pickers[] = {
        {Label7, DateTimePickerWAEAngNach},  {Label8, DateTimePickerWAEAngVor},
        {Label9, DateTimePickerWAEEingNach}, {Label10, DateTimePickerWAEEingVor},
        {Label11, DateTimePickerWAEAusgNach}, {Label12, DateTimePickerWAEAusgVor},
        {Label1, DateTimePickerWaschAngNach}, {Label2, DateTimePickerWaschAngVor},
        {Label3, DateTimePickerWaschEingNach}, {Label4, DateTimePickerWaschEingVor},
        {Label5, DateTimePickerWaschAusgNach}, {Label6, DateTimePickerWaschAusgVor}};
    for (const auto &[label, picker] : pickers) {
        label->setBuddy(picker);
        picker->setAccessibleName(label->text());
    }
    for (Sheet sheet : {Sheet::Bewohner, Sheet::Waesche, Sheet::Wasch}) {
        gridOf(sheet)->setAccessibleName(QStringLiteral("Liste „%1“").arg(captionOf(sheet)));
        counterOf(sheet)->setAccessibleName(counterOf(sheet)->labelCaption());
        lampOf(sheet)->setAccessibleName(QStringLiteral("Ladezustand"));
    }
}

TLabeledEdit *TFPlivoraDaten::counterOf(Sheet sheet) const
{
    switch (sheet) {
    case Sheet::Bewohner: return DatenBew;
    case Sheet::Waesche: return DatenWae;
    case Sheet::Wasch: return DatenWasch;
    }
    return nullptr;
}

QString TFPlivoraDaten::exportFileOf(Sheet sheet)
{
    switch (sheet) {
    case Sheet::Bewohner: return QStringLiteral("Bewohner.csv");
    case Sheet::Waesche: return QStringLiteral("Wäsche.csv");
    case Sheet::Wasch: return QStringLiteral("Waschevorgänge.csv");
    }
    return {};
}

QString TFPlivoraDaten::printDataFileOf(Sheet sheet)
{
    switch (sheet) {
    case Sheet::Bewohner: return PrintComponents::bewohner.dataFile;
    case Sheet::Waesche: return PrintComponents::waesche.dataFile;
    case Sheet::Wasch: return PrintComponents::waschVG.dataFile;
    }
    return {};
}

void TFPlivoraDaten::presentStates()
{
    const std::array<QPushButton *, 3> exports{BitBtnBewExport, BitBtnWaeExport, BitBtnWaschExport};
    const std::array<QPushButton *, 3> prints{BitBtnBewDrucken, BitBtnWaeDrucken, BitBtnWaschDruck};
    const std::array<const bool *, 3> ended{&NoMoreBew, &NoMoreWae, &NoMoreWasch};
    for (Sheet sheet : {Sheet::Bewohner, Sheet::Waesche, Sheet::Wasch}) {
        const int i = pageIndexOf(sheet);
        auto facts = [this, sheet, ended = ended[i]] {
            dataview::ListStateFacts f;
            f.lamp = m_loading->viewOf(sheet).lastLamp();
            f.paused = isPaused(sheet);
            f.ended = *ended;
            f.rowsPlaced = std::max(0, gridOf(sheet)->rowCount() - 2);
            f.exportPath = QDir::toNativeSeparators(QDir::current().absoluteFilePath(exportFileOf(sheet)));
            f.printDataPath = QDir::toNativeSeparators(QDir::current().absoluteFilePath(printDataFileOf(sheet)));
            return f;
        };
        auto *presenter = new dataview::ListStatePresenter({lampOf(sheet), counterOf(sheet), exports[i], prints[i]},
                                                           std::move(facts), this);
        m_loading->viewOf(sheet).onChange([presenter] { presenter->refresh(); });
        presenter->refresh();
        m_presenters[i] = presenter;
    }
}

void TFPlivoraDaten::createBewohnerSheet()
{
    QWidget *s = TabSheetBewohner;
    StringGridBewohner = makeGrid(s, contract::wearers, 3, 61, 1354, 635);
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
}

void TFPlivoraDaten::createWaescheSheet()
{
    layoutItemSheet(TabSheetWaesche, waescheLayout,
                    {StringGridWaesche, LabeledEditWaeWaescheID, LabeledEditWaeBewNr, LabeledEditWaeVorname,
                     LabeledEditWaeName, LabeledEditWaeArtNr, LabeledEditWaeArtikel, LabeledEditWaeLetzteCharge,
                     LabeledEditWaeGroesse, LabeledEditWaeMaxWasch, LabeledEditWaeAnzWasch, DatenWae,
                     BitBtnWaeLaden, BitBtnWaeExport, BitBtnWaeDrucken,
                     {&DateTimePickerWAEAngNach, &DateTimePickerWAEAngVor, &DateTimePickerWAEEingNach,
                      &DateTimePickerWAEEingVor, &DateTimePickerWAEAusgNach, &DateTimePickerWAEAusgVor},
                     {&Label7, &Label8, &Label9, &Label10, &Label11, &Label12},
                     ShapeStatusWae});
}

void TFPlivoraDaten::createWaschSheet()
{
    layoutItemSheet(TabSheetWaschvorgaenge, waschLayout,
                    {StringGridWaschVG, LabeledEditWaschWaescheID, LabeledEditWaschBewNr, LabeledEditWaschVorname,
                     LabeledEditWaschName, LabeledEditWaschArtNr, LabeledEditWaschArtikel, LabeledEditWaschCharge,
                     LabeledEditWaschGroesse, LabeledEditWaschMaxWasch, LabeledEditWaschAnzWasch, DatenWasch,
                     BitBtnWaschLaden, BitBtnWaschExport, BitBtnWaschDruck,
                     {&DateTimePickerWaschAngNach, &DateTimePickerWaschAngVor, &DateTimePickerWaschEingNach,
                      &DateTimePickerWaschEingVor, &DateTimePickerWaschAusgNach, &DateTimePickerWaschAusgVor},
                     {&Label1, &Label2, &Label3, &Label4, &Label5, &Label6},
                     ShapeStatusWasch});
}

void TFPlivoraDaten::connectHandlers()
{
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

bool TFPlivoraDaten::isOnTop(Sheet sheet) const
{
    return PageControlData->currentIndex() == pageIndexOf(sheet);
}

TStringGrid *TFPlivoraDaten::gridOf(Sheet sheet) const
{
    switch (sheet) {
    case Sheet::Bewohner: return StringGridBewohner;
    case Sheet::Waesche: return StringGridWaesche;
    case Sheet::Wasch: return StringGridWaschVG;
    }
    return nullptr;
}

TShape *TFPlivoraDaten::lampOf(Sheet sheet) const
{
    switch (sheet) {
    case Sheet::Bewohner: return ShapeStatusBew;
    case Sheet::Waesche: return ShapeStatusWae;
    case Sheet::Wasch: return ShapeStatusWasch;
    }
    return nullptr;
}

bool TFPlivoraDaten::isPaused(Sheet sheet) const
{
    switch (sheet) {
    case Sheet::Bewohner: return m_loading->bewohner.isPaused();
    case Sheet::Waesche: return m_loading->waesche.isPaused();
    case Sheet::Wasch: return m_loading->wasch.isPaused();
    }
    return false;
}

void TFPlivoraDaten::initSheet(Sheet sheet)
{
    fillHeaders(gridOf(sheet), pageIndexOf(sheet));
    switch (sheet) {
    case Sheet::Bewohner: NoMoreBew = false; break;
    case Sheet::Waesche: NoMoreWae = false; break;
    case Sheet::Wasch: NoMoreWasch = false; break;
    }
    lampOf(sheet)->makeSquareDisc();
}

void TFPlivoraDaten::InitBewohnerSheet()
{
    initSheet(Sheet::Bewohner);
}

void TFPlivoraDaten::InitWaescheSheet()
{
    initSheet(Sheet::Waesche);
}

void TFPlivoraDaten::InitWaschSheet()
{
    initSheet(Sheet::Wasch);
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
    // The count replies come back one after the other; each later step runs
    // once the one before has its reply. Every step runs even when one fails,
    // so the window never stays dead; the first error is shown once at the end.
    // Until then the sheets take no input: a "Neu Laden" before the widths are
    // read would write default widths over the user's width file.
    m_showing = true;
    m_showError.reset();
    PageControlData->setEnabled(false);
    countStep(Sheet::Bewohner, FPlivoraCom->BWTransfer.Initialisiert, &TFPlivoraCom::InitBewohnerCom, [this] {
        countStep(Sheet::Waesche, FPlivoraCom->WAETransfer.Initialisiert, &TFPlivoraCom::InitWaescheCom, [this] {
            resetPickers({DateTimePickerWAEAngNach, DateTimePickerWAEAngVor, DateTimePickerWAEEingNach,
                          DateTimePickerWAEEingVor, DateTimePickerWAEAusgNach, DateTimePickerWAEAusgVor});
            countStep(Sheet::Wasch, FPlivoraCom->WASCHTransfer.Initialisiert, &TFPlivoraCom::InitWaschCom, [this] {
                resetPickers({DateTimePickerWaschAngNach, DateTimePickerWaschAngVor, DateTimePickerWaschEingNach,
                              DateTimePickerWaschEingVor, DateTimePickerWaschAusgNach, DateTimePickerWaschAusgVor});
                finishShow();
            });
        });
    });
}

void TFPlivoraDaten::countStep(Sheet sheet, bool initialised,
                               void (TFPlivoraCom::*exchange)(std::function<void(std::exception_ptr)>),
                               std::function<void()> next)
{
    if (initialised) {
        next();
        return;
    }
    auto outcome = [this, sheet, next](std::exception_ptr error) {
        platform::runGuarded([&] {
            if (error) {
                lampOf(sheet)->setPenColor(clMaroon);
                if (!m_showError) {
                    try {
                        std::rethrow_exception(error);
                    } catch (const std::exception &e) {
                        m_showError = platform::errorMessage(e);
                    }
                }
            }
            next();
        });
    };
    try {
        (FPlivoraCom->*exchange)(outcome);
    } catch (...) {
        outcome(std::current_exception());
    }
}

void TFPlivoraDaten::finishShow()
{
    for (Sheet sheet : {Sheet::Bewohner, Sheet::Waesche, Sheet::Wasch}) {
        try {
            dataview::loadWidthFile(*gridOf(sheet), widthFileOf(sheet));
        } catch (const std::exception &error) {
            if (!m_showError)
                m_showError = platform::errorMessage(error);
        }
    }
    PageControlData->setCurrentIndex(pageIndexOf(Sheet::Bewohner));
    PageControlData->setEnabled(true);
    m_showing = false;
    Timer1->start();
    if (m_showError) {
        const platform::MessageOwner owner(this); // over this window, wherever the focus is
        platform::showErrorBox(*m_showError);
    }
    emit showFinished();
}

void TFPlivoraDaten::setLoadInterval(int milliseconds)
{
    m_loadInterval = milliseconds;
    // At pace 0 each reply brings the next tick at once; this slow beat only
    // picks up what the user does meanwhile (another sheet, "Neu Laden").
    Timer1->setInterval(milliseconds > 0 ? milliseconds : 20);
}

template <class Loader>
void TFPlivoraDaten::takeOutcome(Loader &loader, std::exception_ptr error)
{
    // The error box of a failed reply is shown with the tick guard held, so
    // no tick runs underneath it.
    const bool held = IntRunning;
    IntRunning = true;
    loader.takeOutcome(error);
    IntRunning = held;
    m_loading->announceChanges();
    // At pace 0 the reply is placed and the next chunk asked for right away.
    if (m_loadInterval == 0 && Timer1->isActive())
        platform::runGuarded([this] { Timer1Timer(); });
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
    if (!event->spontaneous()) { // a restore from the task bar is no new show
        const platform::MessageOwner owner(this);
        platform::runGuarded([this] { FormShow(); });
    }
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

void writeWidthFile(Sheet sheet, const TStringGrid *grid)
{
    dataview::saveWidthFile(*grid, widthFileOf(sheet));
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
    writeWidthFile(Sheet::Bewohner, StringGridBewohner);
}

void TFPlivoraDaten::BitBtnWaeLadenClick()
{
    copyItemFilters(FPlivoraCom->WAETransfer,
                    {LabeledEditWaeWaescheID, LabeledEditWaeBewNr, LabeledEditWaeVorname, LabeledEditWaeName,
                     LabeledEditWaeArtNr, LabeledEditWaeArtikel, LabeledEditWaeLetzteCharge,
                     LabeledEditWaeGroesse, LabeledEditWaeMaxWasch, LabeledEditWaeAnzWasch,
                     DateTimePickerWAEAngVor, DateTimePickerWAEAngNach, DateTimePickerWAEEingVor,
                     DateTimePickerWAEEingNach, DateTimePickerWAEAusgVor, DateTimePickerWAEAusgNach});
    writeWidthFile(Sheet::Waesche, StringGridWaesche);
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
    writeWidthFile(Sheet::Wasch, StringGridWaschVG);
    ReloadWasch = true;
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
    // The page is asked again before each list. A list whose step failed has
    // shown its error box while the guard was still held, so no tick ran
    // underneath it; the failure ends the tick.
    bool served = true;
    if (served && isOnTop(Sheet::Bewohner))
        served = m_loading->bewohner.serve();
    if (served && isOnTop(Sheet::Waesche))
        served = m_loading->waesche.serve();
    if (served && isOnTop(Sheet::Wasch))
        served = m_loading->wasch.serve();
    IntRunning = false;
    m_loading->announceChanges();
}

void TFPlivoraDaten::AddBewohnerDataToSheet()
{
    m_loading->bewohner.readRows();
}

void TFPlivoraDaten::AddWaescheDataToSheet()
{
    m_loading->waesche.readRows();
}

void TFPlivoraDaten::AddWaschDataToSheet()
{
    m_loading->wasch.readRows();
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

void TFPlivoraDaten::exportSheet(Sheet sheet)
{
    const QString file = exportFileOf(sheet);
    std::function<void(bool)> buttonControl;
    switch (sheet) {
    case Sheet::Bewohner: buttonControl = [this](bool on) { BewButtonControl(on); }; break;
    case Sheet::Waesche: buttonControl = [this](bool on) { WaeButtonControl(on); }; break;
    case Sheet::Wasch: buttonControl = [this](bool on) { WaschButtonControl(on); }; break;
    }
    buttonControl(false);
    try {
        output::writeGridCsv(*gridOf(sheet)->gridModel(), file);
    } catch (...) {
        buttonControl(true);
        throw;
    }
    buttonControl(true);
}

void TFPlivoraDaten::BitBtnBewExportClick()
{
    exportSheet(Sheet::Bewohner);
}

void TFPlivoraDaten::BitBtnWaeExportClick()
{
    exportSheet(Sheet::Waesche);
}

void TFPlivoraDaten::BitBtnWaschExportClick()
{
    exportSheet(Sheet::Wasch);
}

void TFPlivoraDaten::BitBtnBewDruckenClick()
{
    Printing->printGrid(*StringGridBewohner->gridModel(), PrintComponents::bewohner);
}

void TFPlivoraDaten::BitBtnWaeDruckenClick()
{
    Printing->printGrid(*StringGridWaesche->gridModel(), PrintComponents::waesche);
}

void TFPlivoraDaten::BitBtnWaschDruckClick()
{
    Printing->printGrid(*StringGridWaschVG->gridModel(), PrintComponents::waschVG);
}
