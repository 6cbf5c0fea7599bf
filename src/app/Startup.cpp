#include "app/Startup.h"

#include "app/UPlivora.h"
#include "exchange/UPlivoraCom.h"
#include "dataview/UPlivoraDaten.h"
#include "output/PrintDataFileReader.h"

#include <QFont>

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
    output::installPrintDataFileReader(FPlivora->Print);
    FPlivoraDaten = new TFPlivoraDaten;
    FPlivoraDaten->Printing = &FPlivora->Print;
    FPlivoraCom = new TFPlivoraCom(*FPlivora);
}

void destroyPlivoraObjects()
{
    delete FPlivoraCom;
    FPlivoraCom = nullptr;
    delete FPlivoraDaten;
    delete FPlivora;
}
