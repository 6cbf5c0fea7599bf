#include "exchange/XmlDocument.h"

#include <QDomDocument>
#include <QStringList>
#include <QXmlStreamReader>

struct XmlDocumentData
{
    QDomDocument dom;
    bool active = true;
    std::uint64_t generation = 0;
};

namespace {

const QString noActiveDocument = QStringLiteral("Kein aktives Dokument");

QDomDocument checkedDom(const std::shared_ptr<XmlDocumentData> &d)
{
    if (!d || !d->active)
        throw EXMLDocError(noActiveDocument);
    return d->dom;
}

QString localPart(const QString &qualifiedName)
{
    const qsizetype colon = qualifiedName.indexOf(QLatin1Char(':'));
    return colon < 0 ? qualifiedName : qualifiedName.mid(colon + 1);
}

QString sourceLine(const QString &text, int lineNumber)
{
    // The parser counts lines from 1 and ends a line at LF; a CR before it is not content.
    const QStringList lines = text.split(QLatin1Char('\n'));
    if (lineNumber < 1 || lineNumber > lines.size())
        return QString();
    QString line = lines.at(lineNumber - 1);
    if (line.endsWith(QLatin1Char('\r')))
        line.chop(1);
    return line.left(40);
}

QString parseErrorMessage(const QString &reason, int line, const QString &source)
{
    // Laid out as "%s%s%s: %d%s%s": reason, CRLF, "Zeile", line number, CRLF, source line.
    const QString crlf = QStringLiteral("\r\n");
    return reason + crlf + QStringLiteral("Zeile") + QStringLiteral(": ") + QString::number(line) + crlf
        + sourceLine(source, line);
}

// A table reply needs three levels. The DOM parser's time grows with the square
// of the nesting depth, so a hostile reply nested 100 000 deep would freeze the
// window for minutes; one linear pass refuses it before any node is built.
constexpr int maxNestingDepth = 64;

void refuseDeepNesting(const QString &source)
{
    QXmlStreamReader reader(source);
    int depth = 0;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            if (++depth > maxNestingDepth)
                throw EDOMParseError(parseErrorMessage(
                    QStringLiteral("Elemente sind tiefer als %1 Ebenen verschachtelt").arg(maxNestingDepth),
                    static_cast<int>(reader.lineNumber()), source));
        } else if (token == QXmlStreamReader::EndElement) {
            --depth;
        }
    }
    // A malformed text is left to the DOM parser, whose reason texts the messages carry.
}

} // namespace

XmlNode::XmlNode(std::shared_ptr<XmlDocumentData> owner, QDomNode node)
    : m_owner(std::move(owner)), m_node(std::move(node))
{
}

bool XmlNode::isNull() const
{
    return m_node.isNull();
}

QString XmlNode::nodeName() const
{
    return checkedNode().nodeName();
}

QDomNode XmlNode::checkedNode() const
{
    checkedDom(m_owner);
    if (m_node.isNull())
        throw EXMLDocError(QStringLiteral("Kein Knoten vorhanden"));
    return m_node;
}

XmlNode XmlNode::ChildNodes(const QString &name)
{
    QDomNode node = checkedNode();
    for (QDomNode child = node.firstChild(); !child.isNull(); child = child.nextSibling()) {
        if (!child.isElement())
            continue;
        const QString qualified = child.nodeName();
        if (qualified == name || localPart(qualified) == name)
            return XmlNode(m_owner, child);
    }
    QDomNode added = node.appendChild(node.ownerDocument().createElement(name));
    return XmlNode(m_owner, added);
}

QString XmlNode::Text()
{
    QDomNode node = checkedNode();
    if (node.isText() || node.isCDATASection())
        return node.nodeValue();
    const QDomNodeList children = node.childNodes();
    if (children.isEmpty() && node.isElement()) {
        node.appendChild(node.ownerDocument().createTextNode(QString()));
        return QString();
    }
    if (children.size() == 1) {
        const QDomNode only = children.at(0);
        if (only.isText() || only.isCDATASection())
            return only.nodeValue();
    }
    throw EXMLDocError(QStringLiteral("Element \"%1\" enthält keinen einzelnen Textknoten")
                           .arg(node.nodeName()));
}

XmlNode XmlNode::NextSibling() const
{
    return XmlNode(m_owner, checkedNode().nextSibling());
}

XmlDocument::XmlDocument() : d(std::make_shared<XmlDocumentData>()) {}

XmlDocument NewXMLDocument(const QString &version)
{
    XmlDocument document;
    document.d->dom.appendChild(document.d->dom.createProcessingInstruction(
        QStringLiteral("xml"), QStringLiteral("version=\"%1\"").arg(version)));
    return document;
}

void XmlDocument::LoadFromXML(const QString &text)
{
    QString source = text;
    if (source.startsWith(QChar(0xFEFF)))
        source.remove(0, 1);

    d->dom = QDomDocument();
    d->active = false;
    if (source.isEmpty()) {
        d->active = true;
        ++d->generation;
        return;
    }

    // No namespace processing: names are matched as written, and a prefix only
    // adds the local-name match of ChildNodes. External entities are never fetched.
    refuseDeepNesting(source);
    QDomDocument parsed;
    QString reason;
    int line = 0;
    int column = 0;
    if (!parsed.setContent(source, false, &reason, &line, &column)) {
        throw EDOMParseError(parseErrorMessage(reason, line, source));
    }
    d->dom = parsed;
    d->active = true;
    ++d->generation;
}

XmlNode XmlDocument::DocumentElement() const
{
    const QDomDocument dom = checkedDom(d);
    for (QDomNode child = dom.lastChild(); !child.isNull(); child = child.previousSibling()) {
        if (child.isElement())
            return XmlNode(d, child);
    }
    return XmlNode(d, QDomNode());
}

bool XmlDocument::isActive() const
{
    return d->active;
}

std::uint64_t XmlDocument::generation() const
{
    return d->generation;
}
