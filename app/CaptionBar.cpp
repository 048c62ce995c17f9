#include "app/CaptionBar.h"

#include "app/WindowLook.h"

#include <QEvent>
#include <QFrame>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

CaptionBar::CaptionBar(QWidget *window) : QWidget(window)
{
    setObjectName(QStringLiteral("CaptionBar"));
    setGeometry(0, 0, window->width(), Height);
    window->installEventFilter(this);
}

CaptionBar *CaptionBar::install(QWidget *window)
{
    window->setWindowFlag(Qt::FramelessWindowHint);
    for (QWidget *control : window->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        control->move(control->x(), control->y() + Height);
    window->setFixedSize(window->width(), window->height() + Height);
    auto *bar = new CaptionBar(window);
    // Only its lines are drawn, over whatever reaches the window's edge.
    auto *edge = new QFrame(window);
    edge->setFrameStyle(QFrame::Box | QFrame::Plain);
    edge->setGeometry(window->rect());
    edge->setAttribute(Qt::WA_TransparentForMouseEvents);
    edge->raise();
    return bar;
}

QString CaptionBar::caption() const
{
    return window()->windowTitle();
}

void CaptionBar::paintEvent(QPaintEvent *)
{
    const bool active = window()->isActiveWindow();
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(active ? QPalette::Highlight : QPalette::Mid));
    painter.setPen(palette().color(active ? QPalette::HighlightedText : QPalette::WindowText));
    painter.setFont(WindowLook::captionFont());
    const QRect room = rect().adjusted(4, 0, -4, 0);
    painter.drawText(room, Qt::AlignCenter,
                     painter.fontMetrics().elidedText(caption(), Qt::ElideRight, room.width()));
}

void CaptionBar::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && window()->windowHandle())
        window()->windowHandle()->startSystemMove();
}

bool CaptionBar::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::WindowTitleChange || event->type() == QEvent::ActivationChange)
        update();
    return QWidget::eventFilter(watched, event);
}
