#include "dataview/ListStateText.h"

#include <QEvent>
#include <QWidget>

namespace dataview {

ListState listState(const ListStateFacts &facts)
{
    if (facts.paused)
        return ListState::Paused;
    switch (facts.lamp) {
    case Lamp::Lime: return ListState::Complete;
    case Lamp::Red:
    case Lamp::Yellow: return ListState::Loading;
    case Lamp::Maroon: break;
    }
    return ListState::Preparing;
}

QString stateWords(ListState state)
{
    switch (state) {
    case ListState::Preparing: return QStringLiteral("Wird vorbereitet");
    case ListState::Loading: return QStringLiteral("Lädt …");
    case ListState::Complete: return QStringLiteral("Vollständig geladen");
    case ListState::Paused: return QStringLiteral("Angehalten – „Neu Laden“ drücken");
    }
    return {};
}

ListStateTexts listStateTexts(const ListStateFacts &facts)
{
    const ListState state = listState(facts);
    const QString words = stateWords(state);
    // The counter's total is the unfiltered one, so only the rows placed tell
    // what an export or printout holds.
    const QString partial = facts.ended
        ? QString()
        : QStringLiteral("Liste noch nicht vollständig geladen (%1 Datensätze gelesen)").arg(facts.rowsPlaced);
    const QString stateLine = partial.isEmpty() ? words : words + QLatin1Char('\n') + partial;

    ListStateTexts texts;
    texts.lampName = QStringLiteral("Ladezustand: ") + words;
    texts.lampToolTip = stateLine;
    texts.counterDescription = QStringLiteral("Gelesene und gesamte Datensätze der ungefilterten Liste; ") + words;
    texts.counterToolTip = QStringLiteral("Gelesen / gesamt (ohne Filter)\n") + words;
    texts.exportToolTip = QStringLiteral("Export (Strg+E) nach %1").arg(facts.exportPath);
    texts.printToolTip = QStringLiteral("Drucken (Strg+P), Druckdaten in %1").arg(facts.printDataPath);
    if (!partial.isEmpty()) {
        texts.exportToolTip += QLatin1Char('\n') + partial;
        texts.printToolTip += QLatin1Char('\n') + partial;
    }
    return texts;
}

ListStatePresenter::ListStatePresenter(Controls controls, std::function<ListStateFacts()> facts, QObject *parent)
    : QObject(parent)
    , m_controls(controls)
    , m_facts(std::move(facts))
{
    for (QWidget *w : {m_controls.lamp, m_controls.counter, m_controls.exportButton, m_controls.printButton})
        w->installEventFilter(this);
}

namespace {

// Only a change is passed on, so a screen reader announces new states and
// not every tick.
void setTexts(QWidget *w, const QString &toolTip, const QString *name, const QString &description)
{
    if (w->toolTip() != toolTip)
        w->setToolTip(toolTip);
    if (name && w->accessibleName() != *name)
        w->setAccessibleName(*name);
    if (w->accessibleDescription() != description)
        w->setAccessibleDescription(description);
}

} // namespace

void ListStatePresenter::refresh()
{
    const ListStateTexts t = listStateTexts(m_facts());
    setTexts(m_controls.lamp, t.lampToolTip, &t.lampName, t.lampToolTip);
    setTexts(m_controls.counter, t.counterToolTip, nullptr, t.counterDescription);
    setTexts(m_controls.exportButton, t.exportToolTip, nullptr, t.exportToolTip);
    setTexts(m_controls.printButton, t.printToolTip, nullptr, t.printToolTip);
}

bool ListStatePresenter::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::ToolTip)
        refresh();
    return QObject::eventFilter(watched, event);
}

} // namespace dataview
