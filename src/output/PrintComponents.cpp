#include "output/PrintComponents.h"

#include <QDir>
#include <QPrinter>
#include <QPrinterInfo>

#include <algorithm>

const ListPrint PrintComponents::bewohner{QStringLiteral("./Bewohner.xml"), QStringLiteral("Bewohner.xml"),
                                          QStringLiteral("Bewohner"), QStringLiteral("XMLBewohnerListe")};
const ListPrint PrintComponents::waesche{QStringLiteral("./Waesche.xml"), QStringLiteral("Waesche.xml"),
                                         QStringLiteral("Waesche"), QStringLiteral("XMLWaescheListe.rav")};
const ListPrint PrintComponents::waschVG{QStringLiteral("./WaschVG.xml"), QStringLiteral("WaschVG.xml"),
                                         QStringLiteral("WaschVG"), QStringLiteral("XMLWaschVGListe.rav")};

// The print data set as the report engine reads it: while it is closed it
// still names its fields but holds no record.
class PrintComponents::DataSetView : public ReportDataSet
{
public:
    explicit DataSetView(const TClientDataSet &dataSet)
        : m_dataSet(dataSet)
    {
    }

    QStringList fieldNames() const override
    {
        QStringList names;
        for (int i = 0; i < m_dataSet.fieldCount(); ++i)
            names << m_dataSet.field(i).FieldName;
        return names;
    }
    int recordCount() const override { return m_dataSet.Active() ? m_dataSet.RecordCount() : 0; }
    QString value(int record, int field) const override { return m_dataSet.value(record, field); }

private:
    const TClientDataSet &m_dataSet;
};

PrintComponents::PrintComponents()
    : m_dataSetView(std::make_unique<DataSetView>(ClientDataSet))
{
    const std::array<TStringField *, 15> fields = addPrintFields(ClientDataSet);
    std::copy(fields.begin(), fields.end(), ClientDataSetFields);
    ClientDataSet.FileName = QStringLiteral("./TestBase.xml");

    RvDataSetConnectionPlivora.setDataSet(m_dataSetView.get());
    RvSystem.addDataConnection(&RvDataSetConnectionPlivora);
    for (RvRender *renderer : std::initializer_list<RvRender *>{&RvRenderHTML1, &RvRenderPDF1, &RvRenderRTF1, &RvRenderText1})
        RvSystem.addRenderer(renderer);
    RvSystem.TitlePreview = QStringLiteral("Report Preview");
    RvProject.setEngine(&RvSystem);
}

PrintComponents::~PrintComponents() = default;

void PrintComponents::printGrid(const StringGridModel &grid, const ListPrint &list)
{
    copyGridToDataSet(ClientDataSet, grid, list.dataSetFileName, list.dataFile);
    Ausdrucken(list.label, 1, list.projectName);
}

void PrintComponents::Ausdrucken(const QString &DruckBezeichnung, int AnzahlKopien, const QString &FileName)
{
    Q_UNUSED(DruckBezeichnung) // the job is titled by the project name
    const QString workingDirectory = QDir::currentPath();
    auto restoreWorkingDirectory = [&] {
        if (!QDir::setCurrent(workingDirectory))
            throw EInOutError(QStringLiteral("E/A-Fehler: Das Arbeitsverzeichnis \"%1\" kann nicht wiederhergestellt werden")
                                  .arg(QDir::toNativeSeparators(workingDirectory)));
    };

    if (!FileName.isEmpty())
        RvProject.setProjectFile(FileName);
    AktuellerDrucker = GetDefaultPrinter();
    if (AnzahlKopien >= 1) {
        RvSystem.DefaultDest = rdPreview;
        try {
            RvProject.Open();
            RvSystem.SystemPrinter.Copies = AnzahlKopien;
            RvSystem.TitlePreview = QStringLiteral("Kelvaro3");
            RvSystem.SystemPreview.FormState = Qt::WindowMaximized;
            RvSystem.SystemPrinter.Title = FileName.isEmpty() ? QStringLiteral("Tavolex_") : FileName;
            RvSystem.RenderObject = nullptr;
            RvSystem.OutputFileName.clear();
            RvProject.Execute();
        } catch (...) {
            // A failed run must not leave its project open or the working
            // directory where a file dialog took it: the next print would run
            // this project again and write its files elsewhere.
            RvProject.Close();
            QDir::setCurrent(workingDirectory);
            throw;
        }
        RvProject.Close();
    }
    restoreWorkingDirectory();
}

QString PrintComponents::GetDefaultPrinter() const
{
    return QPrinterInfo::defaultPrinterName().left(254);
}

void PrintComponents::RvSystemBeforePrint(QPrinter *printer)
{
    if (AktuellerDrucker.isEmpty())
        AktuellerDrucker = GetDefaultPrinter();
    if (printer && !AktuellerDrucker.isEmpty())
        printer->setPrinterName(AktuellerDrucker);
}
