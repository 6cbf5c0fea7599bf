#pragma once

#include <QMessageBox>
#include <QString>
#include <exception>
#include <functional>
#include <utility>

namespace platform {

struct ShownMessage
{
    QMessageBox::Icon icon;
    QString title;
    QString text;
    QWidget *owner = nullptr; // the window the box stands over; none: the active one
};

// While one lives, the messages shown stand over `owner`: a window's show
// handler runs before the window is on screen, when another one is active.
class MessageOwner
{
public:
    explicit MessageOwner(QWidget *owner);
    ~MessageOwner();
    MessageOwner(const MessageOwner &) = delete;
    MessageOwner &operator=(const MessageOwner &) = delete;

private:
    QWidget *m_previous;
};

// Every modal message of the program goes through one presenter, so tests can
// see what the user would have been shown without a modal loop. The default
// shows a QMessageBox with a single "OK" button.
using MessagePresenter = std::function<void(const ShownMessage &)>;
MessagePresenter setMessagePresenter(MessagePresenter presenter);
void showMessage(QMessageBox::Icon icon, const QString &title, const QString &text);

// Program file name without directory and without everything from its first ".",
// every character after the first in lower case ("Plivora3").
QString applicationTitle(const QString &programPath);
QString applicationTitle();

// The standard error box text: the message, with "." appended when its last
// character sorts after ".".
QString errorBoxText(const QString &message);
void showErrorBox(const QString &message);
void showErrorBox(const std::exception &error);

// The message an error carries, for an error box shown later.
QString errorMessage(const std::exception &error);

// Runs one event handler; whatever it throws ends the handler and is shown in
// the standard error box. Returns false when the handler failed.
bool runGuarded(const std::function<void()> &handler) noexcept;

// Wraps a handler for QObject::connect, so no exception crosses Qt's event loop.
template <class F>
auto guarded(F handler)
{
    return [handler = std::move(handler)](auto &&...) { runGuarded(handler); };
}

} // namespace platform
