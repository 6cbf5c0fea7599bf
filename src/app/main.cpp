#include "app/Startup.h"
#include "app/UPlivora.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    installFontSubstitutes();
    installGermanTranslations();
    createPlivoraObjects();
    FPlivora->show();
    const int exitCode = QApplication::exec();
    destroyPlivoraObjects();
    return exitCode;
}
