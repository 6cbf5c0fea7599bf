#include "support/ReportTestSupport.h"

#include "platform/AnsiCodePage.h"

#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTest>
#include <QXmlStreamReader>

namespace reporttest {

QByteArray smallProject(const QString &source)
{
    return QStringLiteral(R"(<?xml version="1.0" encoding="UTF-8"?>
<report-project format="1" active-report="Test">
  <report name="Test">
    <title>Testliste</title>
    <page size="A5" orientation="portrait" margins="10 10 10 10"/>
    <font family="Liberation Sans" size="9"/>
    <data %1/>
    <columns>
      <column field="Spalte1" header="Name" width="30"/>
      <column field="Spalte2" header="Artikel" width="40"/>
      <column field="Spalte3" header="Anz" width="15" align="right"/>
      <column field="Spalte4" header="Bemerkung" width="43"/>
    </columns>
  </report>
</report-project>
)")
        .arg(source)
        .toUtf8();
}

ReportTable smallData()
{
    ReportTable table({QStringLiteral("Spalte1"), QStringLiteral("Spalte2"), QStringLiteral("Spalte3"),
                       QStringLiteral("Spalte4")});
    table.appendRecord({QStringLiteral("Müller"), QStringLiteral("Kasack weiß"), QStringLiteral("12"),
                        QStringLiteral("Größe & Weite")});
    table.appendRecord({QStringLiteral("Öztürk"), QStringLiteral("Hose <blau>"), QStringLiteral("7"),
                        QStringLiteral(R"("Zitat" {RTF} \ back)")});
    table.appendRecord({QStringLiteral("Weiß"), QStringLiteral("Schürze"), QStringLiteral("0"), QString(1000, u'L')});
    table.appendRecord({});
    return table;
}

ReportTable numberedData(int n)
{
    ReportTable table({QStringLiteral("Spalte1"), QStringLiteral("Spalte2"), QStringLiteral("Spalte3"),
                       QStringLiteral("Spalte4")});
    for (int i = 1; i <= n; ++i)
        table.appendRecord({QStringLiteral("Name %1").arg(i), QStringLiteral("Artikel"), QString::number(i)});
    return table;
}

QStringList fifteenFields()
{
    QStringList fields;
    for (int i = 1; i <= 15; ++i)
        fields.append(QStringLiteral("Spalte%1").arg(i));
    return fields;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        QTest::qFail(qPrintable(QStringLiteral("cannot write %1").arg(path)), __FILE__, __LINE__);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QByteArray runTool(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        QTest::qFail(qPrintable(QStringLiteral("%1 failed: %2").arg(program, QString::fromLocal8Bit(process.readAllStandardError()))),
                     __FILE__, __LINE__);
        return {};
    }
    return process.readAllStandardOutput();
}

HtmlTables readHtmlTables(const QByteArray &html)
{
    HtmlTables result;
    QXmlStreamReader xml(html);
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        if (xml.name() == u"table") {
            result.tables.append(QList<QStringList>());
        } else if (xml.name() == u"tr") {
            if (result.tables.isEmpty()) {
                result.error = QStringLiteral("row outside a table");
                return result;
            }
            result.tables.last().append(QStringList());
        } else if (xml.name() == u"th" || xml.name() == u"td") {
            if (result.tables.isEmpty() || result.tables.last().isEmpty()) {
                result.error = QStringLiteral("cell outside a row");
                return result;
            }
            result.tables.last().last().append(xml.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement));
        } else if (xml.name() == u"div" && xml.attributes().value(QStringLiteral("class")) == u"foot") {
            QStringList parts;
            while (xml.readNextStartElement())
                parts.append(xml.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement));
            result.footers.append(parts.join(QLatin1Char(' ')));
        }
    }
    if (xml.hasError())
        result.error = QStringLiteral("line %1: %2").arg(xml.lineNumber()).arg(xml.errorString());
    return result;
}

RtfContent readRtf(const QByteArray &rtf)
{
    static const QSet<QByteArray> known{
        "rtf",     "ansi",    "ansicpg", "deff",      "uc",      "fonttbl", "f",      "fswiss",  "fcharset",
        "colortbl", "red",    "green",   "blue",      "info",    "title",   "doccomm", "paperw", "paperh",
        "margl",   "margr",   "margt",   "margb",     "landscape", "sectd", "lndscpsxn", "pgwsxn", "pghsxn",
        "footery", "footer",  "pard",    "plain",     "fs",      "tqr",     "tx",      "tab",     "par",
        "field",   "fldinst", "fldrslt", "pagebb",    "page",    "sl",      "slmult",  "b",       "trowd",
        "trgaph",  "trleft",  "trrh",    "trhdr",     "clvertalc", "clbrdrt", "clbrdrb", "clbrdrl", "brdrs",
        "brdrw",   "brdrcf",  "clcbpat", "cellx",     "intbl",   "ql",      "qr",      "qc",      "cell",
        "row",     "u",
    };
    static const QSet<QByteArray> destinations{"fonttbl", "colortbl", "info", "footer", "fldinst"};

    RtfContent result;
    auto fail = [&result](const QString &what, qsizetype at) {
        result.error = QStringLiteral("%1 at offset %2").arg(what).arg(at);
        return result;
    };
    if (!rtf.startsWith("{\\rtf1"))
        return fail(QStringLiteral("no {\\rtf1 header"), 0);

    QList<bool> stack;
    bool skip = false;
    bool inTable = false;
    bool headerRow = false;
    bool done = false;
    int pendingFallback = 0;
    int ucCount = 1;
    int cellx = 0;
    QString cellText;
    QString paragraph;
    QStringList row;
    auto text = [&](QChar c) {
        if (pendingFallback > 0) {
            --pendingFallback;
            return;
        }
        if (!skip)
            (inTable ? cellText : paragraph) += c;
    };

    for (qsizetype i = 0; i < rtf.size(); ++i) {
        const uchar c = uchar(rtf.at(i));
        if (c == '\r' || c == '\n')
            continue;
        if (c < 0x20 || c > 0x7E)
            return fail(QStringLiteral("byte 0x%1 is not printable ASCII").arg(c, 2, 16, QLatin1Char('0')), i);
        if (done) {
            if (c != ' ')
                return fail(QStringLiteral("text after the document's closing brace"), i);
            continue;
        }
        if (c == '{') {
            stack.append(skip);
            continue;
        }
        if (c == '}') {
            if (stack.isEmpty())
                return fail(QStringLiteral("unbalanced }"), i);
            skip = stack.takeLast();
            done = stack.isEmpty();
            continue;
        }
        if (c != '\\') {
            text(QLatin1Char(char(c)));
            continue;
        }
        if (i + 1 >= rtf.size())
            return fail(QStringLiteral("backslash at the end"), i);
        const char next = rtf.at(i + 1);
        if (next >= 'a' && next <= 'z') {
            qsizetype j = i + 1;
            while (j < rtf.size() && rtf.at(j) >= 'a' && rtf.at(j) <= 'z')
                ++j;
            const QByteArray word = rtf.mid(i + 1, j - i - 1);
            bool hasParameter = false;
            int parameter = 0;
            qsizetype k = j;
            if (k < rtf.size() && rtf.at(k) == '-')
                ++k;
            while (k < rtf.size() && rtf.at(k) >= '0' && rtf.at(k) <= '9')
                ++k;
            if (k > j && !(k == j + 1 && rtf.at(j) == '-')) {
                hasParameter = true;
                parameter = rtf.mid(j, k - j).toInt();
                j = k;
            }
            if (j < rtf.size() && ((rtf.at(j) >= 'A' && rtf.at(j) <= 'Z') || rtf.at(j) == '-'))
                return fail(QStringLiteral("malformed control word \\%1").arg(QString::fromLatin1(word)), i);
            if (j < rtf.size() && rtf.at(j) == ' ')
                ++j; // the delimiter belongs to the word
            i = j - 1;
            if (!known.contains(word))
                return fail(QStringLiteral("unknown control word \\%1").arg(QString::fromLatin1(word)), i);
            if (destinations.contains(word))
                skip = true;
            if (word == "u") {
                if (!hasParameter || parameter < -32768 || parameter > 32767)
                    return fail(QStringLiteral("\\u needs a signed 16-bit number"), i);
                pendingFallback = 0;
                text(QChar(char16_t(parameter & 0xFFFF)));
                pendingFallback = ucCount;
            } else if (word == "uc") {
                ucCount = parameter;
            } else if (word == "par") {
                if (!skip && !inTable) {
                    result.paragraphs.append(paragraph);
                    paragraph.clear();
                }
            } else if (word == "pard") {
                inTable = false;
            } else if (word == "intbl") {
                inTable = true;
            } else if (word == "tab") {
                text(QLatin1Char('\t'));
            } else if (word == "trowd") {
                cellx = 0;
                headerRow = false;
            } else if (word == "trhdr") {
                headerRow = true;
            } else if (word == "cellx") {
                ++cellx;
            } else if (word == "cell") {
                row.append(cellText);
                cellText.clear();
            } else if (word == "row") {
                if (row.size() != cellx)
                    return fail(QStringLiteral("row with %1 cells but %2 \\cellx").arg(row.size()).arg(cellx), i);
                result.rows.append(row);
                result.headerRow.append(headerRow);
                result.headerRows += headerRow ? 1 : 0;
                row.clear();
            } else if (word == "page" || word == "pagebb") {
                ++result.pageBreaks;
            }
            continue;
        }
        ++i;
        switch (next) {
        case '\\':
        case '{':
        case '}': text(QLatin1Char(next)); break;
        case '\'': {
            bool ok = false;
            const int byte = rtf.mid(i + 1, 2).toInt(&ok, 16);
            if (!ok || i + 2 >= rtf.size())
                return fail(QStringLiteral("malformed \\'hh"), i);
            i += 2;
            text(platform::fromAnsi(QByteArray(1, char(byte))).at(0));
            break;
        }
        case '*': skip = true; break;
        case '~': text(QChar(0xA0)); break;
        default: return fail(QStringLiteral("unknown control symbol \\%1").arg(QLatin1Char(next)), i);
        }
    }
    if (!done)
        return fail(QStringLiteral("the document's group is not closed"), rtf.size());
    return result;
}

} // namespace reporttest
