#pragma once

#include <QString>
#include <memory>

class INIReader;

// Read-only INI file. A missing file, section or key yields the default; a key
// present with an empty value yields the empty text. Section and key names
// match case-insensitively, as desktop profile files do.
class IniFile
{
public:
    explicit IniFile(const QString &path);
    ~IniFile();

    QString readString(const QString &section, const QString &key, const QString &defaultValue) const;

private:
    std::unique_ptr<INIReader> m_reader;
};
