#pragma once

#include "dataview/UPlivoraDaten.h"
#include "exchange/LoginData.h"
#include "exchange/UPlivoraCom.h"
#include "support/ScriptedHttpsServer.h"
#include "support/WindowTestFixture.h"

#include <QString>

#include <memory>

namespace testsupport {

// The data window and the exchange object as the program makes them, logged in
// as customer 4711 at the scripted server, with the window's messages captured.
struct DataWindowFixture
{
    DataWindowFixture()
    {
        login->IPWebServer = QStringLiteral("127.0.0.1");
        login->PortWebServer = QString::number(server->port());
        login->KDNummerPub = QStringLiteral("4711");
        login->PWPub = QStringLiteral("geheim");
        FPlivoraDaten = window = new TFPlivoraDaten;
        FPlivoraCom = new TFPlivoraCom(*login);
    }
    ~DataWindowFixture()
    {
        delete FPlivoraCom;
        FPlivoraCom = nullptr;
        delete window;
        server.reset();
        login.reset();
        fixture.reset();
    }
    DataWindowFixture(const DataWindowFixture &) = delete;
    DataWindowFixture &operator=(const DataWindowFixture &) = delete;

    std::unique_ptr<WindowTestFixture> fixture = std::make_unique<WindowTestFixture>();
    std::unique_ptr<ScriptedHttpsServer> server = std::make_unique<ScriptedHttpsServer>();
    std::unique_ptr<LoginData> login = std::make_unique<LoginData>();
    TFPlivoraDaten *window = nullptr;
};

} // namespace testsupport
