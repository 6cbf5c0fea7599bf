#include "exchange/UPlivoraCom.h"

#include "contract/ListContract.h"
#include "exchange/ChunkRows.h"
#include "exchange/ContractText.h"
#include "platform/DateText.h"

#include <QDate>

#include <stdexcept>

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

[[noreturn]] void noSuchField(const contract::Parameter &parameter)
{
    throw std::logic_error("the record has no field for the query parameter " + std::string(parameter.name));
}

// The record's filter behind a query parameter. The data window stored the
// filters converted already, so they go out as they stand.
const QString &filterOf(const TBWKom &record, const contract::Parameter &parameter)
{
    switch (parameter.field) {
    case contract::Field::WearerNumber: return record.FilterBewNr;
    case contract::Field::FirstName: return record.FilterVorname;
    case contract::Field::Surname: return record.FilterName;
    case contract::Field::LivingArea: return record.FilterWB;
    default: noSuchField(parameter);
    }
}

template<ItemList L>
const QString &filterOf(const TItemKom<L> &record, const contract::Parameter &parameter)
{
    switch (parameter.field) {
    case contract::Field::ItemId: return record.FilterWaescheID;
    case contract::Field::WearerNumber: return record.FilterTraegerNr;
    case contract::Field::FirstName: return record.FilterVorname;
    case contract::Field::Surname: return record.FilterName;
    case contract::Field::ArticleNumber: return record.FilterArtNr;
    case contract::Field::Article: return record.FilterArtikel;
    case contract::Field::Batch: return record.FilterCharge;
    case contract::Field::Size: return record.FilterGroesse;
    case contract::Field::MaxWashes: return record.FilterMaxWasch;
    case contract::Field::Washes: return record.FilterAnzWasch;
    case contract::Field::CreatedBefore: return record.FilterAngVor;
    case contract::Field::CreatedAfter: return record.FilterAngNach;
    case contract::Field::ReceivedBefore: return record.FilterEingVor;
    case contract::Field::ReceivedAfter: return record.FilterEingNach;
    case contract::Field::DispatchedBefore: return record.FilterAusgVor;
    case contract::Field::DispatchedAfter: return record.FilterAusgNach;
    default: noSuchField(parameter);
    }
}

QString pagingKeyOf(const TBWKom &record)
{
    return QString::number(record.LetzteBewNummer);
}

template<ItemList L>
QString pagingKeyOf(const TItemKom<L> &record)
{
    return record.LetzteIDNummer;
}

const contract::ListContract &contractOf(const TBWKom &)
{
    return contract::wearers;
}

const contract::ListContract &contractOf(const TWaeKom &)
{
    return contract::items;
}

const contract::ListContract &contractOf(const TWaschKom &)
{
    return contract::washes;
}

} // namespace

void setStartPagingKey(TBWKom &record)
{
    const QString start = exchange::contractText(contract::wearers.pagingStart);
    record.LetzteBewNummer = exchange::readTrimmedSignedInt32(start).value();
}

void setStartPagingKey(TWaeKom &record)
{
    record.LetzteIDNummer = exchange::contractText(contract::items.pagingStart);
}

void setStartPagingKey(TWaschKom &record)
{
    record.LetzteIDNummer = exchange::contractText(contract::washes.pagingStart);
}

void TFPlivoraCom::FormCreate()
{
    resetCommon(BWTransfer);
    setStartPagingKey(BWTransfer);
    BWTransfer.FilterBewNr.clear();
    BWTransfer.FilterVorname.clear();
    BWTransfer.FilterName.clear();
    BWTransfer.FilterWB.clear();

    resetCommon(WAETransfer);
    setStartPagingKey(WAETransfer);
    resetLaundryFilters(WAETransfer);

    resetCommon(WASCHTransfer);
    setStartPagingKey(WASCHTransfer);
    resetLaundryFilters(WASCHTransfer);
}

template<typename Record>
void TFPlivoraCom::runCount(Record &record)
{
    TIdHTTP &http = m_login.IdHTTPPlivora;
    http.Request.setContentType(QStringLiteral("text/xml"));
    http.Request.setCharSet(QStringLiteral("us-ascii"));
    const QString reply = http.Get(m_login.requestUrl(contractOf(record).countPath, m_login.credentialsQuery()));

    XmlDocument document = NewXMLDocument(QStringLiteral("1.0"));
    document.LoadFromXML(reply);
    const std::int32_t total = exchange::replyCount(document);
    record.AnzahlDatensaetzeGesamt = total;
    record.Status = 0;
}

template<typename Record>
void TFPlivoraCom::runChunk(Record &record)
{
    TIdHTTP &http = m_login.IdHTTPPlivora;
    http.Request.setContentType(QStringLiteral("text/html"));
    http.Request.setCharSet(QStringLiteral("UTF-8"));

    const ReplyReadyOnExit<Record> replyReady{record};
    const QString reply = http.Get(m_login.requestUrl(contractOf(record).chunkPath, chunkQuery(record)));
    // An empty reply (also any HTTP error status) keeps the previous one in place.
    if (!reply.isEmpty())
        record.XMLFile.LoadFromXML(reply);
}

template<typename Record>
QString TFPlivoraCom::chunkQuery(const Record &record) const
{
    QString query;
    for (const contract::Parameter &parameter : contractOf(record).chunkQuery) {
        if (!query.isEmpty())
            query += QLatin1Char('&');
        query += exchange::contractText(parameter.name) + QLatin1Char('=');
        switch (parameter.field) {
        case contract::Field::Customer:
        case contract::Field::Password: query += m_login.credential(parameter); break;
        case contract::Field::PagingKey: query += pagingKeyOf(record); break;
        default: query += filterOf(record, parameter); break;
        }
    }
    return query;
}

void TFPlivoraCom::InitBewohnerCom()
{
    runCount(BWTransfer);
}

void TFPlivoraCom::InitWaescheCom()
{
    runCount(WAETransfer);
}

void TFPlivoraCom::InitWaschCom()
{
    runCount(WASCHTransfer);
}

void TFPlivoraCom::GetChunkBewohner()
{
    runChunk(BWTransfer);
}

void TFPlivoraCom::GetChunkWaesche()
{
    runChunk(WAETransfer);
}

void TFPlivoraCom::GetChunkWasch()
{
    runChunk(WASCHTransfer);
}
