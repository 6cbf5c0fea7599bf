#pragma once

#include <QDateEdit>

// A date picker with a calendar pop-up that always shows the German short date
// form dd.MM.yyyy, whatever the process locale. Only the date part of a value
// set with setDateTime() is kept, like the desktop picker in date mode.
class TDateTimePicker : public QDateEdit
{
    Q_OBJECT

public:
    explicit TDateTimePicker(QWidget *parent = nullptr);

    // The picked date as a short date text ("01.01.2000").
    QString dateText() const;
};
