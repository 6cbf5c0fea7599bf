#pragma once

#include "exchange/LoginData.h"
#include "exchange/TransferRecords.h"

#include <QObject>

#include <exception>
#include <functional>

// The server-exchange object: holds the three transfer records and runs the
// count and chunk exchanges of the three lists. Never shown; a container only.
class TFPlivoraCom : public QObject
{
    Q_OBJECT

public:
    explicit TFPlivoraCom(LoginData &login, QObject *parent = nullptr);

    TBWKom BWTransfer;
    TWaeKom WAETransfer;
    TWaschKom WASCHTransfer;

    // Start values of the three records; runs once from the constructor.
    void FormCreate();

    // Every exchange sends its request and returns at once; its outcome is
    // handed to `done` later on this object's thread, with the error the
    // exchange ended in, if any. One exchange at a time is the callers' rule.
    using Outcome = std::function<void(std::exception_ptr error)>;

    // Count exchanges: store the list's total and set Status 0, only on success.
    // An empty reply (also any HTTP error status) or one without a document
    // element fails with ECountReplyError.
    void InitBewohnerCom(Outcome done);
    void InitWaescheCom(Outcome done);
    void InitWaschCom(Outcome done);

    // Chunk exchanges: request the rows after the record's paging key with its
    // filters and load a non-empty reply into XMLFile. The record shows Status
    // 2 when the outcome is handed on, on every way out, also with an error.
    void GetChunkBewohner(Outcome done);
    void GetChunkWaesche(Outcome done);
    void GetChunkWasch(Outcome done);

    // An exchange has been sent and its outcome not yet handed on.
    bool exchangeInFlight() const { return m_inFlight > 0; }

private:
    template<typename Record>
    void runCount(Record &record, Outcome done);
    template<typename Record>
    void runChunk(Record &record, Outcome done);
    // The list's chunk query in its order: credentials, paging key, filters.
    template<typename Record>
    QString chunkQuery(const Record &record) const;

    LoginData &m_login;
    int m_inFlight = 0;
};

extern TFPlivoraCom *FPlivoraCom;

// The paging key of a new load, the key of the list's first chunk.
void setStartPagingKey(TBWKom &record);
void setStartPagingKey(TWaeKom &record);
void setStartPagingKey(TWaschKom &record);
