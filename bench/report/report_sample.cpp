// Writes a realistic 250-item laundry list from XMLWaescheListe.rav (and the
// wearer list from XMLBewohnerListe.rav) in every file format into a folder, to look at,
// with pictures of the output-options dialog and the preview.
//   report_sample <folder> [records]
// The print date is fixed, so the files of two runs compare byte for byte.
#include "bench/report/LaundrySample.h"
#include "report/ReportDocument.h"
#include "report/RvDataSetConnection.h"
#include "report/RvOutputOptionsDialog.h"
#include "report/RvPreviewWindow.h"
#include "report/RvProject.h"
#include "report/RvRenderHTML.h"
#include "report/RvRenderPDF.h"
#include "report/RvRenderRTF.h"
#include "report/RvRenderText.h"
#include "report/RvSystem.h"

#include <QApplication>
#include <QDir>
#include <cstdio>

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/report_sample");
    const int count = argc > 2 ? QByteArray(argv[2]).toInt() : 250;
    QDir().mkpath(folder);
    try {
        ReportTable items = laundrySample(count);
        ReportTable wearers(items.fieldNames());
        for (int i = 0; i < std::min(count, 60); ++i)
            wearers.appendRecord({items.value(i, 1), items.value(i, 2), items.value(i, 3),
                                  QStringLiteral("%1.%2").arg(1 + i % 3).arg(10 + i % 25), items.value(i, 10),
                                  QStringLiteral("Wohnbereich %1").arg(QChar(u'A' + i % 4))});
        RvSystem engine;
        engine.ReportDateTime = QDateTime(QDate(2024, 3, 1), QTime(8, 30));
        RvDataSetConnection connection(QStringLiteral("RvDataSetConnectionPlivora"));
        engine.addDataConnection(&connection);
        RvRenderPDF pdf;
        RvRenderHTML html;
        RvRenderRTF rtf;
        RvRenderText text;
        const RvRender *renderers[] = {&pdf, &html, &rtf, &text};
        const struct
        {
            const char *project;
            ReportTable *data;
        } runs[] = {{"XMLWaescheListe.rav", &items}, {"XMLBewohnerListe.rav", &wearers},
                    {"XMLWaschVGListe.rav", &items}};
        for (const auto &run : runs) {
            connection.setDataSet(run.data);
            RvProject project;
            project.setEngine(&engine);
            project.setProjectFile(QStringLiteral(PLIVORA_REPORT_RESOURCES "/") + QLatin1String(run.project));
            project.Open();
            const ReportDocument doc = engine.generate(project.activeReport(), project.openedPath());
            const QString base = QDir(folder).filePath(QFileInfo(QLatin1String(run.project)).completeBaseName());
            for (const RvRender *renderer : renderers)
                renderer->renderToFile(doc, base + renderer->defaultSuffix());
            std::printf("%s: %d pages\n", run.project, doc.pageCount());
        }

        engine.TitlePreview = QStringLiteral("Kelvaro3");
        engine.addRenderer(&pdf);
        engine.addRenderer(&html);
        engine.addRenderer(&rtf);
        engine.addRenderer(&text);
        RvOutputOptionsDialog options(engine.outputSettings(), RvOutputOptionsDialog::Purpose::Run);
        options.show();
        options.grab().save(QDir(folder).filePath("OutputOptions.png"));
        connection.setDataSet(&items);
        RvProject project;
        project.setEngine(&engine);
        project.setProjectFile(QStringLiteral(PLIVORA_REPORT_RESOURCES "/XMLWaescheListe.rav"));
        project.Open();
        auto doc = std::make_shared<ReportDocument>(engine.generate(project.activeReport(), project.openedPath()));
        RvPreviewWindow preview(engine, doc);
        preview.setWindowState(Qt::WindowNoState);
        preview.resize(1280, 800);
        preview.show();
        preview.grab().save(QDir(folder).filePath("Preview.png"));
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
