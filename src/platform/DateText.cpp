#include "platform/DateText.h"

namespace platform {

QString dateText(const QDate &date)
{
    return date.toString(QLatin1String(shortDateFormat));
}

std::optional<QDate> readDateText(const QString &text)
{
    const QDate date = QDate::fromString(text, QLatin1String(shortDateFormat));
    if (!date.isValid())
        return std::nullopt;
    return date;
}

} // namespace platform
