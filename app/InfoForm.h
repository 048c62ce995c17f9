// The "Information" window: a small always-on-top notice that the serial port search shows
// while it tries a port ("Checking COM Port 3, Baud 38400. Please wait...."). Its bold text
// is 16 pixels high, smaller when a text would not fit otherwise. It has a caption and no
// buttons, and draws the caption itself (app/CaptionBar.h).
#pragma once

#include <QWidget>

class QLabel;

class TInfoForm : public QWidget
{
    Q_OBJECT
public:
    explicit TInfoForm(QWidget *parent = nullptr);

    void setText(const QString &text);
    QString text() const;
    // Showing lets pending window messages run, so the notice is drawn before a port check
    // blocks the thread.
    void showNotice();
    void hideNotice();

private:
    QLabel *m_label = nullptr;
};
