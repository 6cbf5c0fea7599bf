#pragma once

#include "exchange/LoginData.h"
#include "output/PrintComponents.h"

#include <QString>
#include <QWidget>

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

    void BitBtnEndeClick();
    void BitBtnLoginClick();
    void FormShow();
    void Ausdrucken(const QString &DruckBezeichnung, int AnzahlKopien, const QString &FileName)
    {
        Print.Ausdrucken(DruckBezeichnung, AnzahlKopien, FileName);
    }

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
};

extern TFPlivora *FPlivora;
