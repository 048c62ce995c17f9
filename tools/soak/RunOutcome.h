// What a soak run came to, and the rule that sorts it: a run Tamrin reported as failed is a
// reported failure whatever the unit holds; a run Tamrin let pass must have left exactly the
// file in the unit, or it is a silent failure. Apart from the verdict, the run's records may
// be false (RecordCheck), and a stop from outside may have gone unhonoured until the forced
// end: both are failures of Tamrin whatever the verdict.
#pragma once

#include <QString>
#include <QStringList>

struct RunOutcome
{
    enum class Verdict
    {
        Delivered,       // Tamrin reported nothing wrong and the unit holds exactly the file
        FailureReported, // Tamrin said the upload failed, was cancelled or lost its link
        SilentFailure,   // Tamrin reported nothing wrong, the unit does not hold the file
        HarnessError,    // the run could not be set up: no verdict on Tamrin
    };

    // True for a message that tells the operator the upload or the link failed.
    static bool saysUploadFailed(const QString &message);
    // Sorts the run from what Tamrin reported and what the unit stored.
    void classify();
    QString verdictName() const;

    Verdict verdict = Verdict::HarnessError;
    QStringList messages;       // every message box of the run, in order
    int cancelFlag = 0;         // after the last script run
    int result = 1;             // of the last script run (0: failed)
    QStringList uploadLines;    // the unit's "upload n=..." lines
    bool storedExactly = false; // one stored upload, result=ok, its bytes equal to the file
    QString storedDetail;       // what the unit stored, when it is not exactly the file
    bool faultInjected = false;
    QString harnessError;
    QString evidenceFolder; // kept for a run that fails Tamrin: transcript, store, the file

    QStringList tamrinLines;     // every "Tamrin: " line of the run on standard error, in order
    QByteArray fileSha256;       // of the file's bytes as written, in lower-case hexadecimal
    QString cancelReason;        // of the last script run, when it was cancelled
    int exitStatus = -1;         // the process end Tamrin asked for; -1 when none
    bool unitHeardUpload = true; // the unit received bytes while the _LD ran
    bool forcedEnd = false;      // a stop from outside was not honoured within its grace
    QStringList falseRecords;    // what is false in the run's records; empty when nothing

    // A silent failure, a false record or a forced end: the soak fails.
    bool failsTamrin() const;
};
