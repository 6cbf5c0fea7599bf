#include "report/RvStatusWindow.h"

#include <QLabel>
#include <QVBoxLayout>

RvStatusWindow::RvStatusWindow(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , m_label(new QLabel(this))
{
    setModal(false);
    m_label->setObjectName(QStringLiteral("statusLabel"));
    m_label->setMinimumWidth(260);
    m_label->setAlignment(Qt::AlignCenter);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 18, 24, 18);
    layout->addWidget(m_label);
}

void RvStatusWindow::showStatus(const QString &text)
{
    if (!isVisible())
        show();
    m_label->setText(text);
    m_label->repaint();
}

QString RvStatusWindow::statusText() const
{
    return m_label->text();
}
