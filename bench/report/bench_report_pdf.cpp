// Renders 10 000 laundry records of 15 columns through XMLWaescheListe.rav to a
// PDF and prints pages, seconds and pages per second, with the page-model build
// and the PDF painting timed side by side.
//   bench_report_pdf [records] [output.pdf]
#include "bench/report/LaundrySample.h"
#include "report/ReportDocument.h"
#include "report/RvDataSetConnection.h"
#include "report/RvProject.h"
#include "report/RvRenderPDF.h"
#include "report/RvSystem.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <cstdio>

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 10000;
    const QString output = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QDir::temp().filePath("bench_report.pdf");
    try {
        ReportTable items = laundrySample(count);
        RvSystem engine;
        engine.SystemOptions &= ~RvSystemOptions(soShowStatus);
        RvDataSetConnection connection(QStringLiteral("RvDataSetConnectionPlivora"));
        connection.setDataSet(&items);
        engine.addDataConnection(&connection);
        RvProject project;
        project.setEngine(&engine);
        project.setProjectFile(QStringLiteral(PLIVORA_REPORT_RESOURCES "/XMLWaescheListe.rav"));
        project.Open();

        QElapsedTimer timer;
        timer.start();
        const ReportDocument doc = engine.generate(project.activeReport(), project.openedPath());
        const double buildSeconds = timer.nsecsElapsed() / 1e9;

        RvRenderPDF pdf;
        timer.restart();
        pdf.renderToFile(doc, output);
        const double paintSeconds = timer.nsecsElapsed() / 1e9;

        const double total = buildSeconds + paintSeconds;
        std::printf("records            %d (15 columns, XMLWaescheListe.rav)\n", count);
        std::printf("pages              %d\n", doc.pageCount());
        std::printf("page-model build   %.3f s\n", buildSeconds);
        std::printf("PDF painting       %.3f s\n", paintSeconds);
        std::printf("total              %.3f s\n", total);
        std::printf("pages per second   %.1f\n", doc.pageCount() / total);
        std::printf("painting / build   %.1f : 1\n", buildSeconds > 0 ? paintSeconds / buildSeconds : 0.0);
        std::printf("PDF size           %.1f MiB (%s)\n", QFileInfo(output).size() / 1048576.0,
                    qPrintable(output));
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
