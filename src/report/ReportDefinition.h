#pragma once

#include <QList>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QString>

// One report of a project file, as read: what it shows and where its records come from.
struct ReportColumn
{
    QString field;  // a field name of the data set, e.g. "Spalte3"
    QString header; // the column header text
    double widthMm = 0;
    Qt::Alignment alignment = Qt::AlignLeft;
};

struct ReportDefinition
{
    enum class Source { Connection, DataFile };

    QString name;
    QString title;
    QPageSize::PageSizeId pageSize = QPageSize::A4;
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    QMarginsF marginsMm{15, 12, 15, 12};
    QString fontFamily = QStringLiteral("Liberation Sans");
    double fontSizePt = 9;
    Source source = Source::Connection;
    QString sourceName; // the connection's component name, or the data file's name
    QList<ReportColumn> columns;
};
