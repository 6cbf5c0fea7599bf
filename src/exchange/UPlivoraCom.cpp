#include "exchange/UPlivoraCom.h"

#include "exchange/ChunkRows.h"
#include "platform/DateText.h"

#include <QDate>

TFPlivoraCom *FPlivoraCom = nullptr;

TFPlivoraCom::TFPlivoraCom(LoginData &login, QObject *parent) : QObject(parent), m_login(login)
{
    FormCreate();
}

namespace {

template<typename Record>
void resetCommon(Record &record)
{
    record.Initialisiert = false;
    record.AnzahlDatensaetzeGesamt = 0;
    record.AnzahlDatensaetzeGelesen = 0;
    record.Status = -1;
    record.XMLFile = NewXMLDocument(QStringLiteral("1.0"));
    record.RootNode = XmlNode();
    record.CurNodeRead = XmlNode();
    record.CurNodeWrite = XmlNode();
}

template<typename Record>
void resetLaundryFilters(Record &record)
{
    const QString today = platform::dateText(QDate::currentDate());
    const QString longAgo = QStringLiteral("01.01.2000");
    record.FilterWaescheID.clear();
    record.FilterTraegerNr.clear();
    record.FilterVorname.clear();
    record.FilterName.clear();
    record.FilterArtNr.clear();
    record.FilterArtikel.clear();
    record.FilterCharge.clear();
    record.FilterGroesse.clear();
    record.FilterMaxWasch.clear();
    record.FilterAnzWasch.clear();
    record.FilterAngVor.clear();
    record.FilterAngNach.clear();
    record.FilterEingVor = today;
    record.FilterEingNach = longAgo;
    record.FilterAusgVor = today;
    record.FilterAusgNach = longAgo;
}

// Sets Status 2 however the chunk exchange ends, so the data window always gets its turn back.
template<typename Record>
struct ReplyReadyOnExit
{
    Record &record;
    ~ReplyReadyOnExit() { record.Status = 2; }
};

QString pair(const char *name, const QString &value)
{
    return QLatin1Char('&') + QLatin1String(name) + QLatin1Char('=') + value;
}

} // namespace

void TFPlivoraCom::FormCreate()
{
    resetCommon(BWTransfer);
    BWTransfer.LetzteBewNummer = 0;
    BWTransfer.FilterBewNr.clear();
    BWTransfer.FilterVorname.clear();
    BWTransfer.FilterName.clear();
    BWTransfer.FilterWB.clear();

    resetCommon(WAETransfer);
    WAETransfer.LetzteIDNummer = QStringLiteral("S000000");
    resetLaundryFilters(WAETransfer);

    resetCommon(WASCHTransfer);
    WASCHTransfer.LetzteIDNummer = QStringLiteral("0");
    resetLaundryFilters(WASCHTransfer);
}

template<typename Record>
void TFPlivoraCom::runCount(const QString &pathLiteral, Record &record)
{
    TIdHTTP &http = m_login.IdHTTPPlivora;
    http.Request.setContentType(QStringLiteral("text/xml"));
    http.Request.setCharSet(QStringLiteral("us-ascii"));
    const QString reply = http.Get(m_login.requestUrl(pathLiteral, m_login.credentialsQuery()));

    XmlDocument document = NewXMLDocument(QStringLiteral("1.0"));
    document.LoadFromXML(reply);
    const std::int32_t total = exchange::replyCount(document);
    record.AnzahlDatensaetzeGesamt = total;
    record.Status = 0;
}

template<typename Record>
void TFPlivoraCom::runChunk(const QString &pathLiteral, Record &record)
{
    TIdHTTP &http = m_login.IdHTTPPlivora;
    http.Request.setContentType(QStringLiteral("text/html"));
    http.Request.setCharSet(QStringLiteral("UTF-8"));

    const ReplyReadyOnExit<Record> replyReady{record};
    QString query;
    if constexpr (std::is_same_v<Record, TBWKom>) {
        query = m_login.credentialsQuery() + pair("LBWNum", QString::number(record.LetzteBewNummer))
            + pair("BewNum", record.FilterBewNr) + pair("Vorname", record.FilterVorname)
            + pair("Name", record.FilterName) + pair("WB", record.FilterWB);
    } else {
        query = laundryChunkQuery(record);
    }
    const QString reply = http.Get(m_login.requestUrl(pathLiteral, query));
    // An empty reply (also any HTTP error status) keeps the previous one in place.
    if (!reply.isEmpty())
        record.XMLFile.LoadFromXML(reply);
}

template<typename Record>
QString TFPlivoraCom::laundryChunkQuery(const Record &record) const
{
    // Filters go out as stored: the data window has already encoded the free texts.
    return m_login.credentialsQuery() + pair("LetzteID", record.LetzteIDNummer)
        + pair("WaescheID", record.FilterWaescheID) + pair("BewNum", record.FilterTraegerNr)
        + pair("Vorname", record.FilterVorname) + pair("Name", record.FilterName)
        + pair("ARTNR", record.FilterArtNr) + pair("Artikel", record.FilterArtikel)
        + pair("Charge", record.FilterCharge) + pair("Groesse", record.FilterGroesse)
        + pair("MaxWasch", record.FilterMaxWasch) + pair("AnzWasch", record.FilterAnzWasch)
        + pair("AngVor", record.FilterAngVor) + pair("AngNach", record.FilterAngNach)
        + pair("EingVor", record.FilterEingVor) + pair("EingNach", record.FilterEingNach)
        + pair("AusgVor", record.FilterAusgVor) + pair("AusgNach", record.FilterAusgNach);
}

void TFPlivoraCom::InitBewohnerCom()
{
    runCount(QStringLiteral(" /BewohnerInit?"), BWTransfer);
}

void TFPlivoraCom::InitWaescheCom()
{
    runCount(QStringLiteral(" /WaescheInit?"), WAETransfer);
}

void TFPlivoraCom::InitWaschCom()
{
    runCount(QStringLiteral(" /WaschInit?"), WASCHTransfer);
}

void TFPlivoraCom::GetChunkBewohner()
{
    runChunk(QStringLiteral(" /BewohnerChunk?"), BWTransfer);
}

void TFPlivoraCom::GetChunkWaesche()
{
    runChunk(QStringLiteral(" /WaescheChunk?"), WAETransfer);
}

void TFPlivoraCom::GetChunkWasch()
{
    runChunk(QStringLiteral(" /WaschChunk?"), WASCHTransfer);
}
