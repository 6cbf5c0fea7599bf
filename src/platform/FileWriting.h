#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// Creates or replaces the file with the bytes, through a temporary file in the
// same folder that takes the file's place only when it is complete.
// A file that cannot be created (read-only file or folder, missing folder)
// raises EFCreateError
//   "Datei "<full path>" kann nicht erstellt werden. <system reason>"
// before anything is written; a failure while writing raises EWriteError
// "Stream-Schreibfehler", keeps the old file as it was and removes the
// temporary one. A device such as /dev/full is written in place.
void writeFile(const QString &fileName, const QByteArray &bytes);

QString fileCreateErrorMessage(const QString &fileName, const QString &reason);

} // namespace platform
