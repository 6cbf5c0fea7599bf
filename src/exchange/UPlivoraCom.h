#pragma once

#include "exchange/LoginData.h"
#include "exchange/TransferRecords.h"

#include <QObject>

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

    // Count exchanges: store the list's total and set Status 0, only on success.
    // An empty reply (also any HTTP error status) or one without a document
    // element fails with ECountReplyError.
    void InitBewohnerCom();
    void InitWaescheCom();
    void InitWaschCom();

    // Chunk exchanges: request the rows after the record's paging key with its
    // filters and load a non-empty reply into XMLFile. Status is 2 afterwards on
    // every way out, also when an error goes on to the caller.
    void GetChunkBewohner();
    void GetChunkWaesche();
    void GetChunkWasch();

private:
    template<typename Record>
    void runCount(Record &record);
    template<typename Record>
    void runChunk(Record &record);
    // The list's chunk query in its order: credentials, paging key, filters.
    template<typename Record>
    QString chunkQuery(const Record &record) const;

    LoginData &m_login;
};

extern TFPlivoraCom *FPlivoraCom;

// The paging key of a new load, the key of the list's first chunk.
void setStartPagingKey(TBWKom &record);
void setStartPagingKey(TWaeKom &record);
void setStartPagingKey(TWaschKom &record);
