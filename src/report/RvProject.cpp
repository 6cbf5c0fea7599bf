#include "report/RvProject.h"

#include "report/ReportErrors.h"
#include "report/ReportProjectReader.h"
#include "report/RvSystem.h"

#include <QDir>
#include <QFileInfo>

RvProject::RvProject(QObject *parent)
    : QObject(parent)
{
}

void RvProject::setProjectFile(const QString &name)
{
    if (!name.isEmpty() && !name.contains(QLatin1Char('.')))
        m_projectFile = name + QLatin1String(".rav");
    else
        m_projectFile = name;
}

void RvProject::Open()
{
    if (m_open)
        return;
    const QString path = QDir::cleanPath(QFileInfo(m_projectFile).absoluteFilePath());
    const QFileInfo info(path);
    if (m_projectFile.isEmpty() || !info.exists() || info.isDir())
        throw EReportProjectMissing(QStringLiteral("The following reporting project does not exist:") +
                                    QLatin1Char('\r') + QLatin1Char('"') + path + QLatin1Char('"'));
    ReportDefinition report = ReportProjectReader::readActiveReport(path);
    if (m_engine)
        m_engine->checkReport(report, path);
    m_report = std::move(report);
    m_openedPath = path;
    m_open = true;
}

void RvProject::Execute()
{
    Open();
    if (!m_engine)
        throw EReportError(QStringLiteral("The report project \"%1\" has no engine to run it.").arg(m_openedPath));
    m_engine->execute(m_report, m_openedPath);
}

void RvProject::Close()
{
    m_open = false;
    m_openedPath.clear();
    m_report = ReportDefinition();
}

const ReportDefinition &RvProject::activeReport() const
{
    if (!m_open)
        throw EReportError(QStringLiteral("The report project is not open."));
    return m_report;
}
