// The main window's controls, menu tree and timers, laid out as the operator knows them:
// a fixed 526 by 425 client area, the script button, the RS-232 group with its four lights,
// the terminal pane and a one-panel status line. The fonts it names are replaced by a plain
// sans where the machine lacks them (app/WindowLook.h). Each COM Port entry's status tip tells
// which device its number names, brought up to date whenever that menu opens.
#include "app/TamrinForm.h"

#include "app/ElidedLabel.h"
#include "app/StatusLight.h"
#include "app/StatusLightController.h"
#include "app/TerminalPane.h"
#include "app/WindowLook.h"
#include "base/Timing.h"
#include "link/PortList.h"
#include "link/SerialPort.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

#include <algorithm>

namespace {

constexpr int ClientWidth = 526;
constexpr int StatusBarHeight = 19;

// Port numbers 1 to 16 with the object names their menu items carry.
constexpr const char *ComItemNames[16] = {
    "COM1Menu", "COM2Menu", "COM31",  "COM32",  "COM33",  "COM34",  "COM35",  "COM36",
    "COM91",    "COM101",   "COM111", "COM121", "COM131", "COM141", "COM151", "COM161"};

struct BaudItem
{
    int baud;
    const char *name;
};
constexpr BaudItem BaudItems[] = {{1200, "N12001"},    {2400, "N24001"},   {9600, "N96001"},
                                  {19200, "N192001"},  {38400, "N384001"}, {57600, "N576001"},
                                  {115200, "N1152001"}};

const char *const ColourEntries[] = {"Black", "Red", "Green", "Blue", "White"};

QLabel *label(QWidget *parent, const QString &text, const QRect &place)
{
    auto *l = new QLabel(text, parent);
    l->setGeometry(place);
    return l;
}

// A caption and the label of its value after it, the value moved right if the caption needs
// more room in the machine's font. The value reaches to a caption gap before the box's right
// border, and no further.
QLabel *captionedValue(QGroupBox *box, const QString &caption, const QString &value,
                       const QPoint &captionPlace, int valueLeft)
{
    QLabel *captionLabel = label(box, caption, QRect(captionPlace, QSize(31, 13)));
    captionLabel->adjustSize();
    const int left = WindowLook::besideCaption(captionLabel, valueLeft);
    const int width = box->contentsRect().right() + 1 - WindowLook::CaptionGap - left;
    return label(box, value, QRect(left, captionPlace.y(), width, 13));
}

// The COM Port entries, COM1 first, each told which device its number names now.
void describePorts(const QList<QAction *> &comItems)
{
    const QStringList texts = PortList::descriptions();
    for (qsizetype i = 0; i < comItems.size(); ++i)
        comItems.at(i)->setStatusTip(texts.value(i));
}

} // namespace

void TTamrinForm::buildControls()
{
    auto *client = new QWidget(this);
    client->setFixedWidth(ClientWidth);
    setCentralWidget(client);
    setFont(WindowLook::sansFont(QStringLiteral("MS Sans Serif"), 11));

    Label1 = label(client, QStringLiteral("TAMRIN"), QRect(208, 8, 122, 20));
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setFont(WindowLook::sansFont(QStringLiteral("Comic Sans MS"), 15));

    VersionLabel = label(client, QString(), QRect(431, 10, 80, 13));
    VersionLabel->installEventFilter(this);

    PickButton = new QPushButton(QStringLiteral("Open script file to read and upload"), client);
    // Wide enough for its caption in whatever font the machine has.
    PickButton->setGeometry(16, 38, std::max(176, PickButton->sizeHint().width()), 25);
    UploadButton = new QPushButton(QStringLiteral("Upload"), client);
    UploadButton->setVisible(false);

    buildSerialBox(client);

    EthernetCheckBox = new QCheckBox(QStringLiteral("Ethernet"), client);
    EthernetCheckBox->setGeometry(424, 86, std::max(65, EthernetCheckBox->sizeHint().width()), 17);
    EthernetCheckBox->setEnabled(false);
    ComCheckBox = new QCheckBox(QStringLiteral("Use COM"), client);
    ComCheckBox->setVisible(false);

    AdTerminal1 = new TerminalPane(client);
    AdTerminal1->setGeometry(8, 120, 513, 281);

    buildTimingTest(client);

    // A long status line ends in an ellipsis rather than mid-word; the whole of it is the tip.
    InfoStatusBar = new ElidedLabel(this);
    statusBar()->setSizeGripEnabled(false);
    statusBar()->setFixedHeight(StatusBarHeight);
    statusBar()->addWidget(InfoStatusBar, 1);

    connect(PickButton, &QPushButton::clicked, this, &TTamrinForm::PickButtonClick);
    connect(UploadButton, &QPushButton::clicked, this, &TTamrinForm::UploadButtonClick);
    connect(Button1, &QPushButton::clicked, this, &TTamrinForm::Button1Click);
    connect(ComCheckBox, &QCheckBox::clicked, this, &TTamrinForm::ComCheckBoxClick);
    connect(AdTerminal1, &TerminalPane::doubleClicked, this, &TTamrinForm::AdTerminal1DblClick);
    AdTerminal1->keyPressHandler = [this](char &key) { return AdTerminal1KeyPress(key); };
}

// The RS-232 box: the four line lights and the port's number and baud rate.
void TTamrinForm::buildSerialBox(QWidget *client)
{
    RS232GroupBox = new QGroupBox(QStringLiteral("RS-232"), client);
    RS232GroupBox->setGeometry(72, 72, 337, 42);
    // The caption sits on the frame's top line, so that the lights and labels inside fit the
    // box's 42 pixels.
    RS232GroupBox->setStyleSheet(QStringLiteral(
        "QGroupBox { border: 1px solid palette(mid); margin-top: 6px; }"
        "QGroupBox::title { subcontrol-origin: margin; left: 8px; padding: 0 2px; }"));
    StatusLightController::Lights lights;
    StatusLight **places[] = {&lights.txd, &lights.rxd, &lights.dcd, &lights.cts};
    const char *names[] = {"TXD", "RXD", "DCD", "CTS"};
    const int lefts[] = {17, 71, 121, 178};
    for (int i = 0; i < 4; ++i) {
        *places[i] = new StatusLight(RS232GroupBox);
        (*places[i])->setObjectName(QString::fromLatin1(names[i]) + QStringLiteral("Light"));
        (*places[i])->setAccessibleName(QString::fromLatin1(names[i]) + QStringLiteral(" light"));
        (*places[i])->move(lefts[i], 18);
        label(RS232GroupBox, QString::fromLatin1(names[i]), QRect(lefts[i] + 17, 18, 30, 13));
    }
    m_lights = new StatusLightController(*m_comPort, lights, this);
    // "Baud: 115200" ends clear of the border in the fonts the set-up installs.
    ComNumberLabel = captionedValue(RS232GroupBox, QStringLiteral("COM:"), QStringLiteral("None"),
                                    QPoint(240, 8), 270);
    ComBaudLabel = captionedValue(RS232GroupBox, QStringLiteral("Baud:"), QStringLiteral("38400"),
                                  QPoint(240, 25), 271);
}

// The timing test's controls lie to the right of what the window shows.
void TTamrinForm::buildTimingTest(QWidget *client)
{
    TimingCommandEdit = new QLineEdit(QStringLiteral("OTPM? 1"), client);
    TimingCommandEdit->setGeometry(ClientWidth + 16, 8, 80, 21);
    TimingCountEdit = new QLineEdit(QStringLiteral("100"), client);
    TimingCountEdit->setGeometry(ClientWidth + 16, 32, 80, 21);
    Button1 = new QPushButton(QStringLiteral("Button1"), client);
    Button1->setGeometry(ClientWidth + 16, 56, 75, 25);
    TimingStartLabel = label(client, QString(), QRect(ClientWidth + 16, 84, 80, 13));
    TimingEndLabel = label(client, QString(), QRect(ClientWidth + 16, 100, 80, 13));
    // Out of sight, so out of the Tab order: a key must never reach them by accident.
    for (QWidget *control : std::initializer_list<QWidget *>{TimingCommandEdit, TimingCountEdit,
                                                             Button1})
        control->setFocusPolicy(Qt::NoFocus);
}

// The client area is everything below the menu bar: the controls and the status line.
void TTamrinForm::setClientHeight(int height)
{
    centralWidget()->setFixedHeight(height - StatusBarHeight);
    setFixedSize(ClientWidth, menuBar()->sizeHint().height() + height);
}

QAction *TTamrinForm::addAction(QMenu *menu, const QString &caption, const char *name,
                                std::function<void()> handler)
{
    QAction *action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    if (handler)
        connect(action, &QAction::triggered, this, std::move(handler));
    return action;
}

void TTamrinForm::buildMenus()
{
    QMenuBar *bar = menuBar();
    QAction *exit = bar->addAction(QStringLiteral("Exit"));
    exit->setObjectName(QStringLiteral("ExitMenu"));
    connect(exit, &QAction::triggered, this, &TTamrinForm::ExitMenuClick);

    CommunicationMenu = bar->addMenu(QStringLiteral("Communication"));
    ConfigMenu = CommunicationMenu->addMenu(QStringLiteral("RS232 Config"));
    buildComPortMenu();
    BaudMenu = ConfigMenu->addMenu(QStringLiteral("Baud"));
    for (const BaudItem &item : BaudItems)
        addAction(BaudMenu, QString::number(item.baud), item.name,
                  [this, baud = item.baud] { BaudMenuClick(baud); });

    Ethernet1 = CommunicationMenu->addMenu(QStringLiteral("Ethernet"));
    EnetDisconnect1 = addAction(Ethernet1, QStringLiteral("Disconnect"), "EnetDisconnect1",
                                [this] { EnetDisconnect1Click(); });
    EnetConnect1 = addAction(Ethernet1, QStringLiteral("Connect"), "EnetConnect1",
                             [this] { EnetConnect1Click(); });
    SendFile1 = addAction(CommunicationMenu, QStringLiteral("Send File"), "SendFile1",
                          [this] { SendFile1Click(); });
    SendFile1->setVisible(false);

    TerminalMenu = bar->addMenu(QStringLiteral("Terminal"));
    VisibleMenu = addAction(TerminalMenu, QStringLiteral("Visible"), "VisibleMenu", {});
    VisibleMenu->setCheckable(true);
    VisibleMenu->setChecked(true);
    // The menu has moved the check mark already.
    connect(VisibleMenu, &QAction::triggered, this, &TTamrinForm::showTerminal);
    QMenu *background = TerminalMenu->addMenu(QStringLiteral("Background Color"));
    TextColorMenu = TerminalMenu->addMenu(QStringLiteral("Text Color"));
    TextColorMenu->menuAction()->setVisible(false);
    for (int entry = 1; entry <= 5; ++entry) {
        const QString caption = QString::fromLatin1(ColourEntries[entry - 1]);
        addAction(background, caption, "", [this, entry] {
            setTerminalBackground(entry);
        })->setObjectName(QStringLiteral("Back%1Menu").arg(caption));
        addAction(TextColorMenu, caption, "", [this, entry] {
            setTerminalTextColour(entry);
        })->setObjectName(QStringLiteral("Text%1Menu").arg(caption));
    }
    background->addSeparator();
    TextColorMenu->addSeparator();
    addAction(background, QStringLiteral("Default"), "BackDefaultMenu",
              [this] { setTerminalBackground(0); });
    addAction(TextColorMenu, QStringLiteral("Default"), "TextDefaultMenu",
              [this] { setTerminalTextColour(0); });
    addAction(TerminalMenu, QStringLiteral("Terminal Fonts..."), "TerminalFonts1",
              [this] { TerminalFonts1Click(); });
    addAction(TerminalMenu, QStringLiteral("Clear"), "Clear1", [this] { Clear1Click(); });
}

// None, COM1 to COM16 with the device each names as its status tip, and Search.
void TTamrinForm::buildComPortMenu()
{
    ComPortMenu = ConfigMenu->addMenu(QStringLiteral("COM Port"));
    addAction(ComPortMenu, QStringLiteral("None"), "NoneMenu", [this] { NoneMenuClick(); });
    QList<QAction *> comItems;
    for (int n = 1; n <= 16; ++n)
        comItems << addAction(ComPortMenu, QStringLiteral("COM%1").arg(n), ComItemNames[n - 1],
                              [this, n] { SelectComPort(n); });
    // An adapter plugged in after the menus were built shows the next time the menu opens.
    connect(ComPortMenu, &QMenu::aboutToShow, this, [comItems] { describePorts(comItems); });
    ComPortMenu->addSeparator();
    QAction *search = addAction(ComPortMenu, QStringLiteral("Search"), "SearchAllMenu",
                                [this] { SearchAllMenuClick(); });
    search->setToolTip(QStringLiteral("Look for prompt defined in INI file on COM 1 and COM 2"));
}

void TTamrinForm::buildTimers()
{
    auto makeTimer = [this](int interval, bool active, void (TTamrinForm::*handler)()) {
        QTimer *timer = Timing::protocolTimer(this, interval);
        connect(timer, &QTimer::timeout, this, handler);
        if (active)
            timer->start();
        return timer;
    };
    JustUploadTimer = makeTimer(1, false, &TTamrinForm::JustUploadTimerTimer);
}

// Each control carries the name the code gives it, which is how tests find it.
void TTamrinForm::nameControls()
{
    const std::pair<QObject *, const char *> controls[] = {
        {VersionLabel, "VersionLabel"},
        {PickButton, "PickButton"},
        {UploadButton, "UploadButton"},
        {ComNumberLabel, "ComNumberLabel"},
        {ComBaudLabel, "ComBaudLabel"},
        {EthernetCheckBox, "EthernetCheckBox"},
        {ComCheckBox, "ComCheckBox"},
        {AdTerminal1, "AdTerminal1"},
        {InfoStatusBar, "InfoStatusBar"},
        {TimingCommandEdit, "TimingCommandEdit"},
        {TimingCountEdit, "TimingCountEdit"},
        {TimingStartLabel, "TimingStartLabel"},
        {TimingEndLabel, "TimingEndLabel"},
        {ConfigMenu, "ConfigMenu"},
        {ComPortMenu, "ComPortMenu"},
        {BaudMenu, "BaudMenu"},
        {Ethernet1, "Ethernet1"},
        {TerminalMenu, "TerminalMenu"},
    };
    for (const auto &[control, name] : controls)
        control->setObjectName(QLatin1String(name));
}
