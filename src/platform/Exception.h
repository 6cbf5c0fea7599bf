#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

// Every error the program raises carries a user-readable message; the guard in
// ErrorBox shows it. One subclass per kind of error so callers and tests can tell them apart.
class Exception : public std::exception
{
public:
    explicit Exception(QString message);

    const QString &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

#define PLIVORA_DECLARE_EXCEPTION(Name, Base)                                                       \
    class Name : public Base                                                                        \
    {                                                                                               \
    public:                                                                                         \
        using Base::Base;                                                                           \
    };

PLIVORA_DECLARE_EXCEPTION(EConvertError, Exception)
PLIVORA_DECLARE_EXCEPTION(EListError, Exception)
PLIVORA_DECLARE_EXCEPTION(EInOutError, Exception)
PLIVORA_DECLARE_EXCEPTION(EStreamError, Exception)
// A file could not be created: "Datei "<path>" kann nicht erstellt werden. <reason>"
PLIVORA_DECLARE_EXCEPTION(EFCreateError, EStreamError)
// A file was created but writing to it failed: "Stream-Schreibfehler"
PLIVORA_DECLARE_EXCEPTION(EWriteError, EStreamError)
