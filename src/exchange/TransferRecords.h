#pragma once

#include "exchange/XmlDocument.h"

#include <QString>
#include <cstdint>

// The hand-over between the list exchanges and the data window, one record per
// list. Status: -1 reset, 0 ready, 1 requesting, 2 reply ready. The filters hold
// the values exactly as they go into the chunk query.

struct TBWKom
{
    bool Initialisiert = false;
    std::int32_t AnzahlDatensaetzeGesamt = 0;
    std::int32_t AnzahlDatensaetzeGelesen = 0;
    std::int32_t LetzteBewNummer = 0;
    std::int32_t Status = -1;
    XmlDocument XMLFile;
    XmlNode RootNode;
    XmlNode CurNodeRead;
    XmlNode CurNodeWrite;
    QString FilterBewNr;
    QString FilterVorname;
    QString FilterName;
    QString FilterWB;
};

// The laundry-item and wash-process records have the same fields; the tag
// makes them two types, which keeps the two lists apart at every call.
enum class ItemList { Waesche, Wasch };

template <ItemList>
struct TItemKom
{
    bool Initialisiert = false;
    std::int32_t AnzahlDatensaetzeGesamt = 0;
    std::int32_t AnzahlDatensaetzeGelesen = 0;
    QString LetzteIDNummer;
    std::int32_t Status = -1;
    XmlDocument XMLFile;
    XmlNode RootNode;
    XmlNode CurNodeRead;
    XmlNode CurNodeWrite;
    QString FilterWaescheID;
    QString FilterTraegerNr;
    QString FilterVorname;
    QString FilterName;
    QString FilterArtNr;
    QString FilterArtikel;
    QString FilterCharge;
    QString FilterGroesse;
    QString FilterMaxWasch;
    QString FilterAnzWasch;
    QString FilterAngVor;
    QString FilterAngNach;
    QString FilterEingVor;
    QString FilterEingNach;
    QString FilterAusgVor;
    QString FilterAusgNach;
};

using TWaeKom = TItemKom<ItemList::Waesche>;
using TWaschKom = TItemKom<ItemList::Wasch>;

