// Whether the records Tamrin wrote of a soak run tell the truth. Tamrin writes one line on
// standard error for each upload and for a run it ends ("Tamrin: upload ... outcome=...",
// "Tamrin: run ... status=... outcome=..."); the soak catches them (StderrCapture) and holds
// them against what it knows from elsewhere: what the unit stored, what Tamrin told the
// operator, the file's own bytes and the stop it sent from outside. A record that claims what
// did not happen is a false record, as bad as a silent failure: a supervisor acts on it.
#pragma once

#include "RunOutcome.h"
#include "RunPlan.h"

#include <QHash>
#include <QString>
#include <QStringList>

namespace RecordCheck {

// A record line's fields: "kind" (upload or run), then each name=value, quoted values
// unquoted. Empty for a line that is no record.
QHash<QString, QString> fieldsOf(const QString &line);

// True when Tamrin took the plan's stop while the run was going: it then said so in a line
// of its own ("stopped by SIGTERM", or the time limit's text).
bool stopTaken(const RunPlan &plan, const QStringList &tamrinLines);

// What is false in the run's records, one finding a line; empty when they are all true.
QStringList falseRecords(const RunPlan &plan, const RunOutcome &outcome);

} // namespace RecordCheck
