#include "report/ReportProjectReader.h"

#include "report/ReportErrors.h"

#include <QFile>
#include <QHash>
#include <QSet>
#include <QXmlStreamReader>

namespace {

// Strict on purpose: a misspelt element or attribute is an error rather than a
// silently ignored setting that leaves the report looking wrong.
class Parser
{
public:
    Parser(const QByteArray &content, const QString &path)
        : m_xml(content)
        , m_path(path)
    {
    }

    ReportDefinition run();

private:
    [[noreturn]] void fail(const QString &what) const;
    [[noreturn]] void failXml() const;
    void checkAttributes(const QStringList &allowed) const;
    QString requiredAttribute(const QString &name) const;
    double number(const QString &text, const QString &what) const;
    bool nextChild();

    ReportDefinition readReport();
    void readPage(ReportDefinition &report);
    void readFont(ReportDefinition &report);
    void readData(ReportDefinition &report);
    void readColumns(ReportDefinition &report);

    QXmlStreamReader m_xml;
    QString m_path;
};

void Parser::fail(const QString &what) const
{
    throw EReportProjectFormat(QStringLiteral("The report project \"%1\" cannot be used: %2 (line %3).")
                                   .arg(m_path, what, QString::number(m_xml.lineNumber())));
}

void Parser::failXml() const
{
    QString reason = m_xml.errorString();
    if (reason.endsWith(QLatin1Char('.')))
        reason.chop(1);
    throw EReportProjectFormat(
        QStringLiteral("The report project \"%1\" is not well-formed XML: %2 (line %3, column %4).")
            .arg(m_path, reason, QString::number(m_xml.lineNumber()),
                 QString::number(m_xml.columnNumber())));
}

void Parser::checkAttributes(const QStringList &allowed) const
{
    for (const QXmlStreamAttribute &attribute : m_xml.attributes()) {
        if (!allowed.contains(attribute.qualifiedName().toString()))
            fail(QStringLiteral("unknown attribute \"%1\" on <%2>")
                     .arg(attribute.qualifiedName().toString(), m_xml.name().toString()));
    }
}

QString Parser::requiredAttribute(const QString &name) const
{
    if (!m_xml.attributes().hasAttribute(name))
        fail(QStringLiteral("<%1> lacks the attribute \"%2\"").arg(m_xml.name().toString(), name));
    return m_xml.attributes().value(name).toString();
}

double Parser::number(const QString &text, const QString &what) const
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok)
        fail(QStringLiteral("%1 \"%2\" is not a number").arg(what, text));
    return value;
}

// Moves to the next child element of the current one; false at its end tag.
bool Parser::nextChild()
{
    const bool found = m_xml.readNextStartElement();
    if (m_xml.hasError())
        failXml();
    return found;
}

ReportDefinition Parser::run()
{
    if (!nextChild()) {
        if (m_xml.hasError())
            failXml();
        fail(QStringLiteral("it holds no <report-project> element"));
    }
    if (m_xml.name() != u"report-project")
        fail(QStringLiteral("the root element is <%1>, not <report-project>").arg(m_xml.name().toString()));
    checkAttributes({QStringLiteral("format"), QStringLiteral("active-report")});
    const QString format = requiredAttribute(QStringLiteral("format"));
    if (format != u"1")
        fail(QStringLiteral("format \"%1\" is not supported (this engine reads format \"1\")").arg(format));
    const QString active = requiredAttribute(QStringLiteral("active-report"));

    QList<ReportDefinition> reports;
    QSet<QString> names;
    while (nextChild()) {
        if (m_xml.name() != u"report")
            fail(QStringLiteral("unknown element <%1> in <report-project>").arg(m_xml.name().toString()));
        ReportDefinition report = readReport();
        if (names.contains(report.name))
            fail(QStringLiteral("two reports are named \"%1\"").arg(report.name));
        names.insert(report.name);
        reports.append(std::move(report));
    }
    // Anything after the root element (a second root, stray text) is an XML error.
    while (!m_xml.atEnd())
        m_xml.readNext();
    if (m_xml.hasError())
        failXml();

    for (ReportDefinition &report : reports) {
        if (report.name == active)
            return std::move(report);
    }
    fail(QStringLiteral("the active report \"%1\" is not in the project").arg(active));
}

ReportDefinition Parser::readReport()
{
    checkAttributes({QStringLiteral("name")});
    ReportDefinition report;
    report.name = requiredAttribute(QStringLiteral("name"));
    if (report.name.isEmpty())
        fail(QStringLiteral("a report has an empty name"));

    QSet<QString> seen;
    while (nextChild()) {
        const QString element = m_xml.name().toString();
        if (seen.contains(element))
            fail(QStringLiteral("report \"%1\" has more than one <%2>").arg(report.name, element));
        seen.insert(element);
        if (element == u"title") {
            checkAttributes({});
            report.title = m_xml.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement).trimmed();
            if (m_xml.hasError())
                failXml();
        } else if (element == u"page") {
            readPage(report);
        } else if (element == u"font") {
            readFont(report);
        } else if (element == u"data") {
            readData(report);
        } else if (element == u"columns") {
            readColumns(report);
        } else {
            fail(QStringLiteral("unknown element <%1> in report \"%2\"").arg(element, report.name));
        }
    }
    for (const char *required : {"title", "data", "columns"}) {
        if (!seen.contains(QLatin1String(required)))
            fail(QStringLiteral("report \"%1\" lacks its <%2> element").arg(report.name, QLatin1String(required)));
    }
    return report;
}

void Parser::readPage(ReportDefinition &report)
{
    checkAttributes({QStringLiteral("size"), QStringLiteral("orientation"), QStringLiteral("margins")});
    const QXmlStreamAttributes attributes = m_xml.attributes();
    if (attributes.hasAttribute(QStringLiteral("size"))) {
        static const QHash<QString, QPageSize::PageSizeId> sizes{
            {QStringLiteral("A3"), QPageSize::A3},       {QStringLiteral("A4"), QPageSize::A4},
            {QStringLiteral("A5"), QPageSize::A5},       {QStringLiteral("Letter"), QPageSize::Letter},
            {QStringLiteral("Legal"), QPageSize::Legal},
        };
        const QString size = attributes.value(QStringLiteral("size")).toString();
        if (!sizes.contains(size))
            fail(QStringLiteral("page size \"%1\" is unknown (A3, A4, A5, Letter, Legal)").arg(size));
        report.pageSize = sizes.value(size);
    }
    if (attributes.hasAttribute(QStringLiteral("orientation"))) {
        const QString orientation = attributes.value(QStringLiteral("orientation")).toString();
        if (orientation == u"portrait")
            report.orientation = QPageLayout::Portrait;
        else if (orientation == u"landscape")
            report.orientation = QPageLayout::Landscape;
        else
            fail(QStringLiteral("orientation \"%1\" is neither \"portrait\" nor \"landscape\"").arg(orientation));
    }
    if (attributes.hasAttribute(QStringLiteral("margins"))) {
        const QString text = attributes.value(QStringLiteral("margins")).toString();
        const QStringList parts = text.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (parts.size() != 4)
            fail(QStringLiteral("margins \"%1\" must be four numbers: left top right bottom").arg(text));
        double values[4];
        for (int i = 0; i < 4; ++i) {
            values[i] = number(parts.at(i), QStringLiteral("the margin"));
            if (values[i] < 0 || values[i] > 100)
                fail(QStringLiteral("the margin \"%1\" is outside 0 to 100 mm").arg(parts.at(i)));
        }
        report.marginsMm = QMarginsF(values[0], values[1], values[2], values[3]);
    }
    m_xml.skipCurrentElement();
}

void Parser::readFont(ReportDefinition &report)
{
    checkAttributes({QStringLiteral("family"), QStringLiteral("size")});
    const QXmlStreamAttributes attributes = m_xml.attributes();
    if (attributes.hasAttribute(QStringLiteral("family"))) {
        report.fontFamily = attributes.value(QStringLiteral("family")).toString().trimmed();
        if (report.fontFamily.isEmpty())
            fail(QStringLiteral("the font family is empty"));
    }
    if (attributes.hasAttribute(QStringLiteral("size"))) {
        const QString text = attributes.value(QStringLiteral("size")).toString();
        report.fontSizePt = number(text, QStringLiteral("the font size"));
        if (report.fontSizePt < 4 || report.fontSizePt > 24)
            fail(QStringLiteral("the font size \"%1\" is outside 4 to 24 points").arg(text));
    }
    m_xml.skipCurrentElement();
}

void Parser::readData(ReportDefinition &report)
{
    checkAttributes({QStringLiteral("connection"), QStringLiteral("file")});
    const QXmlStreamAttributes attributes = m_xml.attributes();
    const bool connection = attributes.hasAttribute(QStringLiteral("connection"));
    const bool file = attributes.hasAttribute(QStringLiteral("file"));
    if (connection == file)
        fail(QStringLiteral("<data> must name either a connection or a file"));
    report.source = connection ? ReportDefinition::Source::Connection : ReportDefinition::Source::DataFile;
    report.sourceName = attributes.value(connection ? QStringLiteral("connection") : QStringLiteral("file")).toString();
    if (report.sourceName.isEmpty())
        fail(QStringLiteral("<data> names an empty source"));
    m_xml.skipCurrentElement();
}

void Parser::readColumns(ReportDefinition &report)
{
    checkAttributes({});
    while (nextChild()) {
        if (m_xml.name() != u"column")
            fail(QStringLiteral("unknown element <%1> in <columns>").arg(m_xml.name().toString()));
        checkAttributes({QStringLiteral("field"), QStringLiteral("header"), QStringLiteral("width"),
                         QStringLiteral("align")});
        const QXmlStreamAttributes attributes = m_xml.attributes();
        ReportColumn column;
        column.field = requiredAttribute(QStringLiteral("field"));
        if (column.field.isEmpty())
            fail(QStringLiteral("a column names an empty field"));
        column.header = attributes.hasAttribute(QStringLiteral("header"))
                            ? attributes.value(QStringLiteral("header")).toString()
                            : column.field;
        const QString width = requiredAttribute(QStringLiteral("width"));
        column.widthMm = number(width, QStringLiteral("the column width"));
        if (column.widthMm <= 0 || column.widthMm > 1000)
            fail(QStringLiteral("the column width \"%1\" is outside 0 to 1000 mm").arg(width));
        const QString align = attributes.value(QStringLiteral("align")).toString();
        if (align.isEmpty() || align == u"left")
            column.alignment = Qt::AlignLeft;
        else if (align == u"right")
            column.alignment = Qt::AlignRight;
        else if (align == u"center")
            column.alignment = Qt::AlignHCenter;
        else
            fail(QStringLiteral("alignment \"%1\" is not left, right or center").arg(align));
        report.columns.append(column);
        m_xml.skipCurrentElement();
    }
    if (report.columns.isEmpty())
        fail(QStringLiteral("report \"%1\" has no columns").arg(report.name));
}

} // namespace

ReportDefinition ReportProjectReader::readActiveReport(const QString &absolutePath)
{
    QFile file(absolutePath);
    if (!file.open(QIODevice::ReadOnly))
        throw EReportProjectFormat(QStringLiteral("The report project \"%1\" cannot be read: %2.")
                                       .arg(absolutePath, file.errorString()));
    return parseActiveReport(file.readAll(), absolutePath);
}

ReportDefinition ReportProjectReader::parseActiveReport(const QByteArray &content, const QString &absolutePath)
{
    if (content.trimmed().isEmpty())
        throw EReportProjectFormat(QStringLiteral("The report project \"%1\" is empty.").arg(absolutePath));
    Parser parser(content, absolutePath);
    return parser.run();
}
