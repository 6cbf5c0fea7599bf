#include "dataview/SheetKeys.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QLineEdit>
#include <QShortcut>
#include <QTabWidget>

namespace dataview {

const QKeySequence &SheetKeys::reloadKey()
{
    static const QKeySequence key(Qt::Key_F5);
    return key;
}

const QKeySequence &SheetKeys::exportKey()
{
    static const QKeySequence key(Qt::CTRL | Qt::Key_E);
    return key;
}

const QKeySequence &SheetKeys::printKey()
{
    static const QKeySequence key(Qt::CTRL | Qt::Key_P);
    return key;
}

SheetKeys::SheetKeys(QWidget *window, QTabWidget *pages, const std::array<SheetKeyTargets, 3> &sheets)
    : QObject(window)
    , m_pages(pages)
    , m_sheets(sheets)
{
    auto onTop = [this](QAbstractButton *SheetKeyTargets::*button) {
        return [this, button] {
            const int page = m_pages->currentIndex();
            if (page >= 0 && page < int(m_sheets.size()))
                (m_sheets[page].*button)->click();
        };
    };
    connect(new QShortcut(reloadKey(), window), &QShortcut::activated, this, onTop(&SheetKeyTargets::reload));
    connect(new QShortcut(exportKey(), window), &QShortcut::activated, this, onTop(&SheetKeyTargets::exportButton));
    connect(new QShortcut(printKey(), window), &QShortcut::activated, this, onTop(&SheetKeyTargets::print));

    for (const SheetKeyTargets &sheet : m_sheets) {
        sheet.reload->setToolTip(QStringLiteral("Neu Laden (F5 oder Eingabetaste in einem Filterfeld)"));
        for (QWidget *filter : sheet.filters) {
            filter->installEventFilter(this);
            if (auto *edit = qobject_cast<QLineEdit *>(filter))
                connect(edit, &QLineEdit::returnPressed, sheet.reload, &QAbstractButton::click);
        }
    }
}

QAbstractButton *SheetKeys::reloadOf(QObject *filter) const
{
    for (const SheetKeyTargets &sheet : m_sheets) {
        for (QWidget *w : sheet.filters) {
            if (w == filter)
                return sheet.reload;
        }
    }
    return nullptr;
}

bool SheetKeys::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        // A line edit claims Ctrl+E (end of line) for itself; the window's keys win.
        const auto *key = static_cast<QKeyEvent *>(event);
        const QKeySequence pressed(key->keyCombination());
        if (pressed == exportKey() || pressed == printKey() || pressed == reloadKey())
            return true;
    }
    if (event->type() == QEvent::KeyPress && !qobject_cast<QLineEdit *>(watched)) {
        // Date pickers have no returnPressed of their own.
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (QAbstractButton *reload = reloadOf(watched)) {
                reload->click();
                return true;
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace dataview
