#include "app/Startup.h"

#include "app/UPlivora.h"
#include "exchange/UPlivoraCom.h"
#include "dataview/UPlivoraDaten.h"
#include "output/PrintDataFileReader.h"

#include "app/ScrollableWindow.h"

#include <QCoreApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

void installFontSubstitutes()
{
    QFont::insertSubstitutions(QStringLiteral("Tahoma"),
                               {QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans")});
    QFont::insertSubstitutions(QStringLiteral("Arial"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
}

void createPlivoraObjects()
{
    FPlivora = new TFPlivora;
    makeScrollable(FPlivora, FPlivora->size());
    output::installPrintDataFileReader(FPlivora->Print);
    FPlivoraDaten = new TFPlivoraDaten;
    FPlivoraDaten->Printing = &FPlivora->Print;
    FPlivoraCom = new TFPlivoraCom(*FPlivora);
}

void destroyPlivoraObjects()
{
    delete FPlivoraCom;
    delete FPlivoraDaten;
    delete FPlivora;
}

QTranslator *installGermanTranslations()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QLocale(QLocale::German), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))
        || !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return nullptr;
    }
    return translator;
}
