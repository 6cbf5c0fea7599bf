#include "platform/IniFile.h"

#include <QFile>
#include <INIReader.h>

IniFile::IniFile(const QString &path)
    : m_reader(std::make_unique<INIReader>(QFile::encodeName(path).toStdString()))
{
}

IniFile::~IniFile() = default;

QString IniFile::readString(const QString &section, const QString &key, const QString &defaultValue) const
{
    // inih returns the default only when the key is absent, never for an empty value.
    static const std::string absent("\x01" "absent" "\x01");
    const std::string value = m_reader->Get(section.toStdString(), key.toStdString(), absent);
    return value == absent ? defaultValue : QString::fromStdString(value);
}
