#pragma once

#include "platform/ErrorBox.h"

#include <QDir>
#include <QList>
#include <QTemporaryDir>

namespace testsupport {

// What a test of a window needs around it: a fresh working directory for the
// files the program reads and writes, and the modal messages it would have shown.
class WindowTestFixture
{
public:
    WindowTestFixture()
        : m_previousDir(QDir::currentPath())
    {
        QDir::setCurrent(m_dir.path());
        m_previousPresenter = platform::setMessagePresenter([this](const platform::ShownMessage &m) { messages << m; });
    }
    ~WindowTestFixture()
    {
        platform::setMessagePresenter(m_previousPresenter);
        QDir::setCurrent(m_previousDir);
    }
    WindowTestFixture(const WindowTestFixture &) = delete;
    WindowTestFixture &operator=(const WindowTestFixture &) = delete;

    QList<platform::ShownMessage> messages;

private:
    QTemporaryDir m_dir;
    QString m_previousDir;
    platform::MessagePresenter m_previousPresenter;
};

} // namespace testsupport
