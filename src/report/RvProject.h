#pragma once

#include "report/ReportDefinition.h"

#include <QObject>
#include <QPointer>

class RvSystem;

// A report project file and its active report, run by an RvSystem.
class RvProject : public QObject
{
    Q_OBJECT

public:
    explicit RvProject(QObject *parent = nullptr);

    QString ProjectFile() const { return m_projectFile; }
    // A name without any "." gets ".rav" appended; any other name is kept as it is.
    // Relative names are resolved against the working directory when opening.
    void setProjectFile(const QString &name);

    RvSystem *Engine() const { return m_engine; }
    void setEngine(RvSystem *engine) { m_engine = engine; }

    // Loads the project file; does nothing while a project is open. A missing file
    // raises EReportProjectMissing, an unusable one EReportProjectFormat (and, with
    // an engine set, an unknown data connection or field EReportDataError); the
    // project then stays closed.
    void Open();
    // Runs the active report on the engine (opening the project first if needed).
    // A cancelled output-options dialog is a normal return.
    void Execute();
    void Close();
    bool isOpen() const { return m_open; }

    // The open project's absolute path and active report.
    QString openedPath() const { return m_openedPath; }
    const ReportDefinition &activeReport() const;

private:
    QString m_projectFile;
    QPointer<RvSystem> m_engine;
    bool m_open = false;
    QString m_openedPath;
    ReportDefinition m_report;
};
