#include "report/ReportDocument.h"
#include "report/ReportErrors.h"
#include "support/ReportTestSupport.h"
#include "report/RvDataSetConnection.h"
#include "report/RvProject.h"
#include "report/RvRenderPDF.h"
#include "report/RvRenderText.h"
#include "report/RvSystem.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

using namespace reporttest;

class TestReportProject : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void projectFileName_data();
    void projectFileName();
    void missingProjectMessage();
    void malformedProject_data();
    void malformedProject();
    void unknownDataNames_data();
    void unknownDataNames();
    void openDoesNothingWhileOpen();
    void shippedProjects_data();
    void shippedProjects();

private:
    QString m_previousDir;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestReportProject::init()
{
    m_previousDir = QDir::currentPath();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir::setCurrent(m_dir->path()));
}

void TestReportProject::cleanup()
{
    QDir::setCurrent(m_previousDir);
    m_dir.reset();
}

void TestReportProject::projectFileName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("projectFile");
    QTest::newRow("no dot gets .rav") << "XMLBewohnerListe" << "XMLBewohnerListe.rav";
    QTest::newRow(".rav stays") << "XMLWaescheListe.rav" << "XMLWaescheListe.rav";
    QTest::newRow("other extension stays") << "Liste.v2" << "Liste.v2";
    QTest::newRow("dot in a folder counts") << "alt.d/Liste" << "alt.d/Liste";
    QTest::newRow("empty stays empty") << "" << "";
}

void TestReportProject::projectFileName()
{
    QFETCH(QString, name);
    QFETCH(QString, projectFile);
    RvProject project;
    project.setProjectFile(name);
    QCOMPARE(project.ProjectFile(), projectFile);
}

void TestReportProject::missingProjectMessage()
{
    RvProject project;
    project.setProjectFile(QStringLiteral("XMLBewohnerListe"));
    try {
        project.Open();
        QFAIL("a missing project opened");
    } catch (const EReportProjectMissing &error) {
        QCOMPARE(error.message(), QStringLiteral("The following reporting project does not exist:\r\"") +
                                      QDir(m_dir->path()).filePath("XMLBewohnerListe.rav") + QLatin1Char('"'));
    }
    QVERIFY(!project.isOpen());
}

void TestReportProject::malformedProject_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("problem");
    const QByteArray good = smallProject();
    auto replaced = [&good](const char *from, const char *to) {
        QByteArray bytes = good;
        const qsizetype at = bytes.indexOf(from);
        Q_ASSERT(at >= 0);
        return bytes.replace(at, qstrlen(from), to);
    };
    QTest::newRow("empty") << QByteArray() << "is empty";
    QTest::newRow("only blanks") << QByteArray(" \r\n\t") << "is empty";
    QTest::newRow("cut off") << good.left(good.size() / 2) << "is not well-formed XML";
    QTest::newRow("mismatched tag") << replaced("</columns>", "</column>") << "is not well-formed XML";
    QTest::newRow("second root") << good + "<report-project/>" << "is not well-formed XML";
    QTest::newRow("wrong root") << QByteArray("<project/>") << "the root element is <project>";
    QTest::newRow("unknown format") << replaced("format=\"1\"", "format=\"2\"") << "format \"2\" is not supported";
    QTest::newRow("no active report") << replaced(" active-report=\"Test\"", "")
                                      << "<report-project> lacks the attribute \"active-report\"";
    QTest::newRow("active report missing") << replaced("active-report=\"Test\"", "active-report=\"Andere\"")
                                           << "the active report \"Andere\" is not in the project";
    QTest::newRow("unknown element") << replaced("<title>", "<farbe/><title>") << "unknown element <farbe>";
    QTest::newRow("unknown attribute") << replaced("header=\"Name\"", "heading=\"Name\"")
                                       << "unknown attribute \"heading\" on <column>";
    QTest::newRow("title twice") << replaced("<title>", "<title>A</title><title>") << "more than one <title>";
    QTest::newRow("no data") << replaced("<data connection=\"RvDataSetConnectionPlivora\"/>", "")
                             << "lacks its <data> element";
    QTest::newRow("two sources") << replaced("connection=", "file=\"a.xml\" connection=")
                                 << "<data> must name either a connection or a file";
    QTest::newRow("no columns element") << replaced("<columns>", "<!--").replace("</columns>", "-->")
                                        << "lacks its <columns> element";
    QTest::newRow("no field") << replaced("field=\"Spalte1\" ", "") << "<column> lacks the attribute \"field\"";
    QTest::newRow("width not a number") << replaced("width=\"30\"", "width=\"breit\"")
                                        << "the column width \"breit\" is not a number";
    QTest::newRow("negative width") << replaced("width=\"30\"", "width=\"-3\"") << "outside 0 to 1000 mm";
    QTest::newRow("unknown alignment") << replaced("align=\"right\"", "align=\"rechts\"")
                                       << "alignment \"rechts\" is not left, right or center";
    QTest::newRow("unknown orientation") << replaced("orientation=\"portrait\"", "orientation=\"quer\"")
                                         << "orientation \"quer\"";
    QTest::newRow("unknown page size") << replaced("size=\"A5\"", "size=\"B7\"") << "page size \"B7\" is unknown";
    QTest::newRow("three margins") << replaced("margins=\"10 10 10 10\"", "margins=\"10 10 10\"")
                                   << "must be four numbers";
}

void TestReportProject::malformedProject()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, problem);
    writeFile(QStringLiteral("Liste.rav"), content);
    RvProject project;
    project.setProjectFile(QStringLiteral("Liste.rav"));
    try {
        project.Open();
        QFAIL("a malformed project opened");
    } catch (const EReportProjectFormat &error) {
        const QString path = QDir(m_dir->path()).filePath("Liste.rav");
        QVERIFY2(error.message().contains(QLatin1Char('"') + path + QLatin1Char('"')), qPrintable(error.message()));
        QVERIFY2(error.message().contains(problem), qPrintable(error.message()));
    }
    QVERIFY(!project.isOpen());
}

void TestReportProject::unknownDataNames_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("problem");
    QByteArray unknownField = smallProject();
    unknownField.replace("field=\"Spalte4\"", "field=\"Spalte16\"");
    QTest::newRow("unknown field")
        << unknownField
        << QStringList{"names the field \"Spalte16\"", "the data connection \"RvDataSetConnectionPlivora\"",
                       "Spalte1, Spalte2, Spalte3, Spalte4"};
    QTest::newRow("unknown connection")
        << smallProject(QStringLiteral("connection=\"RvDataSetConnectionAndere\""))
        << QStringList{"the data connection \"RvDataSetConnectionAndere\", which the report system does not know"};
}

void TestReportProject::unknownDataNames()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, problem);
    writeFile(QStringLiteral("Liste.rav"), content);
    ReportTable data = smallData();
    RvSystem engine;
    RvDataSetConnection connection(QStringLiteral("RvDataSetConnectionPlivora"));
    connection.setDataSet(&data);
    engine.addDataConnection(&connection);
    RvProject project;
    project.setEngine(&engine);
    project.setProjectFile(QStringLiteral("Liste"));
    try {
        project.Open();
        QFAIL("a project with unknown names opened");
    } catch (const EReportDataError &error) {
        QVERIFY2(error.message().contains(QDir(m_dir->path()).filePath("Liste.rav")), qPrintable(error.message()));
        for (const QString &part : problem)
            QVERIFY2(error.message().contains(part), qPrintable(error.message()));
    }
    QVERIFY(!project.isOpen());
}

void TestReportProject::openDoesNothingWhileOpen()
{
    writeFile(QStringLiteral("A.rav"), smallProject());
    writeFile(QStringLiteral("B.rav"), smallProject().replace("Testliste", "Zweite Liste"));
    RvProject project;
    project.setProjectFile(QStringLiteral("A"));
    project.Open();
    project.setProjectFile(QStringLiteral("B"));
    project.Open();
    QCOMPARE(project.activeReport().title, QStringLiteral("Testliste"));
    QVERIFY(project.openedPath().endsWith(QLatin1String("/A.rav")));
    project.Close();
    QVERIFY(!project.isOpen());
    project.Open();
    QCOMPARE(project.activeReport().title, QStringLiteral("Zweite Liste"));
}

void TestReportProject::shippedProjects_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("passedName");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("headers");
    QTest::addColumn<int>("orientation");
    const QStringList items{"WaescheID",  "TraegerNr", "Name",        "Vorname", "ArtNr",
                            "Artikel",    "Ort",       "AnzEingang",  "Angelegt", "Eingang",
                            "LieferAdrID", "Ausgang",  "LetzteCharge", "Groesse", "MaxWasch"};
    QStringList washes = items;
    washes[12] = QStringLiteral("Charge");
    QTest::newRow("wearers") << "XMLBewohnerListe.rav" << "XMLBewohnerListe" << "Trägerliste"
                             << QStringList{"TraegerNr", "Name", "Vorname", "Zimmernummer", "LieferAdrID",
                                            "Wohnbereich"}
                             << int(QPageLayout::Portrait);
    QTest::newRow("laundry items") << "XMLWaescheListe.rav" << "XMLWaescheListe.rav" << "Wäscheliste" << items
                                   << int(QPageLayout::Landscape);
    QTest::newRow("wash processes") << "XMLWaschVGListe.rav" << "XMLWaschVGListe.rav" << "Waschvorgänge" << washes
                                    << int(QPageLayout::Landscape);
}

void TestReportProject::shippedProjects()
{
    QFETCH(QString, file);
    QFETCH(QString, passedName);
    QFETCH(QString, title);
    QFETCH(QStringList, headers);
    QFETCH(int, orientation);
    QVERIFY(QFile::copy(QStringLiteral(PLIVORA_REPORT_RESOURCES "/") + file, file));

    ReportTable data(fifteenFields());
    QStringList values;
    for (int i = 1; i <= 15; ++i)
        values.append(i <= headers.size() ? QStringLiteral("W%1ä").arg(i) : QString());
    data.appendRecord(values);
    RvSystem engine;
    engine.SystemOptions &= ~RvSystemOptions(soShowStatus);
    RvDataSetConnection connection(QStringLiteral("RvDataSetConnectionPlivora"));
    connection.setDataSet(&data);
    engine.addDataConnection(&connection);
    RvProject project;
    project.setEngine(&engine);
    project.setProjectFile(passedName);
    project.Open();

    const ReportDefinition &report = project.activeReport();
    QCOMPARE(report.title, title);
    QCOMPARE(int(report.orientation), orientation);
    QStringList shownHeaders;
    QStringList fields;
    for (const ReportColumn &column : report.columns) {
        shownHeaders.append(column.header);
        fields.append(column.field);
    }
    QCOMPARE(shownHeaders, headers);
    QCOMPARE(fields, fifteenFields().mid(0, headers.size()));

    const ReportDocument doc = engine.generate(report, project.openedPath());
    QCOMPARE(doc.pageCount(), 1);
    RvRenderPDF pdf;
    pdf.renderToFile(doc, QStringLiteral("out.pdf"));
    const QString text = QString::fromUtf8(runTool(QStringLiteral("pdftotext"), {"-layout", "out.pdf", "-"}));
    QVERIFY2(text.contains(title), qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("Seite 1 von 1")));
    for (int i = 0; i < headers.size(); ++i) {
        QVERIFY2(text.contains(headers.at(i)), qPrintable(headers.at(i)));
        QVERIFY2(text.contains(values.at(i)), qPrintable(values.at(i)));
    }
    // Every column has room for its header: none is cut short.
    QVERIFY2(!text.contains(QChar(0x2026)), qPrintable(text));
}

QTEST_MAIN(TestReportProject)
#include "tst_report_project.moc"
