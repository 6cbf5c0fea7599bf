#pragma once

#include "report/RvOutputSettings.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLayout;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

// The engine's modal output-options dialog: destination (preview, printer, file),
// printer options (copies, collate, duplex, printer setup) and the file format and
// file name, preset and limited by the settings it is given. As a save dialog
// (from the preview) it shows only the file part. OK is enabled only when the
// choice is complete. Its texts are English and set one by one, so an installed
// translator changes none of them.
class RvOutputOptionsDialog : public QDialog
{
    Q_OBJECT

public:
    enum class Purpose { Run, Save };

    RvOutputOptionsDialog(RvOutputSettings settings, Purpose purpose, QWidget *parent = nullptr);

    // The choice as it stands; the file name is absolute and ends in the format's suffix.
    RvOutputChoice choice() const;

    // Picks the file format by its DisplayName; false when no renderer has it.
    bool selectFormat(const QString &displayName);

    QRadioButton *previewButton() const { return m_preview; }
    QRadioButton *printerButton() const { return m_printer; }
    QRadioButton *fileButton() const { return m_file; }
    QSpinBox *copiesBox() const { return m_copies; }
    QCheckBox *collateBox() const { return m_collate; }
    QComboBox *duplexBox() const { return m_duplex; }
    QPushButton *printerSetupButton() const { return m_printerSetup; }
    QComboBox *formatBox() const { return m_format; }
    QLineEdit *fileNameEdit() const { return m_fileName; }
    QPushButton *browseButton() const { return m_browse; }
    QPushButton *okButton() const { return m_ok; }
    QPushButton *cancelButton() const { return m_cancel; }

private:
    QGroupBox *createDestinationGroup();
    QGroupBox *createPrinterGroup();
    QGroupBox *createFileGroup();
    QLayout *createButtons();
    void preselect();
    int runModal(QDialog &dialog) const;
    RvRender *currentRenderer() const;
    void showExtension();
    void updateState();
    void formatChanged();
    void browse();
    void printerSetup();

    const RvOutputSettings m_settings;
    const Purpose m_purpose;
    QGroupBox *m_destinationGroup = nullptr;
    QGroupBox *m_printerGroup = nullptr;
    QGroupBox *m_fileGroup = nullptr;
    QRadioButton *m_preview = nullptr;
    QRadioButton *m_printer = nullptr;
    QRadioButton *m_file = nullptr;
    QSpinBox *m_copies = nullptr;
    QCheckBox *m_collate = nullptr;
    QComboBox *m_duplex = nullptr;
    QPushButton *m_printerSetup = nullptr;
    QComboBox *m_format = nullptr;
    QLabel *m_extension = nullptr;
    QLineEdit *m_fileName = nullptr;
    QPushButton *m_browse = nullptr;
    QPushButton *m_ok = nullptr;
    QPushButton *m_cancel = nullptr;
};
