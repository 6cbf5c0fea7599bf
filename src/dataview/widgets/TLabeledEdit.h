#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QPointer>

class QStyle;

// A one-line edit with its caption label above it, like the desktop's labelled
// edit. The owner places the edit (setGeometry(left, top, w, h)); the label is a
// sibling in the same parent that follows it to (left, top - label height - 3),
// and shares its visibility and enabled state. The label follows at the edit's
// move and resize events, so for an edit not yet shown it catches up at show.
class TLabeledEdit : public QLineEdit
{
    Q_OBJECT

public:
    static constexpr int labelSpacing() { return 3; }

    explicit TLabeledEdit(QWidget *parent = nullptr);
    TLabeledEdit(const QString &caption, QWidget *parent);
    ~TLabeledEdit() override;

    QString labelCaption() const;
    void setLabelCaption(const QString &caption);
    QLabel *label() const { return m_label; }

    // Password entry shown as "*" per character, whatever the style would use.
    bool passwordStars() const;
    void setPasswordStars(bool on);

    // Without border or bevel, as the record counters are.
    bool isFlat() const { return !hasFrame(); }
    void setFlat(bool flat) { setFrame(!flat); }

    void setVisible(bool visible) override;

protected:
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private slots:
    void placeLabel();

private:
    QPointer<QLabel> m_label;
    QStyle *m_starStyle = nullptr;
};
