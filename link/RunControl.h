// Who may reach the unit right now, and whether the run has been cancelled, and why.
//
// A script run and Send File each hold the run from their start to their end; a nested hold
// (a script run inside a chosen file's run) counts once. The run control is the gate to the
// unit: while a run is going it admits only the run itself. The operator's keys, menus and
// buttons, the keep-alive and a second run are refused (the window also greys what would
// ask). Inside a run, a transfer is going while its blocks are sent, and an upload is in
// flight from its header (or first block) until the unit's prompt confirms it: a failing
// connection then takes the upload with it.
//
// The cancel is the one stop signal. A failure anywhere (a block that cannot be sent, the
// watchdog, a lost link, no prompt after an upload) cancels the run after its current step;
// the run's time limit and a signal from outside end it at once, so that every wait and pause
// ends too. The first reason given is kept: it is the one the messages and the records name.
// Only the start of the next run clears it, never anything during a run or a transfer.
#pragma once

#include <QString>

class RunControl
{
public:
    // Who asks to reach the unit or to change the link.
    enum class Requester
    {
        Run,     // the script run or Send File that holds the run, and what it calls
        Operator // keys, menus, buttons and dialogs, and the keep-alive
    };

    // Why the run is cancelled, which says how it stops.
    enum class Cause
    {
        Failure,  // the run stops after its current step
        LinkLost, // the same; the device vanished or the connection went with the upload
        Stopped   // the time limit or a signal: every wait and pause ends now
    };

    // True for the outermost start and the outermost stop: the caller then takes the
    // controls away from the operator, or gives them back. The outermost start clears the
    // cancel of an earlier run.
    bool start();
    bool stop() { return --m_depth == 0; }
    bool going() const { return m_depth > 0; }

    // The gate: what the requester may do now. While a run is going only the run may.
    bool admits(Requester requester) const
    {
        return requester == Requester::Run || !going();
    }

    bool transferGoing() const { return m_transferGoing; }
    void setTransferGoing(bool going) { m_transferGoing = going; }
    bool uploadInFlight() const { return m_uploadInFlight; }
    void setUploadInFlight(bool inFlight) { m_uploadInFlight = inFlight; }

    // Cancels the run. A second cancel keeps the first reason and cause, but may make the stop
    // sooner.
    void cancel(const QString &reason, Cause cause = Cause::Failure);
    bool cancelled() const { return m_cancelled; }
    // Cancelled by the time limit or a signal: nothing more is waited for.
    bool ending() const { return m_ending; }
    // First cancelled because the link was lost: a station may run the script again.
    bool linkLost() const { return m_cancelled && m_cause == Cause::LinkLost; }
    QString cancelReason() const { return m_reason; }

private:
    int m_depth = 0;
    bool m_transferGoing = false;
    bool m_uploadInFlight = false;
    bool m_cancelled = false;
    bool m_ending = false;
    Cause m_cause = Cause::Failure;
    QString m_reason;
};
