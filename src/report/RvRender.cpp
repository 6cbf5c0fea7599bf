#include "report/RvRender.h"

#include "report/ReportErrors.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace {

QStringList patterns(const QString &fileExtension)
{
    QStringList result;
    for (const QString &part : fileExtension.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString pattern = part.trimmed();
        if (!pattern.isEmpty())
            result.append(pattern);
    }
    return result;
}

QString suffixOf(const QString &pattern)
{
    const qsizetype dot = pattern.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : pattern.mid(dot);
}

} // namespace

RvRender::RvRender(QString displayName, QString fileExtension, QObject *parent)
    : QObject(parent)
    , DisplayName(std::move(displayName))
    , FileExtension(std::move(fileExtension))
{
}

QString RvRender::defaultSuffix() const
{
    const QStringList all = patterns(FileExtension);
    return all.isEmpty() ? QString() : suffixOf(all.first());
}

bool RvRender::matchesFileName(const QString &fileName) const
{
    for (const QString &pattern : patterns(FileExtension)) {
        const QString suffix = suffixOf(pattern);
        if (!suffix.isEmpty() && fileName.endsWith(suffix, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

QString RvRender::fileDialogFilter() const
{
    return QStringLiteral("%1 (%2)").arg(DisplayName, patterns(FileExtension).join(QLatin1Char(' ')));
}

void RvRender::renderToFile(const ReportDocument &doc, const QString &fileName, const RvPageProgress &progress) const
{
    const QString path = QDir::cleanPath(QFileInfo(fileName).absoluteFilePath());
    if (QFileInfo(path).isDir())
        throw EReportOutputError(
            QStringLiteral("The output file \"%1\" cannot be created: it is a directory.").arg(path));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw EReportOutputError(
            QStringLiteral("The output file \"%1\" cannot be created: %2.").arg(path, file.errorString()));
    // An exception from here on leaves through QSaveFile's destructor, which
    // removes the temporary file.
    render(doc, file, progress);
    if (!file.commit())
        throw EReportOutputError(
            QStringLiteral("The output file \"%1\" cannot be written: %2.").arg(path, file.errorString()));
}
