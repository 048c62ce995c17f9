// StatusLight is the small lamp of the main window: a 13 by 13 pixel square, red when lit and
// green when unlit, with a one-pixel raised edge (white on the top and left, grey on the bottom
// and right). It starts unlit and repaints only when its state changes.

#ifndef STATUSLIGHT_H
#define STATUSLIGHT_H

#include <QWidget>

class StatusLight : public QWidget
{
    Q_OBJECT

public:
    static constexpr int Side = 13;

    explicit StatusLight(QWidget *parent = nullptr);

    void setLit(bool lit);
    bool isLit() const { return m_lit; }

    QSize sizeHint() const override;

    static QColor litColour();
    static QColor unlitColour();
    static QColor highlightColour();
    static QColor shadowColour();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    bool m_lit = false;
};

#endif // STATUSLIGHT_H
