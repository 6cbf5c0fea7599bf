#pragma once

#include <QDate>
#include <QString>
#include <optional>

// Date texts are always the German short date form dd.MM.yyyy, whatever the
// process locale: the service reads filter dates in exactly this form.
namespace platform {

inline constexpr const char *shortDateFormat = "dd.MM.yyyy";

QString dateText(const QDate &date);
std::optional<QDate> readDateText(const QString &text);

} // namespace platform
