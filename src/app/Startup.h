#pragma once

// Creates the three objects that live until the program ends, in their order:
// the login window, the data window and the exchange object.
void createPlivoraObjects();
void destroyPlivoraObjects();

// Desktop fonts the windows name, mapped to what this system has installed.
void installFontSubstitutes();
