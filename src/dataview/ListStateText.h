#pragma once

#include "dataview/ListLoader.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class QWidget;

namespace dataview {

// A list's state as the person at the screen should learn it, in words: the
// lamp's colours alone do not tell it (maroon stands for two states, and red
// and lime look alike to many).
enum class ListState { Preparing, Loading, Complete, Paused };

// What the loader last announced, and what the texts are built from.
struct ListStateFacts
{
    Lamp lamp = Lamp::Maroon;
    bool paused = false;
    bool ended = false;
    int rowsPlaced = 0;     // records in the grid, header and trailing row not counted
    QString exportPath;     // the files "Export" and "Drucken" write, with their full paths
    QString printDataPath;
};

ListState listState(const ListStateFacts &facts);
QString stateWords(ListState state);

// The texts the sheet's lamp, counter and buttons carry.
struct ListStateTexts
{
    QString lampName, lampToolTip;
    QString counterDescription, counterToolTip;
    QString exportToolTip, printToolTip;
};

ListStateTexts listStateTexts(const ListStateFacts &facts);

// Keeps one sheet's lamp, counter, "Export" and "Drucken" telling the list's
// state: refresh() after every announcement of the loader, and once more when
// a tooltip is about to show, so the paths follow the working directory.
class ListStatePresenter : public QObject
{
    Q_OBJECT

public:
    struct Controls
    {
        QWidget *lamp, *counter, *exportButton, *printButton;
    };

    ListStatePresenter(Controls controls, std::function<ListStateFacts()> facts, QObject *parent = nullptr);

    void refresh();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    Controls m_controls;
    std::function<ListStateFacts()> m_facts;
};

} // namespace dataview
