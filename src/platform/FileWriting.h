#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// Creates (or cuts to zero length) the file and writes the bytes.
// A file that cannot be created raises EFCreateError
//   "Datei "<full path>" kann nicht erstellt werden. <system reason>"
// and leaves an existing file untouched; a failure while writing raises
// EWriteError "Stream-Schreibfehler".
void writeFile(const QString &fileName, const QByteArray &bytes);

QString fileCreateErrorMessage(const QString &fileName, const QString &reason);

} // namespace platform
