// Who may reach the unit right now, and whether the run has been cancelled.
//
// A script run and Send File each hold the run from their start to their end; a nested hold
// (a script run inside a chosen file's run) counts once. While a run is going nothing outside
// it may reach the unit or start another run: typed keys, the script button, Send File, the
// keep-alive and a reconnect ask going() first. Inside a run, a transfer is going while its
// blocks are sent, and an upload is in flight from its header (or first block) until the
// unit's prompt confirms it: a failing connection then takes the upload with it.
//
// The cancel flag is the one stop signal: a failure anywhere (a block that cannot be sent,
// the watchdog, a lost connection, no prompt after an upload, the run's time limit) sets it,
// and the run's waits and its reader stop when they see it. The progress window shows it and
// its Cancel button sets it.
#pragma once

class RunControl
{
public:
    // True for the outermost start and the outermost stop: the caller then takes the
    // controls away from the operator, or gives them back.
    bool start() { return m_depth++ == 0; }
    bool stop() { return --m_depth == 0; }
    bool going() const { return m_depth > 0; }

    bool transferGoing() const { return m_transferGoing; }
    void setTransferGoing(bool going) { m_transferGoing = going; }
    bool uploadInFlight() const { return m_uploadInFlight; }
    void setUploadInFlight(bool inFlight) { m_uploadInFlight = inFlight; }

    // 1 = stop the running transfer and the script run.
    int cancelFlag() const { return m_cancelFlag; }
    void setCancelFlag(int value) { m_cancelFlag = value; }
    bool cancelled() const { return m_cancelFlag != 0; }

private:
    int m_depth = 0;
    bool m_transferGoing = false;
    bool m_uploadInFlight = false;
    int m_cancelFlag = 0;
};
