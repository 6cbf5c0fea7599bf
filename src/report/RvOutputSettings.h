#pragma once

#include <QList>
#include <QPrinter>
#include <QString>

#include <functional>

class QDialog;
class RvRender;

enum RvDestination { rdPreview, rdPrinter, rdFile };

// What the output-options dialog lets the user do.
enum RvSystemSetup {
    ssAllowSetup = 0x001,        // show the output-options dialog at all
    ssAllowCopies = 0x002,
    ssAllowCollate = 0x004,
    ssAllowDuplex = 0x008,
    ssAllowDestPreview = 0x010,
    ssAllowDestPrinter = 0x020,
    ssAllowDestFile = 0x040,
    ssAllowPrinterSetup = 0x080, // the printer setup button of the dialog
    ssAllowPreviewSetup = 0x100, // the printer setup before printing from the preview
};
Q_DECLARE_FLAGS(RvSystemSetups, RvSystemSetup)
Q_DECLARE_OPERATORS_FOR_FLAGS(RvSystemSetups)

// Where one run goes, as chosen in the output-options dialog (or preset).
struct RvOutputChoice
{
    RvDestination destination = rdPreview;
    RvRender *renderer = nullptr;
    QString fileName;
    int copies = 1;
    bool collate = false;
    QPrinter::DuplexMode duplex = QPrinter::DuplexNone;
};

// Runs a modal window and returns its result; the default is QDialog::exec().
using RvModalRunner = std::function<int(QDialog &)>;

// What the output-options dialog edits, and the engine's services it uses while
// open: the engine fills this in, so the dialog knows nothing of the engine.
struct RvOutputSettings
{
    QString title;                       // caption of a run's dialog
    RvSystemSetups allowed;
    QList<RvRender *> renderers;         // the file formats offered, in this order
    RvOutputChoice preset;               // preselected as far as allowed
    std::function<QPrinter &()> printer; // the printer its printer setup configures
    RvModalRunner runModal;              // runs its printer setup and file dialogs
};
