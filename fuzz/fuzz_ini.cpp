// A configuration file's bytes, read for the two keys the login window needs.
#include "platform/IniFile.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const IniFile ini = IniFile::fromContent(
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size)));
    ini.readString(QStringLiteral("Global"), QStringLiteral("IPWebServer"), QStringLiteral("127.0.0.1"));
    ini.readString(QStringLiteral("global"), QStringLiteral("portwebserver"), QStringLiteral("8080"));
    return 0;
}
