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
    LadeIntervall = loadIntervalOf(IniDat->readString(QStringLiteral("Global"), QStringLiteral("LadeIntervall"), {}));
    if (FPlivoraDaten)
        FPlivoraDaten->setLoadInterval(LadeIntervall);
}

int loadIntervalOf(const QString &text)
{
    constexpr int standard = 500;
    if (text.isEmpty() || text.size() > 5)
        return standard;
    for (QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return standard;
    const int value = text.toInt();
    return value <= 60000 ? value : standard;
}

void TFPlivora::BitBtnEndeClick()
{
    close();
}

void TFPlivora::BitBtnLoginClick()
{
    // The answer comes back later; meanwhile the window paints and the
    // hourglass and a disabled "Login" say that an attempt is under way.
    if (m_attempting)
        return;
    m_attempting = true;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    BitBtnLogin->setEnabled(false);
    IdHTTPPlivora.Request.setContentType(QStringLiteral("text/html"));
    auto failed = [this] {
        platform::showMessage(QMessageBox::Critical, QStringLiteral("Fehler"), QStringLiteral("Login error"));
        endAttempt();
    };
    try {
        KDNummerPub = KDNummer->text();
        PWPub = PW->text();
        IdHTTPPlivora.GetAsync(loginUrl(), this, [this, failed](const QString &reply, std::exception_ptr error) {
            platform::runGuarded([&] { loginAnswered(reply, error, failed); });
        });
    } catch (const std::exception &) {
        failed();
    }
}

void TFPlivora::loginAnswered(const QString &reply, std::exception_ptr error, const std::function<void()> &failed)
{
    try {
        if (error)
            std::rethrow_exception(error);
        if (reply.isEmpty()) {
            endAttempt();
            return;
        }
        XmlDocument document = NewXMLDocument(QStringLiteral("1.0"));
        document.LoadFromXML(reply);
    } catch (const std::exception &) {
        failed();
        return;
    }
    // The hourglass stays, and the login window with it, until the
    // data window's show sequence has its count replies.
    connect(FPlivoraDaten, &TFPlivoraDaten::showFinished, this, [this] {
        hide();
        endAttempt();
    }, Qt::SingleShotConnection);
    FPlivoraDaten->showMaximized();
}

void TFPlivora::endAttempt()
{
    m_attempting = false;
    BitBtnLogin->setEnabled(true);
    QGuiApplication::restoreOverrideCursor();
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
