#pragma once

#include "exchange/LoginData.h"
#include "output/PrintComponents.h"

#include <QString>
#include <QWidget>

#include <exception>
#include <functional>
#include <memory>

class IniFile;
class QPushButton;
class TLabeledEdit;

// The login window, the program's main window. It holds the login data and
// the one HTTP client every request goes through.
class TFPlivora : public QWidget, public LoginData
{
    Q_OBJECT

public:
    explicit TFPlivora(QWidget *parent = nullptr);
    ~TFPlivora() override;

    TLabeledEdit *KDNummer;
    TLabeledEdit *PW;
    QPushButton *BitBtnEnde;
    QPushButton *BitBtnLogin;

    // The print data set, report project, report system and renderers.
    PrintComponents Print;

    QString IniFile;
    std::unique_ptr<::IniFile> IniDat;
    // Milliseconds between the data window's loading ticks.
    int LadeIntervall = 500;

    void BitBtnEndeClick();
    void BitBtnLoginClick();
    void FormShow();
    void Ausdrucken(const QString &DruckBezeichnung, int AnzahlKopien, const QString &FileName)
    {
        Print.Ausdrucken(DruckBezeichnung, AnzahlKopien, FileName);
    }

protected:
    // A login attempt whose answer is still out: hourglass on, "Login" off.
    void endAttempt();
    void loginAnswered(const QString &reply, std::exception_ptr error, const std::function<void()> &failed);
    bool m_attempting = false;

    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
};

extern TFPlivora *FPlivora;

// The "LadeIntervall" value of "config.ini": a whole number from 0 to 60000,
// anything else (a missing key included) the standard 500.
int loadIntervalOf(const QString &text);
