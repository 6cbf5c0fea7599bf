#include "dataview/widgets/TDateTimePicker.h"

#include "platform/DateText.h"

#include <QCalendarWidget>
#include <QLocale>

TDateTimePicker::TDateTimePicker(QWidget *parent)
    : QDateEdit(parent)
{
    // The calendar pop-up names months and weekdays in German, as the rest of the window.
    setLocale(QLocale(QLocale::German, QLocale::Germany));
    setDisplayFormat(QString::fromLatin1(platform::shortDateFormat));
    setCalendarPopup(true);
}

QString TDateTimePicker::dateText() const
{
    return platform::dateText(date());
}
