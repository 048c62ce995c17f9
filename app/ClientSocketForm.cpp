#include "app/ClientSocketForm.h"

#include "app/WindowLook.h"
#include "base/OperatorDialogs.h"
#include "link/EthernetFields.h"
#include "link/EthernetLink.h"

#include <QCloseEvent>
#include <QFocusEvent>
#include <QHostInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

using namespace EthernetFields;

namespace {

// The unit's usual place on its own network until the settings file says otherwise.
constexpr std::array<int, 4> DefaultOctets{192, 168, 0, 50};
constexpr int DefaultPort = 3000;
constexpr int FieldsWidth = 300;
constexpr int DialogHeight = 132;

QLineEdit *field(QWidget *parent, const QRect &place, int maxLength, const char *name)
{
    auto *edit = new QLineEdit(parent);
    edit->setGeometry(place);
    edit->setMaxLength(maxLength);
    edit->setObjectName(QString::fromLatin1(name));
    return edit;
}

QLabel *label(QWidget *parent, const QString &text, const QRect &place)
{
    auto *l = new QLabel(text, parent);
    l->setGeometry(place);
    return l;
}

} // namespace

TClientSocketForm::TClientSocketForm(QWidget *parent)
    : QDialog(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("TClientSocketForm"));
    setWindowTitle(QStringLiteral("Quenby Research Inc. :- Tamrin - Ethernet"));
    setFixedSize(FieldsWidth, DialogHeight);
    label(this, QStringLiteral("IP Address"), QRect(12, 16, 70, 16));
    const char *names[] = {"IPEdit1", "IPEdit2", "IPEdit3", "IPEdit4"};
    const char *parts[] = {"first", "second", "third", "fourth"};
    for (int i = 0; i < 4; ++i) {
        IPEdit[size_t(i)] = field(this, QRect(88 + i * 48, 12, 36, 22), 3, names[i]);
        IPEdit[size_t(i)]->installEventFilter(this);
        // A screen reader has only the one "IP Address" caption before the four fields.
        IPEdit[size_t(i)]->setAccessibleName(
            QStringLiteral("IP Address, %1 number").arg(QLatin1String(parts[i])));
        if (i > 0)
            label(this, QStringLiteral("."), QRect(88 + i * 48 - 9, 16, 6, 16));
    }
    label(this, QStringLiteral("Port "), QRect(12, 46, 70, 16));
    PortEdit = field(this, QRect(88, 42, 60, 22), 5, "PortEdit");
    PortEdit->setAccessibleName(QStringLiteral("Port"));
    ConnectButton = new QPushButton(QStringLiteral("Connect "), this);
    ConnectButton->setObjectName(QStringLiteral("ConnectButton"));
    ConnectButton->setGeometry(88, 74, 90, 25);
    ConnectButton->setAutoDefault(false);
    DisconnectButton = new QPushButton(QStringLiteral("Disconnect "), this);
    DisconnectButton->setObjectName(QStringLiteral("DisconnectButton"));
    DisconnectButton->setGeometry(186, 74, 90, 25);
    DisconnectButton->setVisible(false);
    StatusBar1 = label(this, QString(), QRect(0, 110, FieldsWidth, 22));
    StatusBar1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    fitCaption();
    setOctets(DefaultOctets);
    setPort(DefaultPort);
    connect(ConnectButton, &QPushButton::clicked, this, &TClientSocketForm::ConnectButtonClick);
    connect(DisconnectButton, &QPushButton::clicked, this,
            &TClientSocketForm::DisconnectButtonClick);
}

// As wide as the fields need, or wider when the caption needs it; the status bar spans it.
void TClientSocketForm::fitCaption()
{
    setFixedSize(std::max(FieldsWidth, WindowLook::widthForCaption(windowTitle())), DialogHeight);
    StatusBar1->resize(width(), StatusBar1->height());
}

void TClientSocketForm::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    // The constructor's own caption is fitted once the status bar is there.
    if (event->type() == QEvent::WindowTitleChange && StatusBar1)
        fitCaption();
}

// Neither button reaches the unit while a run holds the link, unless the run opened the dialog.
void TClientSocketForm::ConnectButtonClick()
{
    if (m_link && m_link->dialogMayAct())
        m_link->connectEthernet(EthernetConnectReport::Shown);
}

void TClientSocketForm::DisconnectButtonClick()
{
    if (!m_link || !m_link->dialogMayAct())
        return;
    m_link->closeClientSocket();
    setFieldsEnabled(true);
}

void TClientSocketForm::IPEditExit(int index)
{
    QLineEdit *edit = IPEdit.at(size_t(index));
    const OctetCheck check = checkOctet(edit->text());
    if (check == OctetCheck::Valid)
        return;
    ShowMessage(this, check == OctetCheck::OutOfRange
                          ? QStringLiteral("Error! Number must be between 0 - 255")
                          : QStringLiteral("Error! Invalid IP Address"));
    edit->setFocus();
}

std::array<QString, 4> TClientSocketForm::octetTexts() const
{
    std::array<QString, 4> texts;
    for (size_t i = 0; i < texts.size(); ++i)
        texts[i] = IPEdit[i]->text();
    return texts;
}

void TClientSocketForm::setOctets(const std::array<int, 4> &octets)
{
    for (size_t i = 0; i < octets.size(); ++i)
        IPEdit[i]->setText(QString::number(octets[i]));
}

QString TClientSocketForm::portText() const
{
    return PortEdit->text();
}

void TClientSocketForm::setPort(int port)
{
    PortEdit->setText(QString::number(port));
}

void TClientSocketForm::setFieldsEnabled(bool enabled)
{
    ConnectButton->setEnabled(enabled);
    PortEdit->setEnabled(enabled);
    for (QLineEdit *edit : IPEdit)
        edit->setEnabled(enabled);
}

void TClientSocketForm::focusPortField()
{
    PortEdit->setFocus();
}

QString TClientSocketForm::statusText() const
{
    return StatusBar1->text();
}

void TClientSocketForm::present()
{
    show();
    raise();
    activateWindow();
}

void TClientSocketForm::runModal()
{
    exec();
}

void TClientSocketForm::dismiss()
{
    if (isVisible())
        hide();
}

void TClientSocketForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TClientSocketForm::FormShow()
{
    showOwnAddress();
    IPEdit[0]->setFocus();
}

// The host name is looked up without blocking the window; the answer fills the status bar.
void TClientSocketForm::showOwnAddress()
{
    if (m_addressLookup >= 0)
        QHostInfo::abortHostLookup(m_addressLookup);
    m_addressLookup =
        QHostInfo::lookupHost(QHostInfo::localHostName(), this, [this](const QHostInfo &host) {
            m_addressLookup = -1;
            const std::optional<QHostAddress> own =
                ownAddress(host.addresses(), upInterfaceAddresses());
            if (own) {
                StatusBar1->setText(QStringLiteral("Note: Computer's IP Addr = ") +
                                    own->toString());
                return;
            }
            StatusBar1->setText(QStringLiteral("Error! Invalid IP Address / Port #"));
        });
}

bool TClientSocketForm::FormClose() const
{
    // A connect that waits for its outcome must end first.
    return !m_link || !m_link->connectOutcomePending();
}

void TClientSocketForm::closeEvent(QCloseEvent *event)
{
    if (!FormClose()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TClientSocketForm::reject()
{
    if (FormClose())
        QDialog::reject();
}

bool TClientSocketForm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusOut) {
        // Only a move to another control counts, not the window losing the focus.
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            for (size_t i = 0; i < IPEdit.size(); ++i) {
                if (watched == IPEdit[i])
                    IPEditExit(int(i));
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}
