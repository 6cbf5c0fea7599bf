#pragma once

#include <QByteArray>
#include <QString>

// The desktop's ANSI code page. This platform has none, so windows-1252 takes
// its place: it holds every letter of German text and the euro sign.
namespace platform {

QByteArray ansiCodePageName();

// A character the code page lacks becomes a similar one where one is known
// (an accented Latin letter loses its accent, "ł" becomes "l"), otherwise "?".
QByteArray toAnsi(const QString &text);
QString fromAnsi(const QByteArray &bytes);

} // namespace platform
