#include "platform/AnsiCodePage.h"

#include <QList>
#include <QStringDecoder>
#include <QStringEncoder>

#include <unicode/translit.h>
#include <unicode/unistr.h>

#include <memory>

namespace platform {

namespace {

// The characters windows-1252 places at 0x80-0x9F; the rest of its upper half is Latin-1.
bool inCodePage(char32_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return true;
    switch (c) {
    case 0x20AC: case 0x201A: case 0x0192: case 0x201E: case 0x2026: case 0x2020: case 0x2021:
    case 0x02C6: case 0x2030: case 0x0160: case 0x2039: case 0x0152: case 0x017D: case 0x2018:
    case 0x2019: case 0x201C: case 0x201D: case 0x2022: case 0x2013: case 0x2014: case 0x02DC:
    case 0x2122: case 0x0161: case 0x203A: case 0x0153: case 0x017E: case 0x0178:
        return true;
    default:
        return false;
    }
}

bool allInCodePage(const QString &text)
{
    for (const QChar ch : text)
        if (!inCodePage(ch.unicode()) || ch.isSurrogate())
            return false;
    return true;
}

icu::Transliterator *latinToAscii()
{
    static std::unique_ptr<icu::Transliterator> translit = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::Transliterator> t(icu::Transliterator::createInstance(
            icu::UnicodeString::fromUTF8("Latin-ASCII"), UTRANS_FORWARD, status));
        return U_SUCCESS(status) ? std::move(t) : nullptr;
    }();
    return translit.get();
}

// Best-fit replacement for one character outside the code page.
QString similarCharacter(char32_t c)
{
    const QString single = QString::fromUcs4(&c, 1);
    const QString decomposed = single.normalized(QString::NormalizationForm_D);
    if (!decomposed.isEmpty() && decomposed != single && inCodePage(decomposed.at(0).unicode())
        && !decomposed.at(0).isSurrogate())
        return decomposed.left(1);
    if (icu::Transliterator *t = latinToAscii()) {
        icu::UnicodeString u(static_cast<UChar32>(c));
        t->transliterate(u);
        std::string utf8;
        u.toUTF8String(utf8);
        const QString fitted = QString::fromStdString(utf8);
        if (!fitted.isEmpty() && fitted != single && fitted.size() <= 2 && allInCodePage(fitted))
            return fitted;
    }
    return QStringLiteral("?");
}

} // namespace

QByteArray ansiCodePageName()
{
    return QByteArrayLiteral("windows-1252");
}

QByteArray toAnsi(const QString &text)
{
    QStringEncoder encoder(ansiCodePageName().constData());
    if (allInCodePage(text))
        return encoder.encode(text);

    QString fitted;
    fitted.reserve(text.size());
    for (const char32_t c : text.toUcs4()) {
        if (inCodePage(c))
            fitted += QChar(static_cast<char16_t>(c));
        else
            fitted += similarCharacter(c);
    }
    return encoder.encode(fitted);
}

QString fromAnsi(const QByteArray &bytes)
{
    QStringDecoder decoder(ansiCodePageName().constData());
    return decoder.decode(bytes);
}

} // namespace platform
