#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

// Read-only INI file, read the way desktop profile files are: a missing file,
// section or key yields the default; a key present with an empty value yields
// the empty text. Section and key names match case-insensitively; the first of
// repeated keys counts (also across repeated sections); white space around
// names and values is dropped, and so is one pair of double or single quotes
// enclosing a value. A ";" inside a value is part of it; a line starting with
// ";" or holding no "=" is no entry; nothing continues onto the next line.
class IniFile
{
public:
    explicit IniFile(const QString &path);

    // The entries of a file's bytes: UTF-8, a leading byte-order mark dropped.
    static IniFile fromContent(const QByteArray &content);

    QString readString(const QString &section, const QString &key, const QString &defaultValue) const;

private:
    IniFile() = default;
    void parse(const QByteArray &content);

    struct Entry
    {
        QString section;
        QString key;
        QString value;
    };
    std::vector<Entry> m_entries;
};
