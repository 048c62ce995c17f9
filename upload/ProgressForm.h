// The upload progress window. It also carries the cancel flag, the application-wide stop
// signal: failures anywhere (a block that cannot be sent, the command watchdog, a lost
// connection) set it, and the running transfer and script run stop when they see it.
#pragma once

#include <QWidget>

class TProgressForm : public QWidget
{
    Q_OBJECT
public:
    explicit TProgressForm(QWidget *parent = nullptr);

    // 1 = stop the running transfer and the script run.
    int cancelFlag = 0;

    void HideProgressForm();
    void CancelButtonClick() { cancelFlag = 1; }
};
