#pragma once

#include <QList>
#include <QObject>

#include <array>

class QAbstractButton;
class QKeySequence;
class QTabWidget;
class QWidget;

namespace dataview {

// One sheet's buttons and the filter inputs whose Return presses "Neu Laden".
struct SheetKeyTargets
{
    QAbstractButton *reload;
    QAbstractButton *exportButton;
    QAbstractButton *print;
    QList<QWidget *> filters; // labelled edits and date pickers
};

// The data window's keys: Return in a filter field presses that sheet's
// "Neu Laden"; F5, Ctrl+E and Ctrl+P press "Neu Laden", "Export" and "Drucken"
// of the sheet on top. Each is a click on the button, so it runs the button's
// own handler and does nothing while the button is switched off.
class SheetKeys : public QObject
{
    Q_OBJECT

public:
    SheetKeys(QWidget *window, QTabWidget *pages, const std::array<SheetKeyTargets, 3> &sheets);

    static const QKeySequence &reloadKey();
    static const QKeySequence &exportKey();
    static const QKeySequence &printKey();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QAbstractButton *reloadOf(QObject *filter) const;

    QTabWidget *m_pages;
    std::array<SheetKeyTargets, 3> m_sheets;
};

} // namespace dataview
