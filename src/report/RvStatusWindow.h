#pragma once

#include <QDialog>

class QLabel;

// The small non-modal window that shows which page is being generated or printed.
// It repaints itself at once on every status, without running the event loop,
// so a run cannot be re-entered from it.
class RvStatusWindow : public QDialog
{
    Q_OBJECT

public:
    explicit RvStatusWindow(QWidget *parent = nullptr);

    void showStatus(const QString &text);
    QString statusText() const;

private:
    QLabel *m_label;
};
