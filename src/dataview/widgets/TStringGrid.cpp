#include "dataview/widgets/TStringGrid.h"

#include "dataview/GridCopy.h"
#include "dataview/StringGridModel.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QStyleOption>

#include <algorithm>

namespace {

constexpr int textIndent = 2;

} // namespace

StringGridHeader::StringGridHeader(QWidget *parent)
    : QHeaderView(Qt::Horizontal, parent)
{
    setSectionsMovable(false);
    // A click on the header must not select a column: the header row is not part of the data.
    setSectionsClickable(false);
    setHighlightSections(false);
    setSectionResizeMode(QHeaderView::Interactive);
    setMinimumSectionSize(0);
    setDefaultSectionSize(TStringGrid::defaultColWidth());
    setStretchLastSection(false);
}

QSize StringGridHeader::sizeHint() const
{
    QSize hint = QHeaderView::sizeHint();
    hint.setHeight(TStringGrid::defaultRowHeight());
    return hint;
}

void StringGridHeader::paintEvent(QPaintEvent *event)
{
    QHeaderView::paintEvent(event);
    // Right of the last column the desktop grid shows its plain ground, as the
    // rows below do, not an empty header button.
    int end = 0;
    for (int visual = count() - 1; visual >= 0; --visual) {
        const int logical = logicalIndex(visual);
        if (!isSectionHidden(logical)) {
            end = sectionViewportPosition(logical) + sectionSize(logical);
            break;
        }
    }
    if (end < viewport()->width()) {
        QPainter painter(viewport());
        painter.fillRect(QRect(end, 0, viewport()->width() - end, viewport()->height()),
                         palette().brush(QPalette::Base));
    }
}

void StringGridHeader::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const
{
    if (!rect.isValid())
        return;
    painter->save();
    painter->fillRect(rect, TStringGrid::headerColor());

    // Grid lines on the right and bottom edge, matching the lines the table draws between cells.
    QStyleOption option;
    option.initFrom(this);
    const QColor lineColor = QColor::fromRgba(
        QRgb(style()->styleHint(QStyle::SH_Table_GridLineColor, &option, this)));
    painter->setPen(lineColor);
    painter->drawLine(rect.topRight(), rect.bottomRight());
    painter->drawLine(rect.bottomLeft(), rect.bottomRight());

    const QString text = model() ? model()->headerData(logicalIndex, Qt::Horizontal).toString()
                                 : QString();
    if (!text.isEmpty()) {
        painter->setPen(palette().color(QPalette::WindowText));
        painter->setFont(font());
        const QRect textRect = rect.adjusted(textIndent, 0, -1, -1);
        painter->setClipRect(textRect);
        painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
    }
    painter->restore();
}

TStringGrid::TStringGrid(QWidget *parent)
    : QTableView(parent)
    , m_model(new StringGridModel(this))
    , m_copy(new QAction(QStringLiteral("Kopieren"), this))
    , m_copyWithHeaders(new QAction(QStringLiteral("Mit Überschriften kopieren"), this))
    , m_menu(new QMenu(this))
{
    setHorizontalHeader(new StringGridHeader(this));
    QTableView::setModel(m_model);

    QHeaderView *rows = verticalHeader();
    rows->hide();
    rows->setMinimumSectionSize(0);
    rows->setDefaultSectionSize(defaultRowHeight());
    rows->setSectionResizeMode(QHeaderView::Fixed);

    setCornerButtonEnabled(false);
    setShowGrid(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(false);
    setTabKeyNavigation(false);
    setWordWrap(false);
    // The desktop grid cuts a long text at the cell border instead of shortening it with "…".
    setTextElideMode(Qt::ElideNone);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    // The menu only shows the key; keyPressEvent handles it, ahead of the
    // view's own copy of the current cell.
    m_copy->setShortcut(QKeySequence::Copy);
    m_copy->setShortcutContext(Qt::WidgetShortcut);
    connect(m_copy, &QAction::triggered, this, [this] { copySelection(false); });
    connect(m_copyWithHeaders, &QAction::triggered, this, [this] { copySelection(true); });
    m_menu->addAction(m_copy);
    m_menu->addAction(m_copyWithHeaders);
}

QString TStringGrid::selectionText(bool withHeaders) const
{
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    if (selected.size() == 1 && !withHeaders)
        return m_model->cell(selected.first().column(), selected.first().row() + 1);
    QList<int> gridRows;
    gridRows.reserve(selected.size());
    for (const QModelIndex &index : selected)
        gridRows << index.row() + 1; // view row i is grid row i + 1
    if (gridRows.isEmpty() && !withHeaders)
        return {};
    return dataview::copyRowsText(*m_model, gridRows, withHeaders);
}

void TStringGrid::copySelection(bool withHeaders) const
{
    const QString text = selectionText(withHeaders);
    if (!text.isEmpty())
        QGuiApplication::clipboard()->setText(text);
}

void TStringGrid::keyPressEvent(QKeyEvent *event)
{
    if (event == QKeySequence::Copy) {
        copySelection(false);
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void TStringGrid::contextMenuEvent(QContextMenuEvent *event)
{
    const bool anything = selectionModel()->hasSelection();
    m_copy->setEnabled(anything);
    m_menu->popup(event->globalPos());
    event->accept();
}

TStringGrid::~TStringGrid() = default;

QString TStringGrid::cell(int col, int row) const
{
    return m_model->cell(col, row);
}

void TStringGrid::setCell(int col, int row, const QString &text)
{
    m_model->setCell(col, row, text);
}

QStringList TStringGrid::rowCells(int row) const
{
    return m_model->rowCells(row);
}

void TStringGrid::clearRow(int row)
{
    m_model->clearRow(row);
}

int TStringGrid::rowCount() const
{
    return m_model->gridRowCount();
}

void TStringGrid::setRowCount(int count)
{
    m_model->setGridRowCount(count);
}

int TStringGrid::colCount() const
{
    return m_model->gridColCount();
}

void TStringGrid::setColCount(int count)
{
    m_model->setGridColCount(count);
}

int TStringGrid::colWidth(int col) const
{
    if (col < 0 || col >= colCount())
        return 0;
    return horizontalHeader()->sectionSize(col);
}

void TStringGrid::setColWidth(int col, int width)
{
    if (col < 0 || col >= colCount())
        return;
    horizontalHeader()->resizeSection(col, std::clamp(width, 0, maxColWidth()));
}

QList<int> TStringGrid::colWidths() const
{
    QList<int> widths;
    widths.reserve(colCount());
    for (int col = 0; col < colCount(); ++col)
        widths.append(colWidth(col));
    return widths;
}
