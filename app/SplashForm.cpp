#include "app/SplashForm.h"

#include "app/Settings.h"
#include "base/Timing.h"

#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

namespace {

constexpr int SplashPauseMs = 600;
// How long a window manager may take to put the splash on screen before the pause starts
// anyway.
constexpr int FirstPaintWaitMs = 1000;

} // namespace

TSplashForm::TSplashForm(const BrandedWindows &windows, QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("TSplashForm"));
    setFixedSize(795, 687);
    QNLImage = picture(QStringLiteral(":/artwork/qnl.bmp"), "QNLImage");
    KTQImage = picture(QStringLiteral(":/artwork/ktq.jpg"), "KTQImage");
    TelvinImage = picture(QStringLiteral(":/artwork/telvin.bmp"), "TelvinImage");

    const std::optional<LoaderSettings> settings = readSettingsFile(settingsFilePath());
    m_brand = brandOf(settings ? settings->brand : std::nullopt);
    applyCaptions(windows);
    if (m_brand == Brand::Telvin)
        showFor600Ms(QNLImage, QSize(600, 400));
    else if (m_brand == Brand::KTQ)
        showFor600Ms(KTQImage, QSize(800, 700));
}

QLabel *TSplashForm::picture(const QString &resource, const char *name)
{
    auto *label = new QLabel(this);
    label->setObjectName(QString::fromLatin1(name));
    label->setPixmap(QPixmap(resource));
    label->setScaledContents(true);
    label->setGeometry(rect());
    label->installEventFilter(this);
    return label;
}

void TSplashForm::applyCaptions(const BrandedWindows &windows) const
{
    const BrandCaptions captions = captionsOf(m_brand);
    if (windows.main)
        windows.main->setWindowTitle(captions.main);
    if (windows.progress)
        windows.progress->setWindowTitle(captions.progress);
    if (windows.ethernet && captions.ethernet)
        windows.ethernet->setWindowTitle(*captions.ethernet);
}

// Only the brand's picture shows, filling a window of its size in the middle of the screen.
void TSplashForm::showFor600Ms(QLabel *shown, const QSize &size)
{
    for (QLabel *image : {QNLImage, KTQImage, TelvinImage})
        image->setVisible(image == shown);
    setFixedSize(size);
    shown->setGeometry(rect());
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
    show();
    waitForFirstPaint();
    m_paintsBeforePause = m_picturePaints;
    Timing::sleepMs(SplashPauseMs);
    Timing::pump();
}

// The pause lets nothing paint, so the picture must be on screen before it starts: the window
// is painted once it has been exposed, which a window manager may take a while to do.
void TSplashForm::waitForFirstPaint()
{
    const qint64 deadline = Timing::nowMs() + FirstPaintWaitMs;
    Timing::pump();
    Timing::PollWait([this] { return m_picturePaints > 0; }, Timing::atDeadline(deadline))
        .sleepFirst(2)
        .run();
}

void TSplashForm::QNLImageClick()
{
    hide();
}

bool TSplashForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == QNLImage && event->type() == QEvent::MouseButtonRelease)
        QNLImageClick();
    if (event->type() == QEvent::Paint)
        ++m_picturePaints;
    return QWidget::eventFilter(watched, event);
}
