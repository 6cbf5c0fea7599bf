#include "report/RvOutputOptionsDialog.h"

#include "platform/ErrorBox.h"
#include "report/RvRender.h"

#include <QCheckBox>
#include <QComboBox>
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

RvOutputOptionsDialog::RvOutputOptionsDialog(RvOutputSettings settings, Purpose purpose, QWidget *parent)
    : QDialog(parent)
    , m_settings(std::move(settings))
    , m_purpose(purpose)
{
    setWindowTitle(purpose == Purpose::Run ? m_settings.title : QStringLiteral("Save Report"));
    setModal(true);

    auto *top = new QHBoxLayout;
    top->addWidget(createDestinationGroup());
    top->addWidget(createPrinterGroup(), 1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(createFileGroup());
    layout->addLayout(createButtons());
    if (purpose == Purpose::Save) {
        m_destinationGroup->hide();
        m_printerGroup->hide();
    }
    preselect();

    connect(m_format, &QComboBox::currentIndexChanged, this, [this] {
        showExtension();
        formatChanged();
    });
    for (QRadioButton *button : {m_preview, m_printer, m_file})
        connect(button, &QRadioButton::toggled, this, &RvOutputOptionsDialog::updateState);
    connect(m_fileName, &QLineEdit::textChanged, this, &RvOutputOptionsDialog::updateState);
    connect(m_browse, &QPushButton::clicked, this, platform::guarded([this] { browse(); }));
    connect(m_printerSetup, &QPushButton::clicked, this, platform::guarded([this] { printerSetup(); }));
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    updateState();
}

QGroupBox *RvOutputOptionsDialog::createDestinationGroup()
{
    const RvSystemSetups allowed = m_settings.allowed;
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
    return m_destinationGroup;
}

QGroupBox *RvOutputOptionsDialog::createPrinterGroup()
{
    const RvOutputChoice &preset = m_settings.preset;
    m_printerGroup = new QGroupBox(QStringLiteral("Printer"), this);
    m_copies = new QSpinBox(m_printerGroup);
    m_copies->setObjectName(QStringLiteral("copiesBox"));
    m_copies->setRange(1, 999);
    m_copies->setValue(std::clamp(preset.copies, 1, 999));
    m_collate = new QCheckBox(QStringLiteral("C&ollate"), m_printerGroup);
    m_collate->setObjectName(QStringLiteral("collateBox"));
    m_collate->setChecked(preset.collate);
    m_duplex = new QComboBox(m_printerGroup);
    m_duplex->setObjectName(QStringLiteral("duplexBox"));
    m_duplex->addItem(QStringLiteral("None"), int(QPrinter::DuplexNone));
    m_duplex->addItem(QStringLiteral("Long side"), int(QPrinter::DuplexLongSide));
    m_duplex->addItem(QStringLiteral("Short side"), int(QPrinter::DuplexShortSide));
    m_duplex->setCurrentIndex(std::max(0, m_duplex->findData(int(preset.duplex))));
    m_printerSetup = new QPushButton(QStringLiteral("Printer &Setup..."), m_printerGroup);
    m_printerSetup->setObjectName(QStringLiteral("printerSetupButton"));
    auto *printerLayout = new QFormLayout(m_printerGroup);
    printerLayout->addRow(QStringLiteral("&Copies:"), m_copies);
    printerLayout->addRow(QString(), m_collate);
    printerLayout->addRow(QStringLiteral("&Duplex:"), m_duplex);
    printerLayout->addRow(QString(), m_printerSetup);
    return m_printerGroup;
}

QGroupBox *RvOutputOptionsDialog::createFileGroup()
{
    m_fileGroup = new QGroupBox(QStringLiteral("File"), this);
    m_format = new QComboBox(m_fileGroup);
    m_format->setObjectName(QStringLiteral("formatBox"));
    for (RvRender *renderer : m_settings.renderers)
        m_format->addItem(renderer->DisplayName);
    m_extension = new QLabel(m_fileGroup);
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
    formatRow->addWidget(m_extension);
    // Rows holding a layout get no buddy of their own; without one the "&" would show.
    auto *formatLabel = new QLabel(QStringLiteral("Fo&rmat:"), m_fileGroup);
    formatLabel->setBuddy(m_format);
    auto *nameLabel = new QLabel(QStringLiteral("File &name:"), m_fileGroup);
    nameLabel->setBuddy(m_fileName);
    auto *fileLayout = new QFormLayout(m_fileGroup);
    fileLayout->addRow(formatLabel, formatRow);
    fileLayout->addRow(nameLabel, nameRow);
    return m_fileGroup;
}

// Buttons of its own rather than a button box's standard ones, whose texts an
// installed translator would change.
QLayout *RvOutputOptionsDialog::createButtons()
{
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("okButton"));
    m_ok->setDefault(true);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("cancelButton"));
    auto *row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(m_ok);
    row->addWidget(m_cancel);
    return row;
}

// The preset destination when allowed, else the first allowed one; a save
// dialog always writes a file. Then the preset format and file name.
void RvOutputOptionsDialog::preselect()
{
    const RvOutputChoice &preset = m_settings.preset;
    const bool run = m_purpose == Purpose::Run;
    QRadioButton *checked = m_preview;
    if (preset.destination == rdPrinter)
        checked = m_printer;
    else if (preset.destination == rdFile)
        checked = m_file;
    if (!run)
        checked = m_file;
    else if (!checked->isEnabled())
        checked = m_preview->isEnabled() ? m_preview : m_printer->isEnabled() ? m_printer : m_file;
    if (checked->isEnabled() || !run)
        checked->setChecked(true);

    const qsizetype presetFormat = m_settings.renderers.indexOf(preset.renderer);
    m_format->setCurrentIndex(presetFormat >= 0 ? int(presetFormat) : 0);
    m_fileName->setText(preset.fileName);
    showExtension();
}

void RvOutputOptionsDialog::showExtension()
{
    const RvRender *renderer = currentRenderer();
    m_extension->setText(renderer ? renderer->FileExtension : QString());
}

int RvOutputOptionsDialog::runModal(QDialog &dialog) const
{
    return m_settings.runModal ? m_settings.runModal(dialog) : dialog.exec();
}

RvRender *RvOutputOptionsDialog::currentRenderer() const
{
    const int index = m_format->currentIndex();
    return index >= 0 && index < m_settings.renderers.size() ? m_settings.renderers.at(index) : nullptr;
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
    const RvSystemSetups allowed = m_settings.allowed;
    const bool toFile = m_file->isChecked();
    const bool toPaper = m_preview->isChecked() || m_printer->isChecked();
    m_copies->setEnabled(toPaper && (allowed & ssAllowCopies));
    m_collate->setEnabled(toPaper && (allowed & ssAllowCollate));
    m_duplex->setEnabled(toPaper && (allowed & ssAllowDuplex));
    m_printerSetup->setEnabled(toPaper && (allowed & ssAllowPrinterSetup) && m_settings.printer);
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
        for (const RvRender *other : m_settings.renderers) {
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
    for (const RvRender *renderer : m_settings.renderers)
        filters.append(renderer->fileDialogFilter());
    dialog.setNameFilters(filters);
    if (const RvRender *renderer = currentRenderer()) {
        dialog.selectNameFilter(renderer->fileDialogFilter());
        dialog.setDefaultSuffix(renderer->defaultSuffix().mid(1));
    }
    if (!m_fileName->text().trimmed().isEmpty())
        dialog.selectFile(m_fileName->text().trimmed());
    if (runModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const qsizetype chosen = filters.indexOf(dialog.selectedNameFilter());
    if (chosen >= 0)
        m_format->setCurrentIndex(int(chosen));
    m_fileName->setText(QDir::toNativeSeparators(dialog.selectedFiles().first()));
}

void RvOutputOptionsDialog::printerSetup()
{
    QPrinter &printer = m_settings.printer();
    printer.setCopyCount(m_copies->value());
    printer.setCollateCopies(m_collate->isChecked());
    printer.setDuplex(QPrinter::DuplexMode(m_duplex->currentData().toInt()));
    QPrintDialog dialog(&printer, this);
    if (runModal(dialog) != QDialog::Accepted)
        return;
    m_copies->setValue(std::clamp(printer.copyCount(), 1, 999));
    m_collate->setChecked(printer.collateCopies());
    m_duplex->setCurrentIndex(std::max(0, m_duplex->findData(int(printer.duplex()))));
}
