#pragma once

#include "report/ReportDefinition.h"

// Reads a report project file (".rav", see docs/report-project-format.md) and
// returns its active report. Anything empty, not well-formed, unknown or missing
// raises EReportProjectFormat naming the file, the line and the problem.
class ReportProjectReader
{
public:
    static ReportDefinition readActiveReport(const QString &absolutePath);
    static ReportDefinition parseActiveReport(const QByteArray &content, const QString &absolutePath);
};
