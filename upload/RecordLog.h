// The records a supervisor keeps: one line on standard error for each upload and for the end
// of a run, each written once and whole, beginning "Tamrin: " like the messages.
//
//   run script="auto.sld" status=1 outcome=failed reason="Error! Unit not in Loader Mode! ..."
//
// A run's outcome follows from its status: success, failed, not-run (the unit was not reached
// or the script could not be opened), time-limit, not-started, or stopped (by a signal, status
// 128 + its number); configured= (after the script) names the port the settings asked for
// when the unit was found on another, and the reason is left out when there is none.
//
// A station (tamrin --run --record FILE) also gets each record as one JSON object a line
// (schema 1), appended to FILE with one write() under an advisory lock, so that stations
// sharing the file never tear or interleave a line. The context says where the records were
// made: the port, the device and its adapter, the script, the attempt.
//
// A run that was told to stop and does not end by itself is ended by force from another thread
// (app/ProcessGuard). The log therefore knows what is still going: the upload between its
// header (or first block) and its record, and the run. The forced end writes their lines, the
// upload as cancelled; a lock makes sure that each record is written exactly once, by the one
// or the other, and that nothing is written after the forced end.
#pragma once

#include "upload/UploadRecord.h"

#include <QDateTime>
#include <QString>

#include <optional>

// Where and for what the records are made; fields nobody set are written as null.
struct RecordContext
{
    QString script;
    // "COM1", or "tcp"; the device path and the USB adapter's serial number behind a COM port.
    QString port;
    QString device;
    std::optional<QString> adapterSerial;
    QString link;
    // The COM port the settings named, when the unit answered on another one.
    QString configured;
    // A station's attempt at the run, from 1.
    int attempt = 1;
};

struct RunRecord
{
    int status = 0;
    QString reason;
    QDateTime startedAt;
};

QString runRecordLine(const RecordContext &context, const RunRecord &record);

namespace RecordLog {

void setContext(const RecordContext &context);
RecordContext context();
// Appends the records as JSON lines to 'path' too ("-": standard output). False, with the
// reason, when the file cannot be opened.
bool openJsonFile(const QString &path, QString *error);

// The upload is going: if the process is ended by force, it is recorded as cancelled.
void uploadGoing(const UploadRecord &record);
// Writes the upload's record; it is no longer going.
void writeUpload(const UploadRecord &record);
// The run is going, with what its record will say of it.
void runGoing(const RunRecord &record);
// Writes the run's record; it is no longer going.
void writeRun(const RunRecord &record);
// The process ends while they are going: the upload as cancelled for 'reason', and the run
// with 'status' and 'reason'.
void writeGoing(int status, const QString &reason);
// The same from any thread, once, for the forced end: nothing is written after it.
void writeForcedEnd(int status, const QString &reason);

} // namespace RecordLog
