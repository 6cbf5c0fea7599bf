#pragma once

#include "dataview/Sheet.h"

#include <QWidget>

#include <array>
#include <memory>

class QLabel;
class QPushButton;
class QTabWidget;
class QTimer;
class TDateTimePicker;
class TLabeledEdit;
class TShape;
class TStringGrid;
class PrintComponents;
namespace dataview {
class ListStatePresenter;
class SheetKeys;
} // namespace dataview

// The data window: three sheets, each a filtered list that the timer loads
// chunk by chunk into its grid.
class TFPlivoraDaten : public QWidget
{
    Q_OBJECT

public:
    explicit TFPlivoraDaten(QWidget *parent = nullptr);
    ~TFPlivoraDaten() override;

    // Controls, named as on screen.
    QTabWidget *PageControlData;
    QWidget *TabSheetBewohner;
    QWidget *TabSheetWaesche;
    QWidget *TabSheetWaschvorgaenge;

    TStringGrid *StringGridBewohner;
    TLabeledEdit *DatenBew;
    TLabeledEdit *LabeledEditBewNr;
    TLabeledEdit *LabeledEditBewVorname;
    TLabeledEdit *LabeledEditBewName;
    TLabeledEdit *LabeledEditWohnbereich;
    QPushButton *BitBtnBewLaden;
    QPushButton *BitBtnBewExport;
    QPushButton *BitBtnBewDrucken;
    TShape *ShapeStatusBew;

    TStringGrid *StringGridWaesche;
    TLabeledEdit *LabeledEditWaeWaescheID;
    TLabeledEdit *LabeledEditWaeVorname;
    TLabeledEdit *LabeledEditWaeName;
    TLabeledEdit *LabeledEditWaeArtNr;
    QPushButton *BitBtnWaeLaden;
    TLabeledEdit *DatenWae;
    TLabeledEdit *LabeledEditWaeArtikel;
    TLabeledEdit *LabeledEditWaeLetzteCharge;
    TLabeledEdit *LabeledEditWaeBewNr;
    TLabeledEdit *LabeledEditWaeMaxWasch;
    TLabeledEdit *LabeledEditWaeAnzWasch;
    TLabeledEdit *LabeledEditWaeGroesse;
    TDateTimePicker *DateTimePickerWAEAngNach;
    TDateTimePicker *DateTimePickerWAEAngVor;
    TDateTimePicker *DateTimePickerWAEEingNach;
    TDateTimePicker *DateTimePickerWAEEingVor;
    TDateTimePicker *DateTimePickerWAEAusgNach;
    TDateTimePicker *DateTimePickerWAEAusgVor;
    QLabel *Label7, *Label8, *Label9, *Label10, *Label11, *Label12;
    QPushButton *BitBtnWaeExport;
    QPushButton *BitBtnWaeDrucken;
    TShape *ShapeStatusWae;

    QPushButton *BitBtnWaschLaden;
    TLabeledEdit *DatenWasch;
    TStringGrid *StringGridWaschVG;
    TLabeledEdit *LabeledEditWaschWaescheID;
    TLabeledEdit *LabeledEditWaschBewNr;
    TLabeledEdit *LabeledEditWaschVorname;
    TLabeledEdit *LabeledEditWaschName;
    TLabeledEdit *LabeledEditWaschArtNr;
    TLabeledEdit *LabeledEditWaschArtikel;
    TLabeledEdit *LabeledEditWaschCharge;
    QPushButton *BitBtnWaschDruck;
    TLabeledEdit *LabeledEditWaschGroesse;
    TLabeledEdit *LabeledEditWaschMaxWasch;
    TLabeledEdit *LabeledEditWaschAnzWasch;
    TDateTimePicker *DateTimePickerWaschAngNach;
    TDateTimePicker *DateTimePickerWaschAngVor;
    TDateTimePicker *DateTimePickerWaschEingNach;
    TDateTimePicker *DateTimePickerWaschEingVor;
    TDateTimePicker *DateTimePickerWaschAusgNach;
    TDateTimePicker *DateTimePickerWaschAusgVor;
    QLabel *Label1, *Label2, *Label3, *Label4, *Label5, *Label6;
    QPushButton *BitBtnWaschExport;
    TShape *ShapeStatusWasch;

    QTimer *Timer1;

    // The login window's print components; printing fills their data set and runs their report.
    PrintComponents *Printing = nullptr;

    bool IntRunning = false;
    bool ReloadBewohner = false;
    bool ReloadWaesche = false;
    bool ReloadWasch = false;
    bool NoMoreBew = false;
    bool NoMoreWae = false;
    bool NoMoreWasch = false;

    void FormCreate();
    void FormShow();
    void FormHide();
    void FormClose();

    void InitBewohnerSheet();
    void InitWaescheSheet();
    void InitWaschSheet();

    void BitBtnBewLadenClick();
    void BitBtnWaeLadenClick();
    void BitBtnWaschLadenClick();

    void BitBtnBewExportClick();
    void BitBtnWaeExportClick();
    void BitBtnWaschExportClick();
    void BewButtonControl(bool Status);
    void WaeButtonControl(bool Status);
    void WaschButtonControl(bool Status);

    void BitBtnBewDruckenClick();
    void BitBtnWaeDruckenClick();
    void BitBtnWaschDruckClick();

    void Timer1Timer();
    void AddBewohnerDataToSheet();
    void AddWaescheDataToSheet();
    void AddWaschDataToSheet();

    // A list whose exchange or row walk failed waits for its "Neu Laden".
    bool isPaused(Sheet sheet) const;
    bool isPaused(int pageIndex) const { return isPaused(static_cast<Sheet>(pageIndex)); }

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    // The loaders of the three lists with the exchange sides and sheet views they talk to.
    struct Loading;

    void createControls();
    void createBewohnerSheet();
    void createWaescheSheet();
    void createWaschSheet();
    void connectHandlers();
    bool isOnTop(Sheet sheet) const;
    TStringGrid *gridOf(Sheet sheet) const;
    TShape *lampOf(Sheet sheet) const;
    void initSheet(Sheet sheet);
    void exportSheet(Sheet sheet);
    void resetPickers(TDateTimePicker *const (&pickers)[6]);
    QWidget *sheetOf(Sheet sheet) const;
    TLabeledEdit *counterOf(Sheet sheet) const;
    static QString captionOf(Sheet sheet);
    static QString exportFileOf(Sheet sheet);
    static QString printDataFileOf(Sheet sheet);
    void connectKeys();
    void describeControls();
    void presentStates();

    std::unique_ptr<Loading> m_loading;
    dataview::SheetKeys *m_keys = nullptr;
    std::array<dataview::ListStatePresenter *, 3> m_presenters{};
};

extern TFPlivoraDaten *FPlivoraDaten;
