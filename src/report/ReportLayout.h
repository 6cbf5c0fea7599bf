#pragma once

#include "report/ReportDefinition.h"
#include "report/ReportDocument.h"

#include <QDateTime>
#include <functional>

class ReportDataSet;

// Builds the page model of a report over a data set.
class ReportLayout
{
public:
    // The data set's field index of each column; a column whose field the data set
    // lacks raises EReportDataError naming the field, the source and the project.
    static QList<int> bindFields(const ReportDefinition &report, const ReportDataSet &data,
                                 const QString &sourceDescription, const QString &projectPath);

    // pageDone is called with each page number (from 1) as the page is laid out.
    static ReportDocument build(const ReportDefinition &report, const ReportDataSet &data,
                                const QList<int> &fieldIndexes, const QDateTime &printTime,
                                const std::function<void(int)> &pageDone = {});

    // A cell as one line: control characters and line separators become blanks.
    static QString singleLine(const QString &text);
};
