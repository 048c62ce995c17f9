// The caption a window draws itself when it must have a title and no buttons. Window managers
// differ in which buttons they draw whatever a window asks for (openbox draws minimise,
// maximise and close on every window it gives a title), so such a window asks for no frame at
// all and carries this bar across its top: its caption in the title font, in the highlight
// colours while the window is active; dragging the bar moves the window, through the window
// manager where there is one. A thin edge stands for the frame.
#pragma once

#include <QWidget>

class CaptionBar : public QWidget
{
    Q_OBJECT
public:
    static constexpr int Height = 20;

    // Gives 'window' no frame from the window manager and the bar: the window grows by the
    // bar's height and its controls move down by as much. Call it once the controls are there.
    static CaptionBar *install(QWidget *window);

    // The caption shown: the window's title.
    QString caption() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    explicit CaptionBar(QWidget *window);
};
