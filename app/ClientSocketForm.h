// The Ethernet dialog: where the operator types the unit's IPv4 address (four octet fields)
// and TCP port and presses Connect. It is a tool window that stays on top; its status bar
// shows the computer's own address. It is as wide as its caption needs, whatever the brand
// makes the caption.
//
// The dialog only holds and checks its fields. Connecting, the prompt check and everything
// after it belong to the main window's Ethernet link, which the Connect button calls and which
// knows the dialog only as its EthernetEndpoint; while a connect waits for its outcome the
// dialog cannot be closed. An octet field is checked when the focus leaves it for another
// control of the dialog.
#pragma once

#include "link/EthernetEndpoint.h"

#include <QDialog>

#include <array>

class QLabel;
class QLineEdit;
class QPushButton;
class EthernetLink;

class TClientSocketForm : public QDialog, public EthernetEndpoint
{
    Q_OBJECT
public:
    explicit TClientSocketForm(QWidget *parent = nullptr);

    // The Ethernet link the dialog drives.
    void attach(EthernetLink *link) override { m_link = link; }

    void ConnectButtonClick();
    void DisconnectButtonClick();
    // False while a connect waits for its outcome: the dialog then refuses to close.
    bool FormClose() const;
    // The check made when the focus leaves octet field 'index' (0 to 3).
    void IPEditExit(int index);

    std::array<QString, 4> octetTexts() const override;
    void setOctets(const std::array<int, 4> &octets);
    QString portText() const override;
    void setPort(int port);
    // The fields and the Connect button; disabled while a connect waits.
    void setFieldsEnabled(bool enabled) override;
    void focusPortField() override;
    QString statusText() const;

    // How the link brings the dialog up, for the operator's connect and for a run's
    // reconnect, and puts it away once connected.
    void present() override;
    void runModal() override;
    void dismiss() override;

    std::array<QLineEdit *, 4> IPEdit{};
    QLineEdit *PortEdit = nullptr;
    QPushButton *ConnectButton = nullptr;
    QPushButton *DisconnectButton = nullptr;
    QLabel *StatusBar1 = nullptr;

protected:
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void reject() override;

private:
    void FormShow();
    void fitCaption();
    void showOwnAddress();

    EthernetLink *m_link = nullptr;
    int m_addressLookup = -1;
};
