#include "report/RvOutputOptionsDialog.h"

#include "platform/ErrorBox.h"
#include "report/RvRender.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

RvOutputOptionsDialog::RvOutputOptionsDialog(RvSystem &system, Purpose purpose, QWidget *parent)
    : QDialog(parent)
    , m_system(system)
    , m_purpose(purpose)
    , m_renderers(system.renderers())
{
    const RvSystemSetups allowed = system.SystemSetups;
    const bool run = purpose == Purpose::Run;
    setWindowTitle(run ? system.TitleSetup : QStringLiteral("Save Report"));
    setModal(true);

    m_destinationGroup = new QGroupBox(QStringLiteral("Destination"), this);
    m_preview = new QRadioButton(QStringLiteral("Pre&view"), m_destinationGroup);
    m_printer = new QRadioButton(QStringLiteral("&Printer"), m_destinationGroup);
    m_file = new QRadioButton(QStringLiteral("&File"), m_destinationGroup);
    m_preview->setObjectName(QStringLiteral("previewButton"));
    m_printer->setObjectName(QStringLiteral("printerButton"));
    m_file->setObjectName(QStringLiteral("fileButton"));
    auto *destinationLayout = new QVBoxLayout(m_destinationGroup);
    destinationLayout->addWidget(m_preview);
    destinationLayout->addWidget(m_printer);
    destinationLayout->addWidget(m_file);
    m_preview->setEnabled(allowed & ssAllowDestPreview);
    m_printer->setEnabled(allowed & ssAllowDestPrinter);
    m_file->setEnabled(allowed & ssAllowDestFile);

    m_printerGroup = new QGroupBox(QStringLiteral("Printer"), this);
    m_copies = new QSpinBox(m_printerGroup);
    m_copies->setObjectName(QStringLiteral("copiesBox"));
    m_copies->setRange(1, 999);
    m_copies->setValue(std::clamp(system.SystemPrinter.Copies, 1, 999));
    m_collate = new QCheckBox(QStringLiteral("C&ollate"), m_printerGroup);
    m_collate->setObjectName(QStringLiteral("collateBox"));
    m_collate->setChecked(system.SystemPrinter.Collate);
    m_duplex = new QComboBox(m_printerGroup);
    m_duplex->setObjectName(QStringLiteral("duplexBox"));
    m_duplex->addItem(QStringLiteral("None"), int(QPrinter::DuplexNone));
    m_duplex->addItem(QStringLiteral("Long side"), int(QPrinter::DuplexLongSide));
    m_duplex->addItem(QStringLiteral("Short side"), int(QPrinter::DuplexShortSide));
    m_duplex->setCurrentIndex(std::max(0, m_duplex->findData(int(system.SystemPrinter.Duplex))));
    m_printerSetup = new QPushButton(QStringLiteral("Printer &Setup..."), m_printerGroup);
    m_printerSetup->setObjectName(QStringLiteral("printerSetupButton"));
    auto *printerLayout = new QFormLayout(m_printerGroup);
    printerLayout->addRow(QStringLiteral("&Copies:"), m_copies);
    printerLayout->addRow(QString(), m_collate);
    printerLayout->addRow(QStringLiteral("&Duplex:"), m_duplex);
    printerLayout->addRow(QString(), m_printerSetup);

    m_fileGroup = new QGroupBox(QStringLiteral("File"), this);
    m_format = new QComboBox(m_fileGroup);
    m_format->setObjectName(QStringLiteral("formatBox"));
    for (RvRender *renderer : std::as_const(m_renderers))
        m_format->addItem(renderer->DisplayName);
    auto *extension = new QLabel(m_fileGroup);
    m_fileName = new QLineEdit(m_fileGroup);
    m_fileName->setObjectName(QStringLiteral("fileNameEdit"));
    m_fileName->setMinimumWidth(280);
    m_browse = new QPushButton(QStringLiteral("&Browse..."), m_fileGroup);
    m_browse->setObjectName(QStringLiteral("browseButton"));
    auto *nameRow = new QHBoxLayout;
    nameRow->addWidget(m_fileName, 1);
    nameRow->addWidget(m_browse);
    auto *formatRow = new QHBoxLayout;
    formatRow->addWidget(m_format, 1);
    formatRow->addWidget(extension);
    // Rows holding a layout get no buddy of their own; without one the "&" would show.
    auto *formatLabel = new QLabel(QStringLiteral("Fo&rmat:"), m_fileGroup);
    formatLabel->setBuddy(m_format);
    auto *nameLabel = new QLabel(QStringLiteral("File &name:"), m_fileGroup);
    nameLabel->setBuddy(m_fileName);
    auto *fileLayout = new QFormLayout(m_fileGroup);
    fileLayout->addRow(formatLabel, formatRow);
    fileLayout->addRow(nameLabel, nameRow);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_cancel = buttons->button(QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *top = new QHBoxLayout;
    top->addWidget(m_destinationGroup);
    top->addWidget(m_printerGroup, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_fileGroup);
    layout->addWidget(buttons);
    if (!run) {
        m_destinationGroup->hide();
        m_printerGroup->hide();
    }

    // Preselection: the default destination when allowed, else the first allowed one.
    QRadioButton *preset = m_preview;
    if (system.DefaultDest == rdPrinter)
        preset = m_printer;
    else if (system.DefaultDest == rdFile)
        preset = m_file;
    if (!run)
        preset = m_file;
    else if (!preset->isEnabled())
        preset = m_preview->isEnabled() ? m_preview : m_printer->isEnabled() ? m_printer : m_file;
    if (preset->isEnabled() || !run)
        preset->setChecked(true);

    const qsizetype presetFormat = m_renderers.indexOf(system.RenderObject);
    m_format->setCurrentIndex(presetFormat >= 0 ? int(presetFormat) : 0);
    m_fileName->setText(system.OutputFileName);
    auto showExtension = [this, extension] {
        const RvRender *renderer = currentRenderer();
        extension->setText(renderer ? renderer->FileExtension : QString());
    };
    showExtension();

    connect(m_format, &QComboBox::currentIndexChanged, this, [this, showExtension] {
        showExtension();
        formatChanged();
    });
    for (QRadioButton *button : {m_preview, m_printer, m_file})
        connect(button, &QRadioButton::toggled, this, &RvOutputOptionsDialog::updateState);
    connect(m_fileName, &QLineEdit::textChanged, this, &RvOutputOptionsDialog::updateState);
    connect(m_browse, &QPushButton::clicked, this, platform::guarded([this] { browse(); }));
    connect(m_printerSetup, &QPushButton::clicked, this, platform::guarded([this] { printerSetup(); }));
    updateState();
}

RvRender *RvOutputOptionsDialog::currentRenderer() const
{
    const int index = m_format->currentIndex();
    return index >= 0 && index < m_renderers.size() ? m_renderers.at(index) : nullptr;
}

bool RvOutputOptionsDialog::selectFormat(const QString &displayName)
{
    const int index = m_format->findText(displayName, Qt::MatchExactly);
    if (index < 0)
        return false;
    m_format->setCurrentIndex(index);
    return true;
}

RvOutputChoice RvOutputOptionsDialog::choice() const
{
    RvOutputChoice result;
    result.destination = m_printer->isChecked() ? rdPrinter : m_file->isChecked() ? rdFile : rdPreview;
    result.renderer = currentRenderer();
    result.copies = m_copies->value();
    result.collate = m_collate->isChecked();
    result.duplex = QPrinter::DuplexMode(m_duplex->currentData().toInt());
    const QString typed = m_fileName->text().trimmed();
    if (!typed.isEmpty()) {
        QString name = typed;
        if (result.renderer && !result.renderer->matchesFileName(name))
            name += result.renderer->defaultSuffix();
        result.fileName = QDir::cleanPath(QFileInfo(name).absoluteFilePath());
    }
    return result;
}

void RvOutputOptionsDialog::updateState()
{
    const RvSystemSetups allowed = m_system.SystemSetups;
    const bool toFile = m_file->isChecked();
    const bool toPaper = m_preview->isChecked() || m_printer->isChecked();
    m_copies->setEnabled(toPaper && (allowed & ssAllowCopies));
    m_collate->setEnabled(toPaper && (allowed & ssAllowCollate));
    m_duplex->setEnabled(toPaper && (allowed & ssAllowDuplex));
    m_printerSetup->setEnabled(toPaper && (allowed & ssAllowPrinterSetup));
    m_fileGroup->setEnabled(toFile);
    const bool complete = toPaper || (toFile && currentRenderer() && !m_fileName->text().trimmed().isEmpty());
    m_ok->setEnabled(complete);
}

// A file name that ends in another format's suffix follows the new format.
void RvOutputOptionsDialog::formatChanged()
{
    const RvRender *renderer = currentRenderer();
    const QString name = m_fileName->text().trimmed();
    if (renderer && !name.isEmpty() && !renderer->matchesFileName(name)) {
        for (const RvRender *other : std::as_const(m_renderers)) {
            if (other != renderer && other->matchesFileName(name)) {
                const QString base = name.left(name.lastIndexOf(QLatin1Char('.')));
                m_fileName->setText(base + renderer->defaultSuffix());
                break;
            }
        }
    }
    updateState();
}

void RvOutputOptionsDialog::browse()
{
    QFileDialog dialog(this, QStringLiteral("Save Report As"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    QStringList filters;
    for (const RvRender *renderer : std::as_const(m_renderers))
        filters.append(renderer->fileDialogFilter());
    dialog.setNameFilters(filters);
    if (const RvRender *renderer = currentRenderer()) {
        dialog.selectNameFilter(renderer->fileDialogFilter());
        dialog.setDefaultSuffix(renderer->defaultSuffix().mid(1));
    }
    if (!m_fileName->text().trimmed().isEmpty())
        dialog.selectFile(m_fileName->text().trimmed());
    if (m_system.runModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const qsizetype chosen = filters.indexOf(dialog.selectedNameFilter());
    if (chosen >= 0)
        m_format->setCurrentIndex(int(chosen));
    m_fileName->setText(QDir::toNativeSeparators(dialog.selectedFiles().first()));
}

void RvOutputOptionsDialog::printerSetup()
{
    QPrinter &printer = m_system.printer();
    printer.setCopyCount(m_copies->value());
    printer.setCollateCopies(m_collate->isChecked());
    printer.setDuplex(QPrinter::DuplexMode(m_duplex->currentData().toInt()));
    QPrintDialog dialog(&printer, this);
    if (m_system.runModal(dialog) != QDialog::Accepted)
        return;
    m_copies->setValue(std::clamp(printer.copyCount(), 1, 999));
    m_collate->setChecked(printer.collateCopies());
    m_duplex->setCurrentIndex(std::max(0, m_duplex->findData(int(printer.duplex()))));
}
