// The upload progress window: shown while a file's bytes go to the unit, it names the file,
// shows its checksum, size, load address and version, and steps its bar once per block sent.
// Each value stands clear of its caption. The file's name ends before the File Size caption,
// which with its value keeps its place whatever the name: a long path shows its folders
// elided first, a name too long even so is shortened in the middle, and the whole path is the
// name's tooltip. The window has a caption and no buttons (it draws the caption itself:
// app/CaptionBar.h) and refuses to close while shown: only the end of the upload hides it.
// The uploader knows it only as its ProgressSink.
//
// It also shows the cancel flag, the application-wide stop signal that the run control holds:
// failures anywhere (a block that cannot be sent, the command watchdog, a lost connection, no
// prompt after an upload, the time limit, a signal) set it, and the running transfer and
// script run stop when they see it. Its Cancel button sets it too. Showing the window leaves
// it as it is: a run cancelled in the pause after an upload's header stays cancelled.
#pragma once

#include "upload/ProgressSink.h"

#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;
class RunControl;
struct UploadState;

class TProgressForm : public QWidget, public ProgressSink
{
    Q_OBJECT
public:
    explicit TProgressForm(QWidget *parent = nullptr);

    // The run control whose cancel flag the window shows and its Cancel button sets.
    void attach(RunControl &run) { m_run = &run; }
    // 1 = stop the running transfer and the script run.
    int cancelFlag() const;

    // Fills the labels from the upload and shows the window; the bar's maximum is 'maximum',
    // or 1 when that is not above 0.
    void ShowProgressForm(int maximum, const UploadState &upload) override;
    // One block sent. A step past the maximum leaves the bar at its maximum.
    void StepIt() override;
    // Bar back to 0, window hidden.
    void HideProgressForm() override;
    void CancelButtonClick();

    QProgressBar *FileProgressBar = nullptr;
    QLabel *BlockNameLabel = nullptr;
    QLabel *ChecksumLabel = nullptr;
    QLabel *LoadAddressLabel = nullptr;
    QLabel *FileSizeLabel = nullptr;
    QLabel *DateModifiedLabel = nullptr;
    QPushButton *CancelButton = nullptr;

signals:
    // After each step, with the bar's position.
    void stepped(int position);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void showFileName(const QString &path);

    RunControl *m_run = nullptr;
};
