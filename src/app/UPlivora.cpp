#include "app/UPlivora.h"

#include "platform/ErrorBox.h"
#include "platform/IniFile.h"
#include "dataview/widgets/TLabeledEdit.h"
#include "dataview/UPlivoraDaten.h"
#include "exchange/XmlDocument.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>

TFPlivora *FPlivora = nullptr;

namespace {

QFont fontOf(const QString &family, int pixelHeight)
{
    QFont font(family);
    font.setPixelSize(pixelHeight);
    return font;
}

TLabeledEdit *makeLoginEdit(QWidget *parent, const QString &label, int left, int width)
{
    auto *edit = new TLabeledEdit(parent);
    edit->setLabelCaption(label);
    edit->setFont(fontOf(QStringLiteral("Tahoma"), 19));
    edit->label()->setFont(edit->font()); // label and text alike
    edit->setFlat(true);
    edit->setGeometry(left, 193, width, 24);
    return edit;
}

QPushButton *makeBigButton(QWidget *parent, const QString &caption, const QFont &font, QRect geometry)
{
    auto *button = new QPushButton(caption, parent);
    button->setFont(font);
    button->setGeometry(geometry);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

// The hourglass for as long as the object lives, also when an error leaves early.
struct WaitCursor
{
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
};

} // namespace

TFPlivora::TFPlivora(QWidget *parent)
    : QWidget(parent)
{
    setWindowTitle(QStringLiteral("Plivora"));
    setFont(fontOf(QStringLiteral("Tahoma"), 11));
    resize(797, 486);
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);

    KDNummer = makeLoginEdit(this, QStringLiteral("Kundennummer"), 230, 139);
    PW = makeLoginEdit(this, QStringLiteral("Passwort"), 446, 96);
    PW->setPasswordStars(true);
    BitBtnEnde = makeBigButton(this, QStringLiteral("Ende"), fontOf(QStringLiteral("Arial"), 27), {27, 438, 138, 40});
    BitBtnLogin = makeBigButton(this, QStringLiteral("Login"), fontOf(QStringLiteral("Tahoma"), 27), {328, 248, 121, 41});
    BitBtnLogin->setDefault(true);
    QWidget::setTabOrder(KDNummer, PW);
    QWidget::setTabOrder(PW, BitBtnEnde);
    QWidget::setTabOrder(BitBtnEnde, BitBtnLogin);

    using platform::guarded;
    connect(BitBtnEnde, &QPushButton::clicked, this, guarded([this] { BitBtnEndeClick(); }));
    connect(BitBtnLogin, &QPushButton::clicked, this, guarded([this] { BitBtnLoginClick(); }));
    // "Login" is the default button: Enter in either field presses it.
    for (TLabeledEdit *edit : {KDNummer, PW})
        connect(edit, &QLineEdit::returnPressed, BitBtnLogin, &QPushButton::click);
}

TFPlivora::~TFPlivora()
{
    if (FPlivora == this)
        FPlivora = nullptr;
}

void TFPlivora::FormShow()
{
    IniFile = QStringLiteral("./config.ini");
    IniDat = std::make_unique<::IniFile>(IniFile);
    IPWebServer = IniDat->readString(QStringLiteral("Global"), QStringLiteral("IPWebServer"), QStringLiteral("127.0.0.1"));
    PortWebServer = IniDat->readString(QStringLiteral("Global"), QStringLiteral("PortWebServer"), QStringLiteral("8080"));
}

void TFPlivora::BitBtnEndeClick()
{
    close();
}

void TFPlivora::BitBtnLoginClick()
{
    WaitCursor hourglass;
    IdHTTPPlivora.Request.setContentType(QStringLiteral("text/html"));
    try {
        KDNummerPub = KDNummer->text();
        PWPub = PW->text();
        const QString reply = IdHTTPPlivora.Get(loginUrl());
        if (reply.isEmpty())
            return;
        XmlDocument document = NewXMLDocument(QStringLiteral("1.0"));
        document.LoadFromXML(reply);
        FPlivoraDaten->showMaximized();
        hide();
    } catch (const std::exception &) {
        platform::showMessage(QMessageBox::Critical, QStringLiteral("Fehler"), QStringLiteral("Login error"));
    }
}

void TFPlivora::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        platform::runGuarded([this] { FormShow(); });
}

void TFPlivora::closeEvent(QCloseEvent *event)
{
    QWidget::closeEvent(event);
    QCoreApplication::quit();
}
