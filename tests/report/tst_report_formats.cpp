#include "platform/AnsiCodePage.h"
#include "report/ReportDocument.h"
#include "report/ReportErrors.h"
#include "support/ReportTestSupport.h"
#include "report/RvDataSetConnection.h"
#include "report/RvProject.h"
#include "report/RvRenderHTML.h"
#include "report/RvRenderPDF.h"
#include "report/RvRenderRTF.h"
#include "report/RvRenderText.h"
#include "report/RvSystem.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using namespace reporttest;

namespace {

const QStringList headers{"Name", "Artikel", "Anz", "Bemerkung"};

// A renderer that breaks down half-way through its output.
class FailingRender : public RvRender
{
public:
    FailingRender()
        : RvRender(QStringLiteral("Broken"), QStringLiteral("*.txt"), nullptr)
    {
    }
    void render(const ReportDocument &, QIODevice &out, const RvPageProgress &) const override
    {
        out.write(QByteArray(100, 'x'));
        throw EReportOutputError(QStringLiteral("Disk full"));
    }
};

QStringList nbsp(const QStringList &cells)
{
    QStringList result;
    for (QString cell : cells)
        result.append(cell.replace(QLatin1Char(' '), QChar(0xA0)));
    return result;
}

// What a page shows, read back from any of the four formats.
struct ReadPage
{
    bool headerRow = false;
    QStringList firstCells; // the first cell of each record, in order
    QString footer;
};

} // namespace

class TestReportFormats : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void sameDataInEveryFormat_data();
    void sameDataInEveryFormat();
    void pageBreaking_data();
    void pageBreaking();
    void longCellsStayInTheirColumns();
    void rtfEscape_data();
    void rtfEscape();
    void htmlServerModeAndBreakingSpaces();
    void unwritableOutput_data();
    void unwritableOutput();
    void failureLeavesNoHalfFile();

private:
    ReportDocument document(const ReportDataSet &data);
    QString render(const RvRender &renderer, const ReportDocument &doc, const QString &name);
    QList<ReadPage> readPages(const QString &format, const QString &file);

    QString m_previousDir;
    std::unique_ptr<QTemporaryDir> m_dir;
    RvRenderPDF m_pdf;
    RvRenderHTML m_html;
    RvRenderRTF m_rtf;
    RvRenderText m_text;
};

void TestReportFormats::init()
{
    m_previousDir = QDir::currentPath();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY(QDir::setCurrent(m_dir->path()));
}

void TestReportFormats::cleanup()
{
    QDir::setCurrent(m_previousDir);
    m_dir.reset();
}

ReportDocument TestReportFormats::document(const ReportDataSet &data)
{
    writeFile(QStringLiteral("Test.rav"), smallProject());
    RvSystem engine;
    engine.SystemOptions &= ~RvSystemOptions(soShowStatus);
    engine.ReportDateTime = QDateTime(QDate(2024, 2, 1), QTime(9, 5));
    RvDataSetConnection connection(QStringLiteral("RvDataSetConnectionPlivora"));
    connection.setDataSet(const_cast<ReportDataSet *>(&data));
    engine.addDataConnection(&connection);
    RvProject project;
    project.setEngine(&engine);
    project.setProjectFile(QStringLiteral("Test"));
    project.Open();
    return engine.generate(project.activeReport(), project.openedPath());
}

QString TestReportFormats::render(const RvRender &renderer, const ReportDocument &doc, const QString &name)
{
    const QString file = QDir(m_dir->path()).filePath(name + renderer.defaultSuffix());
    renderer.renderToFile(doc, file);
    return file;
}

void TestReportFormats::sameDataInEveryFormat_data()
{
    QTest::addColumn<QString>("format");
    QTest::newRow("PDF") << "pdf";
    QTest::newRow("HTML") << "html";
    QTest::newRow("RTF") << "rtf";
    QTest::newRow("TXT") << "txt";
}

void TestReportFormats::sameDataInEveryFormat()
{
    QFETCH(QString, format);
    const ReportTable data = smallData();
    const ReportDocument doc = document(data);
    const QList<QStringList> records{
        {"Müller", "Kasack weiß", "12", "Größe & Weite"},
        {"Öztürk", "Hose <blau>", "7", R"("Zitat" {RTF} \ back)"},
        {"Weiß", "Schürze", "0", QString(1000, u'L')},
        {"", "", "", ""},
    };

    if (format == u"pdf") {
        const QString file = render(m_pdf, doc, QStringLiteral("liste"));
        const QString info = QString::fromUtf8(runTool(QStringLiteral("pdfinfo"), {file}));
        QVERIFY2(info.contains(QRegularExpression("Title: +Testliste\n")), qPrintable(info));
        QVERIFY2(info.contains(QRegularExpression("Creator: +Plivora\n")), qPrintable(info));
        QVERIFY2(info.contains(QRegularExpression("Pages: +1\n")), qPrintable(info));
        QVERIFY2(info.contains(QRegularExpression("Page size: +420 x 595 pts \\(A5\\)")), qPrintable(info));
        // Every font is embedded.
        const QStringList fonts = QString::fromUtf8(runTool(QStringLiteral("pdffonts"), {file})).split('\n', Qt::SkipEmptyParts);
        QVERIFY(fonts.size() > 2);
        for (const QString &line : fonts.mid(2)) {
            const QStringList columns = line.split(' ', Qt::SkipEmptyParts);
            QVERIFY2(columns.size() >= 5 && columns.at(columns.size() - 5) == u"yes", qPrintable(line));
        }
        // The text is there to select and search.
        const QString text = QString::fromUtf8(runTool(QStringLiteral("pdftotext"), {"-layout", file, "-"}));
        for (const QString &expected : headers + QStringList{"Testliste", "Druckdatum: 01.02.2024 09:05",
                                                             "4 Datensätze", "Seite 1 von 1"})
            QVERIFY2(text.contains(expected), qPrintable(expected + "\n" + text));
        for (const QStringList &record : records.mid(0, 2)) {
            for (const QString &cell : record)
                QVERIFY2(text.contains(cell), qPrintable(cell + "\n" + text));
        }
        QVERIFY(text.contains(QStringLiteral("Weiß")));
        QVERIFY(text.contains(QStringLiteral("Schürze")));
        // The 1000-character cell is cut with an ellipsis inside its column.
        QVERIFY2(text.contains(QRegularExpression("LLLLLLLLLL+…")), qPrintable(text));
        QVERIFY(!text.contains(QString(100, u'L')));
    } else if (format == u"html") {
        const QByteArray html = readFile(render(m_html, doc, QStringLiteral("liste")));
        const HtmlTables read = readHtmlTables(html);
        QVERIFY2(read.error.isEmpty(), qPrintable(read.error));
        QCOMPARE(read.tables.size(), 1);
        QList<QStringList> expected{headers};
        for (const QStringList &record : records)
            expected.append(nbsp(record));
        QCOMPARE(read.tables.first(), expected);
        QCOMPARE(read.footers.size(), 1);
        QVERIFY2(read.footers.first().contains(QStringLiteral("Seite 1 von 1")), qPrintable(read.footers.first()));
        QVERIFY(html.contains("<title>Testliste</title>"));
        QVERIFY(html.contains("<meta charset=\"utf-8\"/>"));
        QVERIFY(html.contains("&quot;Zitat&quot;"));
    } else if (format == u"rtf") {
        const QString file = render(m_rtf, doc, QStringLiteral("liste"));
        const RtfContent read = readRtf(readFile(file));
        QVERIFY2(read.error.isEmpty(), qPrintable(read.error));
        QCOMPARE(read.rows, QList<QStringList>{headers} + records);
        QCOMPARE(read.headerRows, 1);
        QCOMPARE(read.pageBreaks, 0);
        QCOMPARE(read.paragraphs.value(0), QStringLiteral("Testliste\tDruckdatum: 01.02.2024 09:05"));
        // unrtf shows the windows-1252 fallbacks; its tab before a cell can come
        // after a first non-ASCII letter, so each row is compared without the tabs.
        const QStringList lines = platform::fromAnsi(runTool(QStringLiteral("unrtf"), {"--text", file})).split('\n');
        for (const QStringList &row : QList<QStringList>{headers} + records.mid(0, 3)) {
            const QString joined = row.join(QString());
            const bool found = std::any_of(lines.cbegin(), lines.cend(), [&](QString line) {
                return line.count(QLatin1Char('\t')) == 4 && line.remove(QLatin1Char('\t')).trimmed() == joined;
            });
            QVERIFY2(found, qPrintable(joined + "\n" + lines.join('\n')));
        }
    } else {
        const QByteArray text = readFile(render(m_text, doc, QStringLiteral("liste")));
        QStringList lines(46);
        lines[3] = QStringLiteral("    Testliste             Druckdatum: 01.02.2024 09:05");
        lines[4] = QStringLiteral("    ") + QString(50, u'=');
        lines[5] = QStringLiteral("    Name        Artikel          Anz Bemerkung");
        lines[6] = QStringLiteral("    Müller      Kasack weiß       12 Größe & Weite");
        lines[7] = QStringLiteral(R"(    Öztürk      Hose <blau>        7 "Zitat" {RTF} \)");
        lines[8] = QStringLiteral("    Weiß        Schürze            0 ") + QString(16, u'L');
        lines[44] = QStringLiteral("    ") + QString(50, u'-');
        lines[45] = QStringLiteral("    4 Datensätze                         Seite 1 von 1");
        QCOMPARE(text, (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8());
    }
}

QList<ReadPage> TestReportFormats::readPages(const QString &format, const QString &file)
{
    QList<ReadPage> pages;
    static const QRegularExpression record(QStringLiteral("^\\s*(Name \\d+)\\s"));
    if (format == u"pdf") {
        const QString info = QString::fromUtf8(runTool(QStringLiteral("pdfinfo"), {file}));
        const int count = QRegularExpression("Pages: +(\\d+)").match(info).captured(1).toInt();
        for (int p = 1; p <= count; ++p) {
            ReadPage page;
            const QString text = QString::fromUtf8(
                runTool(QStringLiteral("pdftotext"), {"-layout", "-f", QString::number(p), "-l", QString::number(p), file, "-"}));
            for (const QString &line : text.split('\n')) {
                if (line.contains(QRegularExpression("^\\s*Name\\s+Artikel\\s+Anz\\s+Bemerkung\\s*$")))
                    page.headerRow = true;
                else if (const auto match = record.match(line); match.hasMatch())
                    page.firstCells.append(match.captured(1));
                else if (line.contains(QStringLiteral("Seite")))
                    page.footer = line.simplified();
            }
            pages.append(page);
        }
    } else if (format == u"html") {
        const HtmlTables read = readHtmlTables(readFile(file));
        if (!read.error.isEmpty() || read.tables.size() != read.footers.size())
            return {};
        for (qsizetype t = 0; t < read.tables.size(); ++t) {
            ReadPage page;
            page.headerRow = read.tables.at(t).value(0) == headers;
            for (const QStringList &row : read.tables.at(t).mid(1))
                page.firstCells.append(row.value(0).replace(QChar(0xA0), QLatin1Char(' ')));
            page.footer = read.footers.at(t).simplified();
            pages.append(page);
        }
    } else if (format == u"rtf") {
        const RtfContent read = readRtf(readFile(file));
        if (!read.error.isEmpty())
            return {};
        for (qsizetype r = 0; r < read.rows.size(); ++r) {
            if (read.headerRow.at(r)) {
                pages.append(ReadPage{read.rows.at(r) == headers, {}, {}});
            } else if (!pages.isEmpty()) {
                pages.last().firstCells.append(read.rows.at(r).value(0));
            }
        }
        // The page numbers are fields of the word processor's footer.
        if (read.pageBreaks != pages.size() - 1)
            return {};
        for (ReadPage &page : pages)
            page.footer = QStringLiteral("(field)");
    } else {
        const QStringList texts = QString::fromUtf8(readFile(file)).split(QLatin1Char('\f'));
        for (const QString &text : texts) {
            ReadPage page;
            const QStringList lines = text.split(QStringLiteral("\r\n"));
            for (const QString &line : lines) {
                if (line == u"    Name        Artikel          Anz Bemerkung")
                    page.headerRow = true;
                else if (const auto match = record.match(line); match.hasMatch())
                    page.firstCells.append(match.captured(1));
                else if (line.contains(QStringLiteral("Seite")))
                    page.footer = line.simplified();
            }
            pages.append(page);
        }
    }
    return pages;
}

void TestReportFormats::pageBreaking_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<int>("records");
    QTest::addColumn<QList<int>>("perPage");
    for (const char *format : {"pdf", "html", "rtf", "txt"}) {
        QTest::addRow("%s, no record", format) << format << 0 << QList<int>{0};
        QTest::addRow("%s, one full page", format) << format << 38 << QList<int>{38};
        QTest::addRow("%s, one over", format) << format << 39 << QList<int>{38, 1};
        QTest::addRow("%s, 100 records", format) << format << 100 << QList<int>{38, 38, 24};
    }
}

// Every page repeats the header row and is numbered "Seite n von m"; the records
// follow each other across the pages without a gap or a repeat.
void TestReportFormats::pageBreaking()
{
    QFETCH(QString, format);
    QFETCH(int, records);
    QFETCH(QList<int>, perPage);
    const ReportTable data = numberedData(records);
    const ReportDocument doc = document(data);
    const RvRender *renderer = format == u"pdf"    ? static_cast<const RvRender *>(&m_pdf)
                               : format == u"html" ? static_cast<const RvRender *>(&m_html)
                               : format == u"rtf"  ? static_cast<const RvRender *>(&m_rtf)
                                                   : static_cast<const RvRender *>(&m_text);
    const QList<ReadPage> pages = readPages(format, render(*renderer, doc, QStringLiteral("seiten")));
    QCOMPARE(pages.size(), perPage.size());
    int next = 1;
    for (qsizetype p = 0; p < pages.size(); ++p) {
        QVERIFY2(pages.at(p).headerRow, qPrintable(QStringLiteral("page %1 has no header row").arg(p + 1)));
        QStringList expected;
        for (int i = 0; i < perPage.at(p); ++i)
            expected.append(QStringLiteral("Name %1").arg(next++));
        QCOMPARE(pages.at(p).firstCells, expected);
        if (format != u"rtf") {
            const QString count = records == 1 ? QStringLiteral("1 Datensatz") : QStringLiteral("%1 Datensätze").arg(records);
            QCOMPARE(pages.at(p).footer, QStringLiteral("%1 Seite %2 von %3").arg(count).arg(p + 1).arg(pages.size()));
        }
    }
}

// A cell far wider than its column is cut inside it: in the PDF no word of a
// column reaches into the next one, in the text file each column keeps its width.
void TestReportFormats::longCellsStayInTheirColumns()
{
    ReportTable data({"Spalte1", "Spalte2", "Spalte3", "Spalte4"});
    data.appendRecord({QString(1000, u'A'), QString(1000, u'B'), QString(1000, u'9'), QString(1000, u'D')});
    data.appendRecord({"kurz", QString(500, u'ö') + "\n" + QString(500, u'x'), "1", "Ende"});
    const ReportDocument doc = document(data);

    const QString pdf = render(m_pdf, doc, QStringLiteral("lang"));
    const QString bbox = QString::fromUtf8(runTool(QStringLiteral("pdftotext"), {"-bbox", pdf, "-"}));
    // Column edges in points: 10, 40, 80, 95 and 138 mm.
    const QList<double> edges{28.35, 113.39, 226.77, 269.29, 391.18};
    static const QRegularExpression word(
        QStringLiteral("<word xMin=\"([\\d.]+)\" yMin=\"[\\d.]+\" xMax=\"([\\d.]+)\" yMax=\"[\\d.]+\">([^<]*)</word>"));
    int checked = 0;
    for (auto it = word.globalMatch(bbox); it.hasNext();) {
        const auto match = it.next();
        const QString text = match.captured(3);
        if (!text.contains(QStringLiteral("AAA")) && !text.contains(QStringLiteral("BBB")) &&
            !text.contains(QStringLiteral("999")) && !text.contains(QStringLiteral("DDD")) &&
            !text.contains(QStringLiteral("ööö")))
            continue;
        const double left = match.captured(1).toDouble();
        const double right = match.captured(2).toDouble();
        const auto column = std::upper_bound(edges.cbegin(), edges.cend(), left) - edges.cbegin() - 1;
        QVERIFY2(column >= 0 && column < 4, qPrintable(text));
        QVERIFY2(right <= edges.at(column + 1), qPrintable(QStringLiteral("%1 ends at %2").arg(text.left(10)).arg(right)));
        QVERIFY2(text.endsWith(QChar(0x2026)), qPrintable(text));
        ++checked;
    }
    QCOMPARE(checked, 5);

    const QStringList lines = QString::fromUtf8(m_text.renderText(doc)).split(QStringLiteral("\r\n"));
    QCOMPARE(lines.value(6), QStringLiteral("    %1 %2 %3 %4")
                                 .arg(QString(11, u'A'), QString(14, u'B'), QString(5, u'9'), QString(16, u'D')));
    // A line break inside a value stays on the record's one line.
    QCOMPARE(lines.value(7), QStringLiteral("    kurz        %1     1 Ende").arg(QString(14, u'ö')));

    const HtmlTables html = readHtmlTables(m_html.renderHtml(doc));
    QVERIFY2(html.error.isEmpty(), qPrintable(html.error));
    QCOMPARE(html.tables.value(0).value(1).value(0), QString(1000, u'A'));
    const RtfContent rtf = readRtf(m_rtf.renderRtf(doc));
    QVERIFY2(rtf.error.isEmpty(), qPrintable(rtf.error));
    QCOMPARE(rtf.rows.value(2).value(1), QString(500, u'ö') + " " + QString(500, u'x'));
}

void TestReportFormats::rtfEscape_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("rtf");
    QTest::newRow("plain") << "Hose 42" << "Hose 42";
    QTest::newRow("specials") << R"(a\b{c}d)" << R"(a\\b\{c\}d)";
    QTest::newRow("umlaut") << "Müller" << R"(M\u252\'fcller)";
    QTest::newRow("sharp s") << "weiß" << R"(wei\u223\'df)";
    QTest::newRow("euro in windows-1252") << "5 €" << R"(5 \u8364\'80)";
    QTest::newRow("similar letter") << "Łódź" << R"(\u321L\u243\'f3d\u378z)";
    QTest::newRow("above 32767 is negative") << QString(QChar(0xFB01)) << R"(\u-1279?)";
    QTest::newRow("no fallback") << "中" << R"(\u20013?)";
    QTest::newRow("surrogate pair") << "😀" << R"(\u-10179?\u-8704?)";
    QTest::newRow("control character") << "a\tb" << "a b";
}

void TestReportFormats::rtfEscape()
{
    QFETCH(QString, text);
    QFETCH(QString, rtf);
    QCOMPARE(RvRenderRTF::escape(text), rtf);
}

void TestReportFormats::htmlServerModeAndBreakingSpaces()
{
    const ReportTable data = smallData();
    const ReportDocument doc = document(data);
    RvRenderHTML html;
    html.ServerMode = true;
    html.UseBreakingSpaces = true;
    const QByteArray fragment = html.renderHtml(doc);
    QVERIFY(fragment.startsWith("<div class=\"page\">"));
    QVERIFY(!fragment.contains("<html") && !fragment.contains("<body") && !fragment.contains("<style"));
    // Well-formed once wrapped in one element; blanks stay ordinary spaces.
    const HtmlTables read = readHtmlTables("<body>" + fragment + "</body>");
    QVERIFY2(read.error.isEmpty(), qPrintable(read.error));
    QCOMPARE(read.tables.value(0).value(1), (QStringList{"Müller", "Kasack weiß", "12", "Größe & Weite"}));
}

void TestReportFormats::unwritableOutput_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason");
    for (const char *format : {"pdf", "html", "rtf", "txt"}) {
        QTest::addRow("%s into a missing folder", format) << format << "fehlt/liste" << "cannot be created: ";
        QTest::addRow("%s onto a folder", format) << format << "ordner" << "cannot be created: it is a directory.";
    }
}

void TestReportFormats::unwritableOutput()
{
    QFETCH(QString, format);
    QFETCH(QString, name);
    QFETCH(QString, reason);
    QVERIFY(QDir().mkpath(QStringLiteral("ordner.") + format));
    const ReportTable data = smallData();
    const ReportDocument doc = document(data);
    const RvRender *renderer = format == u"pdf"    ? static_cast<const RvRender *>(&m_pdf)
                               : format == u"html" ? static_cast<const RvRender *>(&m_html)
                               : format == u"rtf"  ? static_cast<const RvRender *>(&m_rtf)
                                                   : static_cast<const RvRender *>(&m_text);
    const QString file = QDir(m_dir->path()).filePath(name + QLatin1Char('.') + format);
    const QStringList before = QDir().entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    try {
        renderer->renderToFile(doc, file);
        QFAIL("the output was written");
    } catch (const EReportOutputError &error) {
        QVERIFY2(error.message().contains(QStringLiteral("The output file \"%1\" %2").arg(file, reason)),
                 qPrintable(error.message()));
    }
    QCOMPARE(QDir().entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), before);
    QVERIFY(QDir(QStringLiteral("ordner.") + format).isEmpty());
}

// A renderer failing half-way leaves neither a half file nor its temporary file,
// and an older file of that name as it was.
void TestReportFormats::failureLeavesNoHalfFile()
{
    const ReportTable data = smallData();
    const ReportDocument doc = document(data);
    FailingRender broken;
    writeFile(QStringLiteral("alt.txt"), "alter Inhalt");
    for (const QString &name : {QStringLiteral("neu.txt"), QStringLiteral("alt.txt")}) {
        try {
            broken.renderToFile(doc, name);
            QFAIL("the broken renderer succeeded");
        } catch (const EReportOutputError &error) {
            QCOMPARE(error.message(), QStringLiteral("Disk full"));
        }
    }
    QStringList left = QDir().entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    left.sort();
    QCOMPARE(left, (QStringList{"Test.rav", "alt.txt"}));
    QCOMPARE(readFile(QStringLiteral("alt.txt")), QByteArray("alter Inhalt"));
}

QTEST_MAIN(TestReportFormats)
#include "tst_report_formats.moc"
