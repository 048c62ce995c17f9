// Sending a file's bytes to the unit.
//
// A script upload checks the unit's prompt, sends the header line, pauses, transfers the
// file in 2000-byte blocks while the progress window counts them, pauses again and waits for
// the loader prompt. A raw send (an _LD without a complete chain) sends the file in 4000-byte
// blocks with nothing around them; Send File transfers a chosen file without header or prompt
// wait. Every block is read into the one block buffer of the upload state.
//
// A transfer runs on the transport that was open when it began. If that transport is gone
// before or during the blocks, or the file cannot be opened once a header has told the unit
// to expect it, the transfer is cancelled: it never ends as if the file had arrived. A run
// cancelled before the first block (its time limit passed in the pause after the header)
// sends none. The bytes sent are summed and hashed as they go: a file rewritten after it was
// measured is caught even when the rewrite keeps the 16-bit sum.
//
// What the unit prints from the last block until its prompt is heard and kept for the record:
// the prompt is all the protocol confirms, and a unit may report an error before it.
#include "upload/Uploader.h"

#include "base/ByteText.h"
#include "base/NativeFile.h"
#include "base/OperatorDialogs.h"
#include "base/OperatorReports.h"
#include "base/Timing.h"
#include "link/DeviceLink.h"
#include "link/RunControl.h"
#include "link/SerialPort.h"
#include "upload/FileMeasure.h"
#include "upload/ProgressSink.h"
#include "upload/RecordLog.h"

#include <QFile>
#include <QTcpSocket>
#include <QTimer>

using ByteText::displayText;

namespace {

constexpr int HeaderPromptTicks = 130;
constexpr int WatchdogAfterUploadMs = 14000;

} // namespace

bool Uploader::scriptUpload()
{
    // Only a prompt on the link the check began on shows that this unit is ready.
    const LinkIdentity checkLink = m_link.currentLink();
    bool prompt = m_link.SendCOMCmd_GetPrompt("\r", HeaderPromptTicks);
    if (!prompt && !m_link.failureReported()) {
        m_link.SetPromptChar(m_link.loaderPrompt());
        prompt = m_link.SendCOMCmd_GetPrompt("\r", HeaderPromptTicks);
    }
    prompt = prompt && m_link.currentLink() == checkLink;
    if (!prompt) {
        if (!m_link.failureReported())
            m_reports.showMessage(
                QStringLiteral("Error! Unable to receive prompt before upload.... "
                               "Exiting script."));
        return false;
    }
    Timing::pump();
    const QByteArray header = uploadHeader(m_link.uploadKeyword(), m_state.loadAddress,
                                           m_state.fileSize, m_state.checksum,
                                           m_state.loadVersion);
    Timing::pump();
    // From here the unit expects the file, over this link and no other.
    m_run.setUploadInFlight(true);
    m_state.link = m_link.currentLink();
    RecordLog::uploadGoing(currentRecord());
    // The header goes once: a reconnect from here on must never send it again.
    m_link.sendOnce(header);
    tellProgress(UploadPhase::Header);
    // The unit prepares its memory after the header before the data may start.
    Timing::sleepMs(HeaderSettleMs);
    Timing::pump();
    Timing::sleepMs(HeaderPrepareMs);
    Timing::pump();
    m_state.promptAfterUpload = true;
    UploadButtonClick();
    m_state.chain.headerSent();
    return true;
}

void Uploader::UploadButtonClick()
{
    m_reports.show_status(QStringLiteral("Reading script file. Please wait...."));
    QFile file;
    if (!openUploadFile(file)) {
        // After a header the unit waits for data that will not come: that upload has failed.
        if (m_run.uploadInFlight()) {
            m_run.setUploadInFlight(false);
            m_run.cancel(m_state.failureText);
            reportCancelledUpload();
        }
        return;
    }
    if (!m_run.uploadInFlight()) {
        // Without a header the transfer's link is the one open now.
        m_run.setUploadInFlight(true);
        m_state.link = m_link.currentLink();
        RecordLog::uploadGoing(currentRecord());
    }
    transferWithProgress(file);
    afterTransfer();
    // Only the unit's prompt after the data confirms the upload; until then a connection that
    // fails takes the upload with it.
    m_run.setUploadInFlight(false);
    Timing::pump();
    Timing::pump();
    if (m_link.tcpConnected())
        m_link.SetTryEnetAgainFlag(false);
}

// The blocks go out with the progress window shown and the menus that could change the
// link hidden.
void Uploader::transferWithProgress(QFile &file)
{
    m_run.setTransferGoing(true);
    emit transferChanged();
    if (m_state.link.transport == Transport::Serial) {
        // Whatever the unit sent after the header and was not read yet is dropped.
        m_port.flushInput();
        m_port.flushOutput();
        m_port.processCommunications();
    }
    if (m_state.terminalLock == 0)
        emit terminalHeld(true);
    const qint64 blocks = m_state.fileSize / TransferBlock;
    if (m_progress)
        m_progress->ShowProgressForm(int(std::min<qint64>(blocks, INT_MAX)), m_state);
    Timing::sleepMs(BeforeFirstBlockMs);
    m_state.sentChecksum = 0;
    m_sentHash.reset();
    transferBlocks(file);
    if (!m_run.cancelled() && !sentBytesMatchMeasure())
        m_run.cancel(m_state.failureText);
    file.close();
    if (m_progress)
        m_progress->HideProgressForm();
    m_run.setTransferGoing(false);
    emit transferChanged();
}

// The pause after the data, or the cancellation report, then the unit's prompt when the
// transfer asks for it. Only the link that took the data can confirm it: one that went while
// the last bytes were on their way, or while the unit was storing them, took them with it.
void Uploader::afterTransfer()
{
    if (!m_run.cancelled()) {
        Timing::sleepMs(m_state.postUploadPauseMs);
        Timing::pump();
        transferLinkLost();
    }
    const bool reported = m_run.cancelled();
    if (reported) {
        Timing::sleepMs(500);
        Timing::pump();
        reportCancelledUpload();
    }
    Timing::pump();
    if (m_state.terminalLock == 0)
        emit terminalHeld(false);
    // A run that is being ended (time limit, signal) waits for nothing more.
    if (!m_state.promptAfterUpload || m_link.activeTransport() == Transport::None ||
        m_run.ending()) {
        m_state.unitSaid = m_link.stopHearing();
        return;
    }
    const bool prompt = postUploadPromptWait();
    m_state.unitSaid = m_link.stopHearing();
    // A prompt that came over a new connection confirms nothing.
    if (transferLinkLost() && !reported)
        reportCancelledUpload();
    // Whatever cancels the run from here on, this upload was delivered.
    m_state.delivered = prompt && !m_run.cancelled();
}

QString Uploader::cancelledUploadText() const
{
    return QStringLiteral("Upload cancelled/incomplete!!! Upload for ") +
           displayText(m_state.fileName) + QStringLiteral(" section was incomplete.");
}

void Uploader::reportCancelledUpload()
{
    m_reports.reportFailure(cancelledUploadText());
}

// The file's bytes in 2000-byte blocks, the last one shorter; a file shorter than one block
// (an empty one too) is one send. The cancel is looked at before every block, the first one
// too, and so is the link: one that has gone, been replaced, or was never there cancels the
// transfer.
void Uploader::transferBlocks(QFile &file)
{
    const qint64 blocks = m_state.fileSize / TransferBlock;
    const qint64 remainder = m_state.fileSize - blocks * TransferBlock;
    auto sendAndStep = [&](qint64 count) {
        // The unit may answer the last block before the send has finished with it: what it
        // says is heard from that block on.
        m_link.startHearing();
        if (m_run.cancelled() || transferLinkLost() || !sendFileBlock(file, count))
            return false;
        if (m_progress)
            m_progress->StepIt();
        return true;
    };
    if (blocks <= 0) {
        if (sendAndStep(remainder))
            transferLinkLost();
        return;
    }
    for (qint64 i = 0; i < blocks && !m_run.cancelled(); ++i) {
        if (!sendAndStep(TransferBlock))
            return;
        if (m_state.link.transport == Transport::Serial)
            m_port.processCommunications();
        Timing::pump();
    }
    if (!m_run.cancelled() && remainder > 0) {
        sendAndStep(remainder);
        Timing::pump();
    }
    transferLinkLost();
}

// True, with the run cancelled, when the transfer's link is no longer the one in use.
bool Uploader::transferLinkLost()
{
    if (uploadLinkHolds())
        return false;
    m_run.cancel(cancelledUploadText());
    return true;
}

// Reads 'count' bytes into the block buffer and sends them. A file that has fewer bytes than
// were measured stops the transfer: no filler is ever sent in place of missing bytes.
bool Uploader::sendFileBlock(QFile &file, qint64 count)
{
    const qint64 got = count > 0 ? file.read(m_state.block.data(), count) : 0;
    if (got != count) {
        const QString text = QStringLiteral("Error! File ") + displayText(m_state.fileName) +
                             QStringLiteral(" is shorter than when it was measured (%1 bytes). "
                                            "Cancel upload.")
                                 .arg(m_state.fileSize);
        m_reports.reportFailure(text);
        m_run.cancel(text);
        return false;
    }
    Timing::pump();
    const QByteArrayView bytes(m_state.block.data(), count);
    m_state.sentChecksum = addToChecksum(m_state.sentChecksum, bytes);
    m_sentHash.addData(bytes);
    m_state.bytesSent += count;
    m_link.SendByte(bytes);
    tellProgress(UploadPhase::Data);
    return true;
}

// The file was measured before the header went; what went after it must be those bytes. A
// file rewritten meanwhile (same size, other bytes) would be stored with a bad checksum, or,
// when the rewrite keeps the sum (two bytes swapped), as neither the old file nor the new.
bool Uploader::sentBytesMatchMeasure()
{
    if (m_state.sentChecksum == m_state.checksum &&
        m_sentHash.result().toHex() == m_state.sha256)
        return true;
    m_reports.reportFailure(
        QStringLiteral("Error! File ") + displayText(m_state.fileName) +
        QStringLiteral(" changed after it was measured: the bytes sent are not the bytes "
                       "measured for the header (checksum %1). Cancel upload.")
            .arg(m_state.checksum, 0, 16));
    return false;
}

void Uploader::tellProgress(UploadPhase phase)
{
    emit progressed(phase, m_state.bytesSent, m_state.fileSize);
}

bool Uploader::postUploadPromptWait()
{
    tellProgress(UploadPhase::Confirm);
    m_reports.show_status(QStringLiteral("Waiting for prompt.."));
    // The unit needs longer to store a larger file.
    const qint64 waitMs = sizeWaitMs(m_state.fileSize);
    Timing::sleepMs(int(waitMs / 2));
    m_reports.show_status(QStringLiteral("Waiting for prompt...."));
    Timing::pump();
    Timing::sleepMs(int(waitMs / 2));
    m_reports.show_status(QStringLiteral("Waiting for prompt......"));
    m_link.SetPromptChar(m_link.loaderPrompt());
    const int storingTicks = postUploadPromptTicks(m_state.fileSize);
    if (m_link.tcpConnected())
        m_link.setWatchdogMs(int(std::min<qint64>(waitMs + 14000, INT_MAX)));
    Timing::sleepMs(100);
    Timing::pump();
    bool prompt = promptOnUploadLink(storingTicks);
    if (!prompt && uploadLinkHolds()) {
        m_reports.show_status(QStringLiteral("Waiting for prompt........"));
        Timing::sleepMs(2500);
        Timing::pump();
        prompt = promptOnUploadLink(storingTicks);
    }
    if (!prompt && uploadLinkHolds()) {
        if (m_link.tcpConnected())
            Timing::sleepMs(2000);
        prompt = promptOnUploadLink(LinkState::DefaultPromptTicks);
    }
    // A link that went meanwhile is reported as the cancelled upload it is, and a stop from
    // outside (time limit, signal) that ended the wait has said why already: the unit was not
    // waited for, it did not fail to answer.
    if (!prompt && uploadLinkHolds() && !m_run.ending()) {
        const QString text = QStringLiteral("Error! Unable to receive prompt after upload. "
                                            "Upload unsuccessful. Exiting script.");
        m_reports.showMessage(text);
        if (!m_link.serialOpen() && !m_link.tcpConnected())
            m_reports.showMessage(QStringLiteral("Error! Communications lost."));
        m_run.cancel(text);
    }
    m_link.setWatchdogMs(WatchdogAfterUploadMs);
    return prompt;
}

bool Uploader::uploadLinkHolds() const
{
    return m_state.link.transport != Transport::None && m_link.currentLink() == m_state.link;
}

// The loader prompt, seen on the link that took the data; not asked for once the run is being
// ended from outside.
bool Uploader::promptOnUploadLink(int ticks)
{
    return !m_run.ending() && uploadLinkHolds() && m_link.SendCOMCmd_GetPrompt("\r", ticks) &&
           uploadLinkHolds();
}

void Uploader::SendRawFile()
{
    QFile file;
    if (!openUploadFile(file))
        return;
    get_file_checksum();
    if (m_state.fileSize <= 0)
        return;
    if (m_state.fileSize <= RawBlock) {
        sendFileBlock(file, m_state.fileSize);
        return;
    }
    const qint64 blocks = m_state.fileSize / RawBlock;
    for (qint64 i = 0; i < blocks; ++i) {
        if (!sendFileBlock(file, RawBlock))
            return;
        Timing::pump();
    }
    sendFileBlock(file, m_state.fileSize - blocks * RawBlock);
}

void Uploader::sendChosenFile(const QString &chosen)
{
    m_state.fileName = QFile::encodeName(chosen);
    startUploadRecord();
    get_file_checksum();
    m_state.promptAfterUpload = false;
    UploadButtonClick();
    recordUpload(true, false);
}

// An upload's record begins as the upload does: before anything of it reaches the unit.
void Uploader::startUploadRecord()
{
    m_state.startedMs = Timing::nowMs();
    m_state.startedAt = QDateTime::currentDateTimeUtc();
    m_state.bytesSent = 0;
    m_state.failureText.clear();
    m_state.unitSaid.reset();
    m_state.delivered = false;
    if (m_link.serialOpen())
        m_state.linkText =
            QStringLiteral("COM%1:%2").arg(m_port.portNumber()).arg(m_port.baudRate());
    else if (m_link.tcpConnected())
        m_state.linkText = QStringLiteral("tcp:%1:%2")
                               .arg(m_socket.peerAddress().toString())
                               .arg(m_socket.peerPort());
    else
        m_state.linkText = QStringLiteral("none");
}

// One line on standard error: what went where, and how it ended. 'succeeded' is the upload's
// own verdict; 'confirmed' tells whether the unit was asked to confirm it with its prompt.
void Uploader::recordUpload(bool succeeded, bool confirmed)
{
    UploadRecord record = currentRecord();
    record.milliseconds = Timing::nowMs() - m_state.startedMs;
    if (confirmed)
        record.unitSaid = m_state.unitSaid.value_or(QByteArray());
    const bool clean = succeeded && m_state.failureText.isEmpty();
    if (confirmed && clean && m_state.delivered) {
        record.outcome = UploadRecord::Outcome::Delivered;
    } else if (m_run.cancelled()) {
        record.outcome = UploadRecord::Outcome::Cancelled;
        record.reason = m_run.cancelReason();
    } else if (!clean || confirmed) {
        record.outcome = UploadRecord::Outcome::Failed;
    } else {
        record.outcome = UploadRecord::Outcome::Sent;
    }
    RecordLog::writeUpload(record);
}

// The record as far as the upload has got: what it sends, over which link, since when.
UploadRecord Uploader::currentRecord() const
{
    UploadRecord record;
    record.file = displayText(m_state.fileName);
    record.size = m_state.fileSize;
    record.checksum = m_state.checksum;
    record.sha256 = m_state.sha256;
    record.address = displayText(m_state.loadAddress);
    record.version = displayText(m_state.loadVersion);
    record.link = m_state.linkText;
    record.startedMs = m_state.startedMs;
    record.startedAt = m_state.startedAt;
    record.bytesSent = m_state.bytesSent;
    record.unitAnswer = m_unitAnswer;
    record.reason = m_state.failureText;
    return record;
}

bool Uploader::openUploadFile(QFile &file)
{
    if (NativeFile::openForReading(file, m_state.fileName))
        return true;
    m_reports.reportFailure(QStringLiteral("Error opening ") + displayText(m_state.fileName) +
                            QStringLiteral(".\r"));
    return false;
}
