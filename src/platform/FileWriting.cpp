#include "platform/FileWriting.h"

#include "platform/Exception.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace platform {

QString fileCreateErrorMessage(const QString &fileName, const QString &reason)
{
    const QString fullPath = QDir::toNativeSeparators(QFileInfo(fileName).absoluteFilePath());
    return QStringLiteral("Datei \"%1\" kann nicht erstellt werden. %2").arg(fullPath, reason);
}

namespace {

[[noreturn]] void throwWriteError()
{
    throw EWriteError(QStringLiteral("Stream-Schreibfehler"));
}

void writeAll(QIODevice &device, const QByteArray &bytes)
{
    qint64 written = 0;
    while (written < bytes.size()) {
        const qint64 n = device.write(bytes.constData() + written, bytes.size() - written);
        if (n <= 0)
            throwWriteError();
        written += n;
    }
}

// A device or pipe cannot be replaced by renaming; it is written as it stands.
void writeInPlace(const QString &fileName, const QByteArray &bytes)
{
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        throw EFCreateError(fileCreateErrorMessage(fileName, file.errorString()));
    writeAll(file, bytes);
    file.close();
    if (file.error() != QFileDevice::NoError)
        throwWriteError();
}

// Opening the file itself for writing, without cutting it, refuses a read-only
// file or folder with the system's own reason before anything is written; the
// rename would otherwise replace a read-only file.
void checkWritable(const QString &fileName)
{
    const bool existed = QFileInfo::exists(fileName);
    QFile probe(fileName);
    if (!probe.open(QIODevice::WriteOnly | QIODevice::Append))
        throw EFCreateError(fileCreateErrorMessage(fileName, probe.errorString()));
    probe.close();
    if (!existed)
        probe.remove();
}

} // namespace

void writeFile(const QString &fileName, const QByteArray &bytes)
{
    const QFileInfo info(fileName);
    if (info.exists() && !info.isFile() && !info.isDir()) {
        writeInPlace(fileName, bytes);
        return;
    }
    checkWritable(fileName);

    // The bytes go to a temporary file beside the target, which replaces the
    // old file only once complete: a full disk keeps the old file as it was.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        throw EFCreateError(fileCreateErrorMessage(fileName, file.errorString()));
    writeAll(file, bytes); // an early return discards the temporary file
    if (!file.commit())
        throwWriteError();
}

} // namespace platform
