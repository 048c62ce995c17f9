// The splash window: while it is built it reads the brand from LoaderDefault.ini (settings line
// 23), gives the other windows the brand's captions and, for the Telvin and KTQ brands, shows
// the brand's picture for 600 ms, from its first paint on: the pause blocks painting, so it
// waits (a second at most) for the window manager to expose the window and for the picture to
// be painted. It stays up through the start-up sequence, which hides it after the serial
// search; a click on the Telvin picture hides it earlier.
//
// The window has no border and no caption. It holds three pictures stacked over each other,
// each filling the window; the brand decides which one shows and how large the window is.
#pragma once

#include "app/Brand.h"

#include <QWidget>

class QLabel;

class TSplashForm : public QWidget
{
    Q_OBJECT
public:
    // The windows whose captions the brand sets, created before the splash.
    struct BrandedWindows
    {
        QWidget *main = nullptr;
        QWidget *progress = nullptr;
        QWidget *ethernet = nullptr;
    };

    explicit TSplashForm(const BrandedWindows &windows, QWidget *parent = nullptr);

    Brand brand() const { return m_brand; }
    // How often the brand's picture had been painted when the pause began.
    int picturePaintsBeforePause() const { return m_paintsBeforePause; }
    void QNLImageClick();

    QLabel *QNLImage = nullptr;
    QLabel *KTQImage = nullptr;
    QLabel *TelvinImage = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLabel *picture(const QString &resource, const char *name);
    void applyCaptions(const BrandedWindows &windows) const;
    void showFor600Ms(QLabel *shown, const QSize &size);
    void waitForFirstPaint();

    Brand m_brand = Brand::None;
    int m_picturePaints = 0;
    int m_paintsBeforePause = 0;
};
