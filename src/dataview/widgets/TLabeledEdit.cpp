#include "dataview/widgets/TLabeledEdit.h"

#include <QEvent>
#include <QLabel>
#include <QProxyStyle>

namespace {

// The caption label tells its edit when a new font (usually inherited from the
// parent) has changed its height, after it has taken the font itself.
class CaptionLabel : public QLabel
{
public:
    CaptionLabel(const QString &text, QWidget *parent, TLabeledEdit *edit)
        : QLabel(text, parent)
        , m_edit(edit)
    {
    }

protected:
    void changeEvent(QEvent *event) override
    {
        QLabel::changeEvent(event);
        if (event->type() == QEvent::FontChange && m_edit)
            QMetaObject::invokeMethod(m_edit, "placeLabel", Qt::DirectConnection);
    }

private:
    QPointer<TLabeledEdit> m_edit;
};

// Qt takes the password mask from the style (a bullet in most styles); the
// desktop control shows "*".
class StarPasswordStyle : public QProxyStyle
{
public:
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

TLabeledEdit::TLabeledEdit(QWidget *parent)
    : TLabeledEdit(QString(), parent)
{
}

TLabeledEdit::TLabeledEdit(const QString &caption, QWidget *parent)
    : QLineEdit(parent)
    , m_label(new CaptionLabel(caption, parent, this))
{
    m_label->setBuddy(this);
    placeLabel();
}

TLabeledEdit::~TLabeledEdit()
{
    // The label belongs to the parent, so it would outlive the edit otherwise.
    delete m_label.data();
}

QString TLabeledEdit::labelCaption() const
{
    return m_label ? m_label->text() : QString();
}

void TLabeledEdit::setLabelCaption(const QString &caption)
{
    if (!m_label)
        return;
    m_label->setText(caption);
    placeLabel();
}

bool TLabeledEdit::passwordStars() const
{
    return echoMode() == QLineEdit::Password;
}

void TLabeledEdit::setPasswordStars(bool on)
{
    if (on) {
        if (!m_starStyle) {
            // The proxy wraps the desktop style, so the edit looks like every other one.
            m_starStyle = new StarPasswordStyle;
            m_starStyle->setParent(this);
            setStyle(m_starStyle);
        }
        setEchoMode(QLineEdit::Password);
    } else {
        setEchoMode(QLineEdit::Normal);
    }
}

void TLabeledEdit::placeLabel()
{
    if (!m_label)
        return;
    const QSize size = m_label->sizeHint();
    m_label->setGeometry(x(), y() - size.height() - labelSpacing(), size.width(), size.height());
}

void TLabeledEdit::moveEvent(QMoveEvent *event)
{
    QLineEdit::moveEvent(event);
    placeLabel();
}

void TLabeledEdit::resizeEvent(QResizeEvent *event)
{
    QLineEdit::resizeEvent(event);
    placeLabel();
}

void TLabeledEdit::setVisible(bool visible)
{
    QLineEdit::setVisible(visible);
    if (m_label) {
        placeLabel();
        // An edit without parent has no place for its label: it would become a window of its own.
        m_label->setVisible(visible && m_label->parentWidget());
    }
}

void TLabeledEdit::changeEvent(QEvent *event)
{
    QLineEdit::changeEvent(event);
    if (!m_label)
        return;
    switch (event->type()) {
    case QEvent::ParentChange:
        m_label->setParent(parentWidget());
        if (parentWidget())
            m_label->setVisible(isVisibleTo(parentWidget()));
        placeLabel();
        break;
    case QEvent::EnabledChange:
        m_label->setEnabled(isEnabled());
        break;
    default:
        break;
    }
}
