#pragma once

class QTranslator;

// Creates the three objects that live until the program ends, in their order:
// the login window, the data window and the exchange object.
void createPlivoraObjects();
void destroyPlivoraObjects();

// Desktop fonts the windows name, mapped to what this system has installed.
void installFontSubstitutes();

// The toolkit's own German texts (standard buttons, file and printer dialogs)
// and the German locale. Returns the installed translator, owned by the
// application, or nullptr when the translation is not installed: the toolkit
// then speaks English and the program runs all the same.
QTranslator *installGermanTranslations();
