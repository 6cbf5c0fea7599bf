#include "platform/ErrorBox.h"

#include "platform/Exception.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace platform {

namespace {

QWidget *currentOwner = nullptr;

void presentInMessageBox(const ShownMessage &message)
{
    QMessageBox box(message.icon, message.title, message.text, QMessageBox::Ok, message.owner);
    box.exec();
}

MessagePresenter &presenter()
{
    static MessagePresenter current = presentInMessageBox;
    return current;
}

} // namespace

MessagePresenter setMessagePresenter(MessagePresenter replacement)
{
    MessagePresenter previous = std::move(presenter());
    presenter() = replacement ? std::move(replacement) : MessagePresenter(presentInMessageBox);
    return previous;
}

MessageOwner::MessageOwner(QWidget *owner)
    : m_previous(currentOwner)
{
    currentOwner = owner;
}

MessageOwner::~MessageOwner()
{
    currentOwner = m_previous;
}

void showMessage(QMessageBox::Icon icon, const QString &title, const QString &text)
{
    presenter()(ShownMessage{icon, title, text, currentOwner});
}

QString applicationTitle(const QString &programPath)
{
    QString name = QFileInfo(programPath).fileName();
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    if (name.size() > 1)
        name = name.left(1) + name.mid(1).toLower();
    return name;
}

QString applicationTitle()
{
    return applicationTitle(QCoreApplication::applicationFilePath());
}

QString errorBoxText(const QString &message)
{
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

void showErrorBox(const QString &message)
{
    showMessage(QMessageBox::Critical, applicationTitle(), errorBoxText(message));
}

QString errorMessage(const std::exception &error)
{
    if (const auto *own = dynamic_cast<const Exception *>(&error))
        return own->message();
    return QString::fromLocal8Bit(error.what());
}

void showErrorBox(const std::exception &error)
{
    showErrorBox(errorMessage(error));
}

bool runGuarded(const std::function<void()> &handler) noexcept
{
    try {
        handler();
        return true;
    } catch (const std::exception &error) {
        try {
            showErrorBox(error);
        } catch (...) {
        }
    } catch (...) {
        try {
            showErrorBox(QStringLiteral("Unbekannter Fehler"));
        } catch (...) {
        }
    }
    return false;
}

} // namespace platform
