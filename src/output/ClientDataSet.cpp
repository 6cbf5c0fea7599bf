#include "output/ClientDataSet.h"

#include "dataview/StringGridModel.h"
#include "platform/AnsiCodePage.h"
#include "platform/FileWriting.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace {

const QString packetElement = QStringLiteral("plivora-data");
const QString packetVersion = QStringLiteral("1");

// XML 1.0 cannot carry most control characters; they become the code page's
// default character like any other character the file cannot hold.
QString xmlSafe(QString text)
{
    for (QChar &ch : text) {
        const char16_t c = ch.unicode();
        if (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r')
            ch = QLatin1Char('?');
        else if (c == 0xFFFE || c == 0xFFFF)
            ch = QLatin1Char('?');
    }
    return text;
}

} // namespace

QString TStringField::AsString() const
{
    if (!m_owner->m_appending)
        throw EDatabaseError(QStringLiteral("%1: Kein aktueller Datensatz").arg(m_owner->Name));
    return platform::fromAnsi(m_owner->m_editing[m_index]);
}

void TStringField::setAsString(const QString &value)
{
    if (!m_owner->m_appending)
        throw EDatabaseError(
            QStringLiteral("%1: Datensatz ist nicht im Bearbeitungs- oder Einfügemodus").arg(m_owner->Name));
    // Single-byte code page: cutting after Size bytes never splits a character.
    m_owner->m_editing[m_index] = platform::toAnsi(xmlSafe(value)).left(Size);
}

TClientDataSet::TClientDataSet(QString name)
    : Name(std::move(name))
{
}

TStringField &TClientDataSet::addStringField(const QString &componentName, const QString &fieldName, int size)
{
    auto field = std::make_unique<TStringField>();
    field->Name = componentName;
    field->FieldName = fieldName;
    field->Size = size;
    field->m_owner = this;
    field->m_index = fieldCount();
    m_fields.push_back(std::move(field));
    return *m_fields.back();
}

TStringField &TClientDataSet::FieldByName(const QString &fieldName)
{
    for (auto &field : m_fields)
        if (field->FieldName.compare(fieldName, Qt::CaseInsensitive) == 0)
            return *field;
    throw EDatabaseError(QStringLiteral("%1: Feld '%2' nicht gefunden").arg(Name, fieldName));
}

void TClientDataSet::setActive(bool active)
{
    if (active)
        Open();
    else
        Close();
}

void TClientDataSet::Open()
{
    if (m_active)
        return;
    QFile file(FileName);
    if (FileName.isEmpty() || !file.exists())
        throw EDatabaseError(QStringLiteral("%1: Fehlender Daten-Provider oder Datenpaket").arg(Name));
    if (!file.open(QIODevice::ReadOnly))
        throw EDatabaseError(QStringLiteral("%1: Datei \"%2\" kann nicht gelesen werden. %3")
                                 .arg(Name, QDir::toNativeSeparators(QFileInfo(file).absoluteFilePath()),
                                      file.errorString()));
    loadPacket(file.readAll());
    m_active = true;
}

void TClientDataSet::Close()
{
    m_active = false;
    m_appending = false;
    m_records.clear();
}

void TClientDataSet::checkActive() const
{
    if (!m_active)
        throw EDatabaseError(QStringLiteral("%1: Operation für eine geschlossene Datenmenge nicht zulässig").arg(Name));
}

bool TClientDataSet::IsEmpty() const
{
    checkActive();
    return m_records.empty() && !m_appending;
}

int TClientDataSet::RecordCount() const
{
    return static_cast<int>(m_records.size());
}

void TClientDataSet::EmptyDataSet()
{
    checkActive();
    m_records.clear();
    m_appending = false;
}

void TClientDataSet::Append()
{
    checkActive();
    if (m_appending)
        Post();
    m_editing.assign(m_fields.size(), QByteArray());
    m_appending = true;
}

void TClientDataSet::Post()
{
    checkActive();
    if (!m_appending)
        return;
    m_records.push_back(std::move(m_editing));
    m_editing.clear();
    m_appending = false;
}

QString TClientDataSet::value(int record, int fieldIndex) const
{
    return platform::fromAnsi(m_records.at(record).at(fieldIndex));
}

QByteArray TClientDataSet::packet() const
{
    QByteArray bytes;
    QXmlStreamWriter xml(&bytes);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(1);
    xml.writeStartDocument();
    xml.writeStartElement(packetElement);
    xml.writeAttribute(QStringLiteral("version"), packetVersion);
    xml.writeAttribute(QStringLiteral("dataset"), Name);
    xml.writeStartElement(QStringLiteral("fields"));
    for (const auto &field : m_fields) {
        xml.writeEmptyElement(QStringLiteral("field"));
        xml.writeAttribute(QStringLiteral("name"), field->FieldName);
        xml.writeAttribute(QStringLiteral("type"), QStringLiteral("string"));
        xml.writeAttribute(QStringLiteral("size"), QString::number(field->Size));
        if (!field->DisplayLabel.isEmpty())
            xml.writeAttribute(QStringLiteral("label"), field->DisplayLabel);
    }
    xml.writeEndElement();
    xml.writeStartElement(QStringLiteral("records"));
    for (const Record &record : m_records) {
        xml.writeStartElement(QStringLiteral("record"));
        for (const QByteArray &value : record) {
            if (value.isEmpty())
                xml.writeEmptyElement(QStringLiteral("value"));
            else
                xml.writeTextElement(QStringLiteral("value"), platform::fromAnsi(value));
        }
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    return bytes;
}

void TClientDataSet::SaveToFile(const QString &fileName) const
{
    checkActive();
    platform::writeFile(fileName, packet());
}

void TClientDataSet::loadPacket(const QByteArray &bytes)
{
    const QString where = QDir::toNativeSeparators(QFileInfo(FileName).absoluteFilePath());
    auto fail = [&](const QString &what) -> void {
        throw EDatabaseError(QStringLiteral("%1: Datenpaket \"%2\" ist ungültig: %3").arg(Name, where, what));
    };

    QXmlStreamReader xml(bytes);
    if (!xml.readNextStartElement() || xml.name() != packetElement)
        fail(xml.hasError() ? xml.errorString() : QStringLiteral("kein Element <%1>").arg(packetElement));

    int fieldIndex = 0;
    std::vector<Record> records;
    bool sawFields = false;
    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("fields")) {
            sawFields = true;
            while (xml.readNextStartElement()) {
                if (xml.name() != QLatin1String("field")) {
                    xml.skipCurrentElement();
                    continue;
                }
                const auto attributes = xml.attributes();
                const QString name = attributes.value(QLatin1String("name")).toString();
                if (fieldIndex >= fieldCount())
                    throw EDatabaseError(QStringLiteral("%1: Feld '%2' nicht gefunden").arg(Name, name));
                const TStringField &expected = field(fieldIndex);
                if (name.compare(expected.FieldName, Qt::CaseInsensitive) != 0)
                    throw EDatabaseError(QStringLiteral("%1: Feld '%2' nicht gefunden").arg(Name, expected.FieldName));
                const QString type = attributes.value(QLatin1String("type")).toString();
                if (type != QLatin1String("string"))
                    throw EDatabaseError(QStringLiteral("%1: Typenkonflikt für Feld '%2', erwartet: String, tatsächlich: %3")
                                             .arg(Name, expected.FieldName, type));
                const int size = attributes.value(QLatin1String("size")).toInt();
                if (size != expected.Size)
                    throw EDatabaseError(QStringLiteral("%1: Feld '%2' hat die Größe %3, erwartet: %4")
                                             .arg(Name, expected.FieldName)
                                             .arg(size)
                                             .arg(expected.Size));
                ++fieldIndex;
                xml.skipCurrentElement();
            }
        } else if (xml.name() == QLatin1String("records")) {
            while (xml.readNextStartElement()) {
                if (xml.name() != QLatin1String("record")) {
                    xml.skipCurrentElement();
                    continue;
                }
                Record record;
                while (xml.readNextStartElement()) {
                    if (xml.name() != QLatin1String("value")) {
                        xml.skipCurrentElement();
                        continue;
                    }
                    const QString text = xml.readElementText();
                    if (static_cast<int>(record.size()) < fieldCount())
                        record.push_back(platform::toAnsi(text).left(field(static_cast<int>(record.size())).Size));
                    else
                        fail(QStringLiteral("Datensatz %1 hat mehr Werte als Felder").arg(records.size() + 1));
                }
                record.resize(m_fields.size());
                records.push_back(std::move(record));
            }
        } else {
            xml.skipCurrentElement();
        }
    }
    if (xml.hasError())
        fail(QStringLiteral("%1 (Zeile %2)").arg(xml.errorString()).arg(xml.lineNumber()));
    if (!sawFields || fieldIndex < fieldCount())
        throw EDatabaseError(QStringLiteral("%1: Feld '%2' nicht gefunden").arg(Name, field(fieldIndex).FieldName));
    m_records = std::move(records);
}

std::array<TStringField *, 15> addPrintFields(TClientDataSet &dataSet)
{
    std::array<TStringField *, 15> fields{};
    for (int i = 0; i < 15; ++i) {
        const QString fieldName = QStringLiteral("Spalte%1").arg(i + 1);
        const QString componentName = i == 6 ? QStringLiteral("ClientDataSetFeld7")
                                             : QStringLiteral("ClientDataSet") + fieldName;
        fields[i] = &dataSet.addStringField(componentName, fieldName, 20);
    }
    fields[0]->DisplayLabel = QStringLiteral("BewNummer");
    return fields;
}

void copyGridToDataSet(TClientDataSet &dataSet, const StringGridModel &grid, const QString &dataSetFileName,
                       const QString &dataFile)
{
    dataSet.setActive(false);
    dataSet.FileName = dataSetFileName;
    dataSet.setActive(true);
    dataSet.LogChanges = false;
    if (!dataSet.IsEmpty()) {
        dataSet.DisableControls();
        try {
            dataSet.EmptyDataSet();
        } catch (...) {
            dataSet.EnableControls();
            throw;
        }
        dataSet.EnableControls();
    }
    for (int row = 1; row <= grid.gridRowCount() - 2; ++row) {
        dataSet.Append();
        for (int col = 0; col < grid.gridColCount() && col < dataSet.fieldCount(); ++col)
            dataSet.field(col).setAsString(grid.cell(col, row));
        dataSet.Post();
    }
    dataSet.SaveToFile(dataFile);
}
