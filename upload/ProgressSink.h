// What an upload shows of itself while its blocks go out: the transfer opens the display with
// the file's particulars and the number of blocks, steps it once per block sent and closes it
// when the blocks are over, however they ended. The program's progress window (app/) is one;
// the uploader knows only this, so the upload needs no window to run.
#pragma once

struct UploadState;

class ProgressSink
{
public:
    virtual ~ProgressSink() = default;

    // The transfer begins: 'maximum' blocks of the file that 'upload' describes.
    virtual void ShowProgressForm(int maximum, const UploadState &upload) = 0;
    // One block sent.
    virtual void StepIt() = 0;
    // The transfer is over.
    virtual void HideProgressForm() = 0;
};
