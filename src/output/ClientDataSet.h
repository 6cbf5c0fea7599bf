#pragma once

#include "platform/Exception.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>
#include <memory>
#include <vector>

PLIVORA_DECLARE_EXCEPTION(EDatabaseError, Exception)

class StringGridModel;
class TClientDataSet;

// One string field of the data set: text of at most Size bytes in the ANSI code page.
class TStringField
{
public:
    QString Name;         // the field object's component name
    QString FieldName;    // the name reports and data files use
    QString DisplayLabel; // empty: the field name is shown
    int Size = 20;

    QString AsString() const;
    void setAsString(const QString &value);

private:
    friend class TClientDataSet;
    TClientDataSet *m_owner = nullptr;
    int m_index = 0;
};

// The in-memory table that printing fills from a grid and saves as an XML
// data file. Its layout (fields and widths) is fixed by its owner; a data file
// must describe exactly these fields to be opened.
class TClientDataSet
{
public:
    explicit TClientDataSet(QString name);
    TClientDataSet(const TClientDataSet &) = delete;
    TClientDataSet &operator=(const TClientDataSet &) = delete;

    const QString Name;
    QString FileName;
    bool LogChanges = true;

    TStringField &addStringField(const QString &componentName, const QString &fieldName, int size);
    int fieldCount() const { return static_cast<int>(m_fields.size()); }
    TStringField &field(int index) { return *m_fields[index]; }
    const TStringField &field(int index) const { return *m_fields[index]; }
    TStringField &FieldByName(const QString &fieldName);

    bool Active() const { return m_active; }
    void setActive(bool active);
    void Open();  // reads FileName
    void Close(); // drops the records

    bool IsEmpty() const;
    int RecordCount() const;
    void DisableControls() { ++m_disableCount; }
    void EnableControls() { if (m_disableCount > 0) --m_disableCount; }
    bool ControlsDisabled() const { return m_disableCount > 0; }
    void EmptyDataSet();

    void Append(); // a new record, being edited until Post
    void Post();

    // The stored bytes of a record's field, decoded from the ANSI code page.
    QString value(int record, int fieldIndex) const;

    void SaveToFile(const QString &fileName) const;

private:
    friend class TStringField;
    using Record = std::vector<QByteArray>;

    void checkActive() const;
    void loadPacket(const QByteArray &bytes);
    QByteArray packet() const;

    std::vector<std::unique_ptr<TStringField>> m_fields;
    std::vector<Record> m_records;
    Record m_editing;
    bool m_appending = false;
    bool m_active = false;
    int m_disableCount = 0;
};

// The print data set's 15 string fields of 20 bytes, Spalte1 ... Spalte15;
// the seventh field object is named ClientDataSetFeld7, Spalte1 is labelled
// "BewNummer". Returns the field objects in field order.
std::array<TStringField *, 15> addPrintFields(TClientDataSet &dataSet);

// What a print does before the report runs: reopens the data set on
// dataSetFileName, replaces its records by grid rows 1 to RowCount - 2 (grid
// column k into field k) and saves it to dataFile.
void copyGridToDataSet(TClientDataSet &dataSet, const StringGridModel &grid, const QString &dataSetFileName,
                       const QString &dataFile);
