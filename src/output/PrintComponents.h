#pragma once

#include "output/ClientDataSet.h"
#include "report/ReportDataSet.h"
#include "report/RvDataSetConnection.h"
#include "report/RvProject.h"
#include "report/RvRenderHTML.h"
#include "report/RvRenderPDF.h"
#include "report/RvRenderRTF.h"
#include "report/RvRenderText.h"
#include "report/RvSystem.h"

#include <QString>

class QPrinter;
class StringGridModel;

// What printing one list needs besides its grid.
struct ListPrint
{
    QString dataSetFileName; // the data file the data set opens, e.g. "./Bewohner.xml"
    QString dataFile;        // the data file saved for the report, e.g. "Bewohner.xml"
    QString label;           // the print label, e.g. "Bewohner"
    QString projectName;     // the report project, e.g. "XMLBewohnerListe"
};

// The print data set with its data connection, the report project and the
// report system with its four file renderers: the login window's print
// components, with the print routine that drives them.
class PrintComponents
{
public:
    PrintComponents();
    ~PrintComponents();
    PrintComponents(const PrintComponents &) = delete;
    PrintComponents &operator=(const PrintComponents &) = delete;

    static const ListPrint bewohner;
    static const ListPrint waesche;
    static const ListPrint waschVG;

    TClientDataSet ClientDataSet{QStringLiteral("ClientDataSet")};
    // ClientDataSetSpalte1 ... ClientDataSetSpalte6, ClientDataSetFeld7, ClientDataSetSpalte8 ... 15
    TStringField *ClientDataSetFields[15];
    RvDataSetConnection RvDataSetConnectionPlivora{QStringLiteral("RvDataSetConnectionPlivora")};
    ::RvProject RvProject;
    ::RvSystem RvSystem;
    RvRenderHTML RvRenderHTML1;
    RvRenderPDF RvRenderPDF1;
    RvRenderRTF RvRenderRTF1;
    RvRenderText RvRenderText1;

    // Copies grid rows 1 to RowCount - 2 into the data set, saves it to the
    // list's data file and runs the list's report.
    void printGrid(const StringGridModel &grid, const ListPrint &list);

    void Ausdrucken(const QString &DruckBezeichnung, int AnzahlKopien, const QString &FileName);
    // The desktop's default printer, at most 254 characters; empty when there is none.
    QString GetDefaultPrinter() const;
    // Picks AktuellerDrucker for a run; kept for a before-print hook, connected to none.
    void RvSystemBeforePrint(QPrinter *printer);
    QString aktuellerDrucker() const { return AktuellerDrucker; }

private:
    class DataSetView;

    QString AktuellerDrucker;
    std::unique_ptr<DataSetView> m_dataSetView;
};
