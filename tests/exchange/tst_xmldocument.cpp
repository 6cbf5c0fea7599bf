#include "exchange/XmlDocument.h"

#include <QtTest>

// The DOM operations the replies are read with, at their edges.
class TestXmlDocument : public QObject
{
    Q_OBJECT

private slots:
    void newDocumentIsActiveAndEmpty();
    void loadsReplyShapes_data();
    void loadsReplyShapes();
    void childNodesMatchesExactlyOrCreates();
    void textOfElement_data();
    void textOfElement();
    void nextSiblingYieldsAnyKindOfNode();
    void failedLoadLeavesDocumentInactiveUntilNextLoad();
    void parseErrorMessageNamesLineAndSource_data();
    void parseErrorMessageNamesLineAndSource();
    void nestingDeeperThan64LevelsIsRefused_data();
    void nestingDeeperThan64LevelsIsRefused();
    void copiesShareOneDocumentAndGeneration();
    void externalEntitiesAreNotFetched();
};

void TestXmlDocument::newDocumentIsActiveAndEmpty()
{
    XmlDocument document = NewXMLDocument(QStringLiteral("1.0"));
    QVERIFY(document.isActive());
    QVERIFY(document.DocumentElement().isNull());
    QCOMPARE(document.generation(), 0u);
}

// Each reply text with the root's name and the text of root/tr/td it must give.
void TestXmlDocument::loadsReplyShapes_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("rootName");
    QTest::addColumn<QString>("firstCell");

    QTest::newRow("plain") << "<table><tr><td>7</td></tr></table>" << "table" << "7";
    QTest::newRow("byte-order mark dropped")
        << QString(QChar(0xFEFF)) + "<table><tr><td>7</td></tr></table>" << "table" << "7";
    QTest::newRow("declared latin-1 encoding disregarded")
        << "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><t><tr><td>Weiß</td></tr></t>" << "t" << "Weiß";
    QTest::newRow("declared utf-16 encoding disregarded")
        << "<?xml version=\"1.0\" encoding=\"UTF-16\"?><t><tr><td>Öl</td></tr></t>" << "t" << "Öl";
    QTest::newRow("indentation and line breaks make no nodes")
        << "<t>\r\n  <tr>\n\t<td>x</td>\n  </tr>\n</t>\n" << "t" << "x";
    QTest::newRow("comment and instruction before the root")
        << "<?xml version=\"1.0\"?><!-- head --><?pi x?><root><tr><td>1</td></tr></root>" << "root" << "1";
    QTest::newRow("prefixed names found by local name")
        << "<t xmlns:h=\"urn:h\"><h:tr><h:td>p</h:td></h:tr></t>" << "t" << "p";
}

void TestXmlDocument::loadsReplyShapes()
{
    QFETCH(QString, reply);
    QFETCH(QString, rootName);
    QFETCH(QString, firstCell);

    XmlDocument document = NewXMLDocument(QStringLiteral("1.0"));
    document.LoadFromXML(reply);
    XmlNode root = document.DocumentElement();
    QVERIFY(!root.isNull());
    QCOMPARE(root.nodeName(), rootName);
    XmlNode tr = root.ChildNodes(QStringLiteral("tr"));
    QVERIFY(tr.NextSibling().isNull()); // no white-space node after the row
    XmlNode td = tr.ChildNodes(QStringLiteral("td"));
    QVERIFY(td.NextSibling().isNull());
    QCOMPARE(td.Text(), firstCell);
}

void TestXmlDocument::childNodesMatchesExactlyOrCreates()
{
    XmlDocument document = NewXMLDocument(QStringLiteral("1.0"));
    document.LoadFromXML(QStringLiteral("<t><TR>9</TR><x:tr>5</x:tr><tr>6</tr></t>"));
    XmlNode root = document.DocumentElement();

    // Upper case is another name; the prefixed element matches by local name and comes first.
    QCOMPARE(root.ChildNodes(QStringLiteral("tr")).nodeName(), QStringLiteral("x:tr"));
    QCOMPARE(root.ChildNodes(QStringLiteral("x:tr")).Text(), QStringLiteral("5"));

    // A missing name is appended as an empty element and then found again.
    XmlNode added = root.ChildNodes(QStringLiteral("td"));
    QCOMPARE(added.nodeName(), QStringLiteral("td"));
    QCOMPARE(added.Text(), QString());
    QVERIFY(added.NextSibling().isNull());
    QCOMPARE(root.ChildNodes(QStringLiteral("tr")).NextSibling().nodeName(), QStringLiteral("tr"));
    root.ChildNodes(QStringLiteral("td")).ChildNodes(QStringLiteral("b"));
    // Same element again: it now holds the empty text child and "b", so its text fails.
    QVERIFY_THROWS_EXCEPTION(EXMLDocError, root.ChildNodes(QStringLiteral("td")).Text());
}

void TestXmlDocument::textOfElement_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("text");   // expected text, or the expected error message
    QTest::addColumn<bool>("raises");

    const QString notSingle = QStringLiteral("Element \"td\" enthält keinen einzelnen Textknoten");
    QTest::newRow("no children") << "<td/>" << "" << false;
    QTest::newRow("one text") << "<td>Weiß Blau</td>" << "Weiß Blau" << false;
    QTest::newRow("entities") << "<td>a&amp;b&lt;c</td>" << "a&b<c" << false;
    QTest::newRow("one CDATA") << "<td><![CDATA[<b>x</b>]]></td>" << "<b>x</b>" << false;
    QTest::newRow("child element") << "<td><b>x</b></td>" << notSingle << true;
    QTest::newRow("text and comment") << "<td>x<!--c--></td>" << notSingle << true;
    QTest::newRow("text around element") << "<td>a<b/>c</td>" << notSingle << true;
    QTest::newRow("upper-case name in message")
        << "<TD><i/></TD>" << QStringLiteral("Element \"TD\" enthält keinen einzelnen Textknoten") << true;
}

void TestXmlDocument::textOfElement()
{
    QFETCH(QString, reply);
    QFETCH(QString, text);
    QFETCH(bool, raises);

    XmlDocument document = NewXMLDocument(QStringLiteral("1.0"));
    document.LoadFromXML(reply);
    XmlNode element = document.DocumentElement();
    if (!raises) {
        QCOMPARE(element.Text(), text);
        QCOMPARE(element.Text(), text); // a second read sees the same
        return;
    }
    try {
        element.Text();
        QFAIL("no error raised");
    } catch (const EXMLDocError &error) {
        QCOMPARE(error.message(), text);
    }
}

void TestXmlDocument::nextSiblingYieldsAnyKindOfNode()
{
    XmlDocument document = NewXMLDocument(QStringLiteral("1.0"));
    document.LoadFromXML(QStringLiteral("<t><a/><!--c-->text<b/></t>"));
    XmlNode node = document.DocumentElement().ChildNodes(QStringLiteral("a"));
    QStringList names;
    for (; !node.isNull(); node = node.NextSibling())
        names << node.nodeName();
    QCOMPARE(names, (QStringList{"a", "#comment", "#text", "b"}));
}

void TestXmlDocument::failedLoadLeavesDocumentInactiveUntilNextLoad()
{
    XmlDocument document = NewXMLDocument(QStringLiteral("1.0"));
    document.LoadFromXML(QStringLiteral("<t><tr>1</tr></t>"));
    XmlNode oldRow = document.DocumentElement().ChildNodes(QStringLiteral("tr"));
    QCOMPARE(document.generation(), 1u);

    QVERIFY_THROWS_EXCEPTION(EDOMParseError, document.LoadFromXML(QStringLiteral("<html><body>Fehler</html>")));
    QVERIFY(!document.isActive());
    QCOMPARE(document.generation(), 1u);
    try {
        document.DocumentElement();
        QFAIL("no error raised");
    } catch (const EXMLDocError &error) {
        QCOMPARE(error.message(), QStringLiteral("Kein aktives Dokument"));
    }
    // Nodes taken before the failed load are reads of the same, now inactive document.
    QVERIFY_THROWS_EXCEPTION(EXMLDocError, oldRow.Text());

    // White space only is no document either.
    QVERIFY_THROWS_EXCEPTION(EDOMParseError, document.LoadFromXML(QStringLiteral(" \r\n ")));
    QVERIFY(!document.isActive());

    // The empty text is a successful load of nothing.
    document.LoadFromXML(QString());
    QVERIFY(document.isActive());
    QVERIFY(document.DocumentElement().isNull());
    QCOMPARE(document.generation(), 2u);

    document.LoadFromXML(QStringLiteral("<t><tr>2</tr></t>"));
    QCOMPARE(document.DocumentElement().ChildNodes(QStringLiteral("tr")).Text(), QStringLiteral("2"));
    QCOMPARE(document.generation(), 3u);
}

void TestXmlDocument::parseErrorMessageNamesLineAndSource_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("tail"); // what follows the parser's own reason

    QTest::newRow("mismatched tag on line 2")
        << "<t>\n<tr>abc</td></t>" << "\r\nZeile: 2\r\n<tr>abc</td></t>";
    QTest::newRow("CRLF line ends, long line cut at 40")
        << "<t>\r\n<tr>\r\n<td>0123456789012345678901234567890123456789</tr>\r\n</t>"
        << "\r\nZeile: 3\r\n<td>012345678901234567890123456789012345";
    QTest::newRow("html page") << "<!DOCTYPE html><html><body><p>Fehler<br></p></body></html>"
                               << "\r\nZeile: 1\r\n<!DOCTYPE html><html><body><p>Fehler<br>";
    QTest::newRow("plain text") << "Internal error" << "\r\nZeile: 1\r\nInternal error";
}

void TestXmlDocument::parseErrorMessageNamesLineAndSource()
{
    QFETCH(QString, reply);
    QFETCH(QString, tail);

    XmlDocument document = NewXMLDocument(QStringLiteral("1.0"));
    try {
        document.LoadFromXML(reply);
        QFAIL("no error raised");
    } catch (const EDOMParseError &error) {
        const QString message = error.message();
        QVERIFY2(message.endsWith(tail), qPrintable(message));
        QVERIFY2(message.size() > tail.size(), "the parser's reason is missing");
        QVERIFY(!message.left(message.size() - tail.size()).contains(QLatin1String("\r\n")));
    }
}

void TestXmlDocument::nestingDeeperThan64LevelsIsRefused_data()
{
    QTest::addColumn<int>("depth");
    QTest::addColumn<bool>("loads");
    QTest::newRow("64 levels") << 64 << true;
    QTest::newRow("65 levels") << 65 << false;
    // The hostile reply that froze the window: the DOM parser's time grows with
    // the square of the depth.
    QTest::newRow("100 000 levels") << 100000 << false;
}

void TestXmlDocument::nestingDeeperThan64LevelsIsRefused()
{
    QFETCH(int, depth);
    QFETCH(bool, loads);

    QString reply = QStringLiteral("<?xml version=\"1.0\"?>\r\n");
    for (int i = 0; i < depth; ++i)
        reply += QStringLiteral("<e>");
    reply += QStringLiteral("x");
    for (int i = 0; i < depth; ++i)
        reply += QStringLiteral("</e>");

    XmlDocument document = NewXMLDocument(QStringLiteral("1.0"));
    document.LoadFromXML(QStringLiteral("<t><tr>1</tr></t>"));
    if (loads) {
        document.LoadFromXML(reply);
        XmlNode node = document.DocumentElement();
        for (int level = 1; level < depth; ++level)
            node = node.ChildNodes(QStringLiteral("e"));
        QCOMPARE(node.Text(), QStringLiteral("x"));
        return;
    }
    try {
        document.LoadFromXML(reply);
        QFAIL("no error raised");
    } catch (const EDOMParseError &error) {
        // Laid out as every parse error: reason, line, the line's first 40 characters.
        const QString tail = QStringLiteral("\r\nZeile: 2\r\n") + reply.mid(reply.indexOf(QLatin1Char('\n')) + 1, 40);
        const QString message = error.message();
        QVERIFY2(message.endsWith(tail), qPrintable(message.left(200)));
        QVERIFY2(message.contains(QLatin1String("64")), qPrintable(message.left(200)));
    }
    QVERIFY(!document.isActive());
}

void TestXmlDocument::copiesShareOneDocumentAndGeneration()
{
    XmlDocument held = NewXMLDocument(QStringLiteral("1.0"));
    const XmlDocument copy = held;
    held.LoadFromXML(QStringLiteral("<t><tr>4</tr></t>"));
    QCOMPARE(copy.generation(), 1u);
    XmlNode row = copy.DocumentElement().ChildNodes(QStringLiteral("tr"));
    QCOMPARE(row.Text(), QStringLiteral("4"));
    // A node added through one handle is seen through the other.
    held.DocumentElement().ChildNodes(QStringLiteral("extra"));
    QCOMPARE(row.NextSibling().nodeName(), QStringLiteral("extra"));
}

void TestXmlDocument::externalEntitiesAreNotFetched()
{
    QTemporaryFile secret;
    QVERIFY(secret.open());
    secret.write("geheim");
    secret.flush();
    const QString reply = QStringLiteral("<!DOCTYPE t [<!ENTITY e SYSTEM \"file://%1\">]><t><tr>a&e;</tr></t>")
                              .arg(secret.fileName());
    XmlDocument document = NewXMLDocument(QStringLiteral("1.0"));
    try {
        document.LoadFromXML(reply);
        XmlNode row = document.DocumentElement().ChildNodes(QStringLiteral("tr"));
        for (XmlNode n = row; !n.isNull(); n = n.NextSibling()) {
            try {
                QVERIFY(!n.Text().contains(QLatin1String("geheim")));
            } catch (const EXMLDocError &) {
                // an unresolved reference beside the text: not a single text node, nothing read
            }
        }
    } catch (const EDOMParseError &) {
        // refusing the reference outright is just as good
    }
}

QTEST_GUILESS_MAIN(TestXmlDocument)
#include "tst_xmldocument.moc"
