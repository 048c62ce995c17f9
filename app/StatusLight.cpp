#include "app/StatusLight.h"

#include <QPainter>

StatusLight::StatusLight(QWidget *parent) : QWidget(parent)
{
    setFixedSize(Side, Side);
}

void StatusLight::setLit(bool lit)
{
    if (lit == m_lit)
        return;
    m_lit = lit;
    update();
}

QSize StatusLight::sizeHint() const
{
    return QSize(Side, Side);
}

QColor StatusLight::litColour()
{
    return QColor(255, 0, 0);
}

QColor StatusLight::unlitColour()
{
    return QColor(0, 255, 0);
}

QColor StatusLight::highlightColour()
{
    return QColor(255, 255, 255);
}

QColor StatusLight::shadowColour()
{
    return QColor(128, 128, 128);
}

// The shadow is drawn last so that it owns the top-right and bottom-left corners, which is
// what makes the square look raised rather than framed.
void StatusLight::paintEvent(QPaintEvent *)
{
    constexpr int Last = Side - 1;
    QPainter painter(this);
    painter.fillRect(1, 1, Side - 2, Side - 2, m_lit ? litColour() : unlitColour());
    painter.setPen(highlightColour());
    painter.drawLine(0, 0, Last - 1, 0);
    painter.drawLine(0, 0, 0, Last - 1);
    painter.setPen(shadowColour());
    painter.drawLine(0, Last, Last, Last);
    painter.drawLine(Last, 0, Last, Last);
}
