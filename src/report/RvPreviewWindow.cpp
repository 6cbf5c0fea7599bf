#include "report/RvPreviewWindow.h"

#include "platform/ErrorBox.h"
#include "report/ReportDocument.h"
#include "report/ReportPagePainter.h"
#include "report/RvOutputOptionsDialog.h"
#include "report/RvSystem.h"

#include <QHBoxLayout>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPrintDialog>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cmath>

namespace {

constexpr double minZoom = 10;
constexpr double maxZoom = 400;
constexpr double zoomStep = 25;

} // namespace

RvPreviewWindow::RvPreviewWindow(RvSystem &system, std::shared_ptr<const ReportDocument> doc, QWidget *parent)
    : QDialog(parent, Qt::Window)
    , m_system(system)
    , m_doc(std::move(doc))
    , m_zoom(std::clamp(system.SystemPreview.ZoomFactor, minZoom, maxZoom))
{
    setWindowTitle(system.TitlePreview);
    setModal(system.SystemOptions & soPreviewModal);

    auto button = [this](const QString &text, const QString &name) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        return b;
    };
    m_first = button(QStringLiteral("First"), QStringLiteral("firstButton"));
    m_previous = button(QStringLiteral("Previous"), QStringLiteral("previousButton"));
    m_next = button(QStringLiteral("Next"), QStringLiteral("nextButton"));
    m_last = button(QStringLiteral("Last"), QStringLiteral("lastButton"));
    m_zoomOut = button(QStringLiteral("Zoom Out"), QStringLiteral("zoomOutButton"));
    m_zoomIn = button(QStringLiteral("Zoom In"), QStringLiteral("zoomInButton"));
    m_print = button(QStringLiteral("&Print..."), QStringLiteral("printButton"));
    m_save = button(QStringLiteral("&Save..."), QStringLiteral("saveButton"));
    m_close = button(QStringLiteral("&Close"), QStringLiteral("closeButton"));
    m_pageBox = new QSpinBox(this);
    m_pageBox->setObjectName(QStringLiteral("pageBox"));
    m_pageBox->setRange(1, std::max(1, pageCount()));
    m_pageOf = new QLabel(QStringLiteral("of %1").arg(pageCount()), this);
    m_zoomLabel = new QLabel(this);
    m_zoomLabel->setMinimumWidth(48);
    m_zoomLabel->setAlignment(Qt::AlignCenter);
    m_print->setVisible(system.SystemOptions & soAllowPrintFromPreview);
    m_save->setVisible(system.SystemOptions & soAllowSaveFromPreview);

    auto *bar = new QHBoxLayout;
    for (QWidget *w : std::initializer_list<QWidget *>{m_first, m_previous, m_pageBox, m_pageOf, m_next, m_last})
        bar->addWidget(w);
    bar->addSpacing(24);
    for (QWidget *w : std::initializer_list<QWidget *>{m_zoomOut, m_zoomLabel, m_zoomIn})
        bar->addWidget(w);
    bar->addStretch(1);
    for (QWidget *w : std::initializer_list<QWidget *>{m_print, m_save, m_close})
        bar->addWidget(w);

    m_view = new QLabel;
    m_view->setObjectName(QStringLiteral("pageView"));
    m_view->setAlignment(Qt::AlignCenter);
    m_scroll = new QScrollArea(this);
    m_scroll->setAlignment(Qt::AlignCenter);
    m_scroll->setBackgroundRole(QPalette::Dark);
    m_scroll->setWidget(m_view);
    m_scroll->setWidgetResizable(true);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(m_scroll, 1);

    connect(m_first, &QPushButton::clicked, this, [this] { showPage(0); });
    connect(m_previous, &QPushButton::clicked, this, [this] { showPage(m_page - 1); });
    connect(m_next, &QPushButton::clicked, this, [this] { showPage(m_page + 1); });
    connect(m_last, &QPushButton::clicked, this, [this] { showPage(pageCount() - 1); });
    connect(m_pageBox, &QSpinBox::valueChanged, this, [this](int value) { showPage(value - 1); });
    connect(m_zoomIn, &QPushButton::clicked, this, [this] { setZoomFactor(m_zoom + zoomStep); });
    connect(m_zoomOut, &QPushButton::clicked, this, [this] { setZoomFactor(m_zoom - zoomStep); });
    connect(m_print, &QPushButton::clicked, this, [this] { printReport(); });
    connect(m_save, &QPushButton::clicked, this, [this] { saveReport(); });
    connect(m_close, &QPushButton::clicked, this, &QDialog::accept);

    resize(1000, 760);
    setWindowState(system.SystemPreview.FormState);
    render();
}

RvPreviewWindow::~RvPreviewWindow() = default;

int RvPreviewWindow::pageCount() const
{
    return m_doc->pageCount();
}

void RvPreviewWindow::showPage(int index)
{
    const int page = std::clamp(index, 0, std::max(0, pageCount() - 1));
    if (page == m_page && !m_view->pixmap().isNull())
        return;
    m_page = page;
    render();
}

void RvPreviewWindow::setZoomFactor(double percent)
{
    m_zoom = std::clamp(percent, minZoom, maxZoom);
    render();
}

void RvPreviewWindow::render()
{
    // The page is painted at the screen's resolution times the zoom, so 100 %
    // shows the paper at its real size.
    const double dpi = logicalDpiX() * m_zoom / 100.0;
    const QSizeF mm = m_doc->pageSizeMm();
    QImage image(int(std::lround(mm.width() / 25.4 * dpi)), int(std::lround(mm.height() / 25.4 * dpi)),
                 QImage::Format_RGB32);
    image.setDotsPerMeterX(int(std::lround(dpi / 0.0254)));
    image.setDotsPerMeterY(int(std::lround(dpi / 0.0254)));
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        ReportPagePainter::paint(painter, *m_doc, m_page);
    }
    m_view->setPixmap(QPixmap::fromImage(image));

    const QSignalBlocker blocker(m_pageBox);
    m_pageBox->setValue(m_page + 1);
    m_first->setEnabled(m_page > 0);
    m_previous->setEnabled(m_page > 0);
    m_next->setEnabled(m_page + 1 < pageCount());
    m_last->setEnabled(m_page + 1 < pageCount());
    m_zoomLabel->setText(QStringLiteral("%1 %").arg(std::lround(m_zoom)));
    m_zoomIn->setEnabled(m_zoom < maxZoom);
    m_zoomOut->setEnabled(m_zoom > minZoom);
}

void RvPreviewWindow::printReport()
{
    platform::runGuarded([this] {
        if (m_system.SystemSetups & ssAllowPreviewSetup) {
            QPrinter &printer = m_system.printer();
            printer.setCopyCount(std::max(1, m_system.SystemPrinter.Copies));
            printer.setCollateCopies(m_system.SystemPrinter.Collate);
            printer.setDuplex(m_system.SystemPrinter.Duplex);
            QPrintDialog dialog(&printer, this);
            if (m_system.runModal(dialog) != QDialog::Accepted)
                return;
            m_system.SystemPrinter.Copies = printer.copyCount();
            m_system.SystemPrinter.Collate = printer.collateCopies();
            m_system.SystemPrinter.Duplex = printer.duplex();
        }
        m_system.printDocument(*m_doc);
    });
}

void RvPreviewWindow::saveReport()
{
    platform::runGuarded([this] {
        RvOutputOptionsDialog dialog(m_system.outputSettings(), RvOutputOptionsDialog::Purpose::Save, this);
        if (m_system.runModal(dialog) != QDialog::Accepted)
            return;
        const RvOutputChoice choice = dialog.choice();
        if (choice.renderer && !choice.fileName.isEmpty())
            m_system.saveDocument(*m_doc, *choice.renderer, choice.fileName);
    });
}

void RvPreviewWindow::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_PageDown: showPage(m_page + 1); break;
    case Qt::Key_PageUp: showPage(m_page - 1); break;
    case Qt::Key_Home:
        if (event->modifiers() & Qt::ControlModifier) {
            showPage(0);
            break;
        }
        [[fallthrough]];
    default: QDialog::keyPressEvent(event);
    }
}
