// Where the operator names the unit's TCP address and port: the Ethernet link reads the
// fields from it when it connects, locks them while a connect waits for its outcome, and
// brings it up for a connect or for a run's reconnect. The program's Ethernet dialog (app/)
// is one; the link knows only this, so it needs no window to run, and the dialog's buttons
// reach the link through the pointer handed to attach().
#pragma once

#include <QString>

#include <array>

class EthernetLink;

class EthernetEndpoint
{
public:
    virtual ~EthernetEndpoint() = default;

    // The link the endpoint's own controls drive.
    virtual void attach(EthernetLink *link) = 0;

    // The unit's address as typed, one text per octet, and its port as typed: unchecked.
    virtual std::array<QString, 4> octetTexts() const = 0;
    virtual QString portText() const = 0;
    // The fields and the Connect control; disabled while a connect waits.
    virtual void setFieldsEnabled(bool enabled) = 0;
    // Where the operator mends a port or address the link refused.
    virtual void focusPortField() = 0;

    // Shown, raised and given the focus, for the operator's own connect.
    virtual void present() = 0;
    // Shown modally until the operator closes it: a run's reconnect made by hand.
    virtual void runModal() = 0;
    // Put away once the link is up; nothing when it is not showing.
    virtual void dismiss() = 0;
};
