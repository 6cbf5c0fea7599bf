#pragma once

#include "platform/Exception.h"

#include <QDomNode>
#include <QString>
#include <cstdint>
#include <memory>

// A reply text that is not well-formed XML: parser reason, "Zeile: <n>" and the
// start of the offending source line.
PLIVORA_DECLARE_EXCEPTION(EDOMParseError, Exception)
// A read the document cannot answer: inactive document, or a "Text" of an
// element that does not hold exactly one text node.
PLIVORA_DECLARE_EXCEPTION(EXMLDocError, Exception)

struct XmlDocumentData;

// A node handle of an XmlDocument; null when a lookup found nothing
// (DocumentElement of an empty document, NextSibling after the last child).
class XmlNode
{
public:
    XmlNode() = default;

    bool isNull() const;
    QString nodeName() const;

    // First child whose qualified or local name equals name; a missing child is
    // created as a new empty element at the end, so the lookup never fails.
    XmlNode ChildNodes(const QString &name);
    // "" without children (an empty text child is then added), the value of a
    // single text or CDATA child, otherwise EXMLDocError.
    QString Text();
    XmlNode NextSibling() const;

private:
    friend class XmlDocument;
    XmlNode(std::shared_ptr<XmlDocumentData> owner, QDomNode node);

    // Reads go through the owning document so a failed load makes them fail too.
    QDomNode checkedNode() const;

    std::shared_ptr<XmlDocumentData> m_owner;
    QDomNode m_node;
};

// A cheap handle to a shared document: copies refer to the same document, so a
// transfer record and the window reading it see one reply.
class XmlDocument
{
public:
    XmlDocument();

    // Replaces the whole content by the parsed text. A failed parse leaves the
    // document inactive and empty and raises EDOMParseError; the empty text gives
    // an active document without nodes.
    void LoadFromXML(const QString &text);
    // The root element, or a null node when there is none; EXMLDocError on an
    // inactive document.
    XmlNode DocumentElement() const;
    bool isActive() const;
    // Goes up by one with every successful LoadFromXML, so a reader can tell a
    // new reply from one it has already seen.
    std::uint64_t generation() const;

private:
    friend XmlDocument NewXMLDocument(const QString &version);
    std::shared_ptr<XmlDocumentData> d;
};

// A new, empty, active document whose XML declaration carries version.
XmlDocument NewXMLDocument(const QString &version);
