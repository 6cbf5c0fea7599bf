#include "dataview/StringGridModel.h"

#include <QSignalBlocker>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QVarLengthArray>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

// A row block is one malloc'd array:
//   quint32 cells    number of cells held; cells past it (up to the column count) are empty
//   quint8  width    bytes per end offset: 1, 2 or 4, the fewest that hold the text's length
//   quint8  utf16    1 when the text is UTF-16 code units rather than UTF-8
//   ends[cells]      end of each cell in the text; a cell starts where the one before ends
//   text             every cell's text back to back
// A cell holding a lone surrogate has no UTF-8 form, so its row falls back to
// UTF-16; every other row is UTF-8, which for this program's lists is about half
// the size. Trailing empty cells are never stored, and a row with no text at all
// is a null block.
namespace {

constexpr qsizetype headerSize = 6;
using Ends = QVarLengthArray<qsizetype, 32>;
using Bytes = QVarLengthArray<char, 256>;

struct RowView
{
    const char *block = nullptr;
    quint32 cells = 0;
    int width = 1;
    bool utf16 = false;

    explicit RowView(const char *b)
        : block(b)
    {
        if (!b)
            return;
        std::memcpy(&cells, b, sizeof cells);
        width = quint8(b[4]);
        utf16 = b[5] != 0;
    }

    qsizetype end(quint32 i) const
    {
        const char *at = block + headerSize + qsizetype(i) * width;
        switch (width) {
        case 1:
            return quint8(*at);
        case 2: {
            quint16 v;
            std::memcpy(&v, at, sizeof v);
            return v;
        }
        default: {
            quint32 v;
            std::memcpy(&v, at, sizeof v);
            return v;
        }
        }
    }
    qsizetype start(quint32 i) const { return i == 0 ? 0 : end(i - 1); }
    qsizetype total() const { return cells == 0 ? 0 : end(cells - 1); }
    const char *text() const { return block + headerSize + qsizetype(cells) * width; }
};

QString decode(const char *bytes, qsizetype size, bool utf16)
{
    if (size == 0)
        return {};
    if (utf16) {
        // The text area need not be aligned for char16_t, so copy bytes.
        QString text(size / 2, Qt::Uninitialized);
        std::memcpy(text.data(), bytes, size_t(size));
        return text;
    }
    // QString::fromUtf8 drops a leading byte-order mark, which here is the cell's own text.
    if (size >= 3 && std::memcmp(bytes, "\xEF\xBB\xBF", 3) == 0) {
        QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless
                                                           | QStringConverter::Flag::ConvertInitialBom);
        return decoder.decode(QByteArrayView(bytes, size));
    }
    return QString::fromUtf8(bytes, size);
}

QString cellOf(const RowView &row, quint32 col)
{
    if (col >= row.cells)
        return {};
    const qsizetype start = row.start(col);
    return decode(row.text() + start, row.end(col) - start, row.utf16);
}

bool hasLoneSurrogate(QStringView text)
{
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (!QChar::isSurrogate(c))
            continue;
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(text[i + 1].unicode())) {
            ++i;
            continue;
        }
        return true;
    }
    return false;
}

Bytes encode(QStringView text, bool utf16)
{
    Bytes bytes;
    if (utf16) {
        bytes.resize(text.size() * qsizetype(sizeof(char16_t)));
        std::memcpy(bytes.data(), text.utf16(), size_t(bytes.size()));
        return bytes;
    }
    QStringEncoder encoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    bytes.resize(encoder.requiredSpace(text.size()));
    bytes.resize(encoder.appendToBuffer(bytes.data(), text) - bytes.data());
    return bytes;
}

// Allocates a block for the given cell ends (trailing empty cells left out)
// and returns its text area through `text`, which the caller fills.
char *allocateRow(Ends &ends, bool utf16, char **text)
{
    while (!ends.isEmpty() && ends.last() == (ends.size() > 1 ? ends.at(ends.size() - 2) : 0))
        ends.removeLast();
    if (ends.isEmpty())
        return nullptr;
    const qsizetype total = ends.last();
    if (total > qsizetype(std::numeric_limits<quint32>::max()))
        throw std::length_error("grid row longer than 4 GiB");
    const quint8 width = total <= 0xFF ? 1 : total <= 0xFFFF ? 2 : 4;
    const quint32 cells = quint32(ends.size());
    auto *block = static_cast<char *>(std::malloc(size_t(headerSize + cells * width + total)));
    if (!block)
        throw std::bad_alloc();
    std::memcpy(block, &cells, sizeof cells);
    block[4] = char(width);
    block[5] = utf16 ? 1 : 0;
    char *at = block + headerSize;
    for (const qsizetype end : ends) {
        const quint32 v32 = quint32(end);
        const quint16 v16 = quint16(end);
        const quint8 v8 = quint8(end);
        std::memcpy(at, width == 4 ? static_cast<const void *>(&v32)
                        : width == 2 ? static_cast<const void *>(&v16)
                                     : static_cast<const void *>(&v8),
                    width);
        at += width;
    }
    *text = at;
    return block;
}

// The row with cell `col` replaced by `bytes`, which are in the row's own encoding.
char *spliceRow(const RowView &row, bool utf16, quint32 col, const Bytes &bytes)
{
    const quint32 cells = std::max(row.cells, col + 1);
    const qsizetype total = row.total();
    const qsizetype oldStart = col < row.cells ? row.start(col) : total;
    const qsizetype oldEnd = col < row.cells ? row.end(col) : total;
    const qsizetype delta = bytes.size() - (oldEnd - oldStart);
    Ends ends(cells);
    for (quint32 i = 0; i < cells; ++i) {
        if (i < col)
            ends[i] = i < row.cells ? row.end(i) : total;
        else if (i == col)
            ends[i] = oldStart + bytes.size();
        else
            ends[i] = row.end(i) + delta;
    }
    char *text = nullptr;
    char *block = allocateRow(ends, utf16, &text);
    if (block) {
        const char *old = row.text();
        std::memcpy(text, old, size_t(oldStart));
        std::memcpy(text + oldStart, bytes.data(), size_t(bytes.size()));
        std::memcpy(text + oldStart + bytes.size(), old + oldEnd, size_t(total - oldEnd));
    }
    return block;
}

// The row's first `count` cells.
char *truncateRow(const RowView &row, quint32 count)
{
    Ends ends(count);
    for (quint32 i = 0; i < count; ++i)
        ends[i] = row.end(i);
    char *text = nullptr;
    char *block = allocateRow(ends, row.utf16, &text);
    if (block)
        std::memcpy(text, row.text(), size_t(ends.last()));
    return block;
}

} // namespace

void StringGridModel::FreeBlock::operator()(char *block) const noexcept
{
    std::free(block);
}

StringGridModel::StringGridModel(QObject *parent)
    : QAbstractTableModel(parent)
    , m_rows(2)
    , m_colCount(5)
{
}

StringGridModel::~StringGridModel() = default;

bool StringGridModel::contains(int col, int row) const
{
    return col >= 0 && col < m_colCount && row >= 0 && row < gridRowCount();
}

QString StringGridModel::cell(int col, int row) const
{
    if (!contains(col, row))
        return {};
    return cellOf(RowView(m_rows[size_t(row)].get()), quint32(col));
}

void StringGridModel::setCell(int col, int row, const QString &text)
{
    if (!contains(col, row))
        return;
    Row &cells = m_rows[size_t(row)];
    const RowView old(cells.get());
    if (quint32(col) >= old.cells && text.isEmpty())
        return;

    if (!old.utf16 && old.cells > 0 && hasLoneSurrogate(text)) {
        // The row's other cells move to UTF-16 with it.
        Row converted;
        for (quint32 i = 0; i < old.cells; ++i) {
            const QString other = i == quint32(col) ? text : cellOf(old, i);
            converted.reset(spliceRow(RowView(converted.get()), true, i, encode(other, true)));
        }
        if (quint32(col) >= old.cells)
            converted.reset(spliceRow(RowView(converted.get()), true, quint32(col), encode(text, true)));
        cells = std::move(converted);
    } else {
        const bool utf16 = old.utf16 || (old.cells == 0 && hasLoneSurrogate(text));
        cells.reset(spliceRow(old, utf16, quint32(col), encode(text, utf16)));
    }

    if (row == 0)
        emit headerDataChanged(Qt::Horizontal, col, col);
    else
        emit dataChanged(index(row - 1, col), index(row - 1, col), {Qt::DisplayRole});
}

QStringList StringGridModel::rowCells(int row) const
{
    if (row < 0 || row >= gridRowCount())
        return {};
    const RowView view(m_rows[size_t(row)].get());
    QStringList cells;
    cells.reserve(m_colCount);
    for (int col = 0; col < m_colCount; ++col)
        cells << cellOf(view, quint32(col));
    return cells;
}

void StringGridModel::clearRow(int row)
{
    if (row < 0 || row >= gridRowCount())
        return;
    Row &cells = m_rows[size_t(row)];
    if (!cells)
        return;
    cells.reset();
    if (row == 0)
        emit headerDataChanged(Qt::Horizontal, 0, m_colCount - 1);
    else
        emit dataChanged(index(row - 1, 0), index(row - 1, m_colCount - 1), {Qt::DisplayRole});
}

void StringGridModel::setRowCells(int row, const QStringList &cells)
{
    if (row < 0 || row >= gridRowCount())
        return;
    {
        // One announcement for the row instead of one per cell: views relayout per signal.
        const QSignalBlocker quiet(this);
        clearRow(row);
        for (int col = 0; col < cells.size(); ++col)
            setCell(col, row, cells[col]);
    }
    if (row == 0)
        emit headerDataChanged(Qt::Horizontal, 0, m_colCount - 1);
    else
        emit dataChanged(index(row - 1, 0), index(row - 1, m_colCount - 1), {Qt::DisplayRole});
}

void StringGridModel::setGridRowCount(int count)
{
    count = std::max(count, 1);
    const int old = gridRowCount();
    if (count > old) {
        beginInsertRows(QModelIndex(), old - 1, count - 2);
        m_rows.resize(size_t(count));
        endInsertRows();
    } else if (count < old) {
        beginRemoveRows(QModelIndex(), count - 1, old - 2);
        m_rows.resize(size_t(count));
        endRemoveRows();
    }
}

void StringGridModel::setGridColCount(int count)
{
    count = std::max(count, 1);
    if (count > m_colCount) {
        beginInsertColumns(QModelIndex(), m_colCount, count - 1);
        m_colCount = count;
        endInsertColumns();
    } else if (count < m_colCount) {
        beginRemoveColumns(QModelIndex(), count, m_colCount - 1);
        m_colCount = count;
        // Cut the texts now, so that growing again brings empty cells, not old texts.
        for (Row &cells : m_rows) {
            const RowView view(cells.get());
            if (view.cells > quint32(count))
                cells.reset(truncateRow(view, quint32(count)));
        }
        endRemoveColumns();
    }
}

int StringGridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : gridRowCount() - 1;
}

int StringGridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_colCount;
}

QVariant StringGridModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    return cell(index.column(), index.row() + 1);
}

QVariant StringGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return cell(section, 0);
    return section + 1;
}

Qt::ItemFlags StringGridModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}
