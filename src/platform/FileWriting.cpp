#include "platform/FileWriting.h"

#include "platform/Exception.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace platform {

QString fileCreateErrorMessage(const QString &fileName, const QString &reason)
{
    const QString fullPath = QDir::toNativeSeparators(QFileInfo(fileName).absoluteFilePath());
    return QStringLiteral("Datei \"%1\" kann nicht erstellt werden. %2").arg(fullPath, reason);
}

void writeFile(const QString &fileName, const QByteArray &bytes)
{
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        throw EFCreateError(fileCreateErrorMessage(fileName, file.errorString()));
    qint64 written = 0;
    while (written < bytes.size()) {
        const qint64 n = file.write(bytes.constData() + written, bytes.size() - written);
        if (n <= 0)
            throw EWriteError(QStringLiteral("Stream-Schreibfehler"));
        written += n;
    }
    file.close();
    if (file.error() != QFileDevice::NoError)
        throw EWriteError(QStringLiteral("Stream-Schreibfehler"));
}

} // namespace platform
