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
// to expect it, the transfer is cancelled: it never ends as if the file had arrived.
#include "app/TamrinForm.h"

#include "app/OperatorDialogs.h"
#include "app/TerminalPane.h"
#include "link/SerialPort.h"
#include "link/Timing.h"
#include "script/ScriptSyntax.h"
#include "upload/FileMeasure.h"
#include "upload/NativeFile.h"
#include "upload/ProgressForm.h"
#include "upload/UploadRecord.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QTcpSocket>
#include <QTimer>

using ScriptSyntax::displayText;

namespace {

constexpr int TransferBlock = 2000;
constexpr int RawBlock = 4000;
constexpr int HeaderPromptTicks = 130;
constexpr int WatchdogAfterUploadMs = 14000;

} // namespace

bool TTamrinForm::scriptUpload()
{
    m_link->setPromptTimeoutTicks(HeaderPromptTicks);
    // Only a prompt on the link the check began on shows that this unit is ready.
    const LinkIdentity checkLink = currentLink();
    bool prompt = SendCOMCmd_GetPrompt("\r");
    if (!prompt && !linkFailureReported()) {
        SetPromptChar(m_link->loaderPrompt());
        prompt = SendCOMCmd_GetPrompt("\r");
    }
    prompt = prompt && currentLink() == checkLink;
    if (!prompt) {
        if (!linkFailureReported())
            showMessage(QStringLiteral("Error! Unable to receive prompt before upload.... "
                                       "Exiting script."));
        m_link->setPromptTimeoutTicks(LinkState::DefaultPromptTicks);
        return false;
    }
    Timing::pump();
    m_link->setPromptTimeoutTicks(LinkState::DefaultPromptTicks);
    m_link->setCommandBuffer(uploadHeader(m_link->uploadKeyword(), upload.loadAddress,
                                          upload.fileSize, upload.checksum, upload.loadVersion));
    Timing::pump();
    // From here the unit expects the file, over this link and no other.
    m_run.setUploadInFlight(true);
    upload.link = currentLink();
    ResendCommand();
    // The header goes once: a reconnect from here on must never send it again.
    m_link->setCommandBuffer({});
    // The unit prepares its memory after the header before the data may start.
    Timing::sleepMs(2100);
    Timing::pump();
    Timing::sleepMs(500);
    Timing::pump();
    upload.promptAfterUpload = true;
    UploadButtonClick();
    upload.chain.headerSent();
    return true;
}

void TTamrinForm::UploadButtonClick()
{
    show_status(QStringLiteral("Reading script file. Please wait...."));
    QFile file;
    if (!openUploadFile(file)) {
        // After a header the unit waits for data that will not come: that upload has failed.
        if (m_run.uploadInFlight()) {
            m_run.setUploadInFlight(false);
            setCancelFlag(1);
            reportCancelledUpload();
        }
        return;
    }
    if (!m_run.uploadInFlight()) {
        // Without a header the transfer's link is the one open now.
        m_run.setUploadInFlight(true);
        upload.link = currentLink();
    }
    transferWithProgress(file);
    afterTransfer();
    // Only the unit's prompt after the data confirms the upload; until then a connection that
    // fails takes the upload with it.
    m_run.setUploadInFlight(false);
    Timing::pump();
    Timing::pump();
    if (tcpConnected())
        SetTryEnetAgainFlag(false);
}

// The blocks go out with the progress window shown and the menus that could change the
// link hidden.
void TTamrinForm::transferWithProgress(QFile &file)
{
    m_run.setTransferGoing(true);
    showUploadMenus(false);
    if (upload.link.transport == Transport::Serial) {
        // Whatever the unit sent after the header and was not read yet is dropped.
        comPort().flushInput();
        comPort().flushOutput();
        comPort().processCommunications();
    }
    if (upload.terminalLock == 0)
        AdTerminal1->setEnabled(false);
    const qint64 blocks = upload.fileSize / TransferBlock;
    if (m_windows.progress)
        m_windows.progress->ShowProgressForm(int(std::min<qint64>(blocks, INT_MAX)), upload);
    Timing::sleepMs(100);
    upload.sentChecksum = 0;
    transferBlocks(file);
    if (cancelFlag() != 1 && !sentBytesMatchHeader())
        setCancelFlag(1);
    file.close();
    if (m_windows.progress)
        m_windows.progress->HideProgressForm();
    showUploadMenus(true);
    m_run.setTransferGoing(false);
}

// The pause after the data, or the cancellation report, then the unit's prompt when the
// transfer asks for it. Only the link that took the data can confirm it: one that went while
// the last bytes were on their way, or while the unit was storing them, took them with it.
void TTamrinForm::afterTransfer()
{
    if (cancelFlag() != 1) {
        Timing::sleepMs(upload.postUploadPauseMs);
        Timing::pump();
        transferLinkLost();
    }
    const bool reported = cancelFlag() == 1;
    if (reported) {
        Timing::sleepMs(500);
        Timing::pump();
        reportCancelledUpload();
    }
    Timing::pump();
    if (upload.terminalLock == 0)
        AdTerminal1->setEnabled(true);
    // A run past its time limit waits for nothing more.
    if (!upload.promptAfterUpload || activeTransport() == Transport::None || startup.runTimedOut)
        return;
    postUploadPromptWait();
    // A prompt that came over a new connection confirms nothing.
    if (transferLinkLost() && !reported)
        reportCancelledUpload();
}

void TTamrinForm::reportCancelledUpload()
{
    message_text = QStringLiteral("Upload cancelled/incomplete!!! Upload for ") +
                   displayText(upload.fileName) + QStringLiteral(" section was incomplete.");
    showMessage(message_text);
}

// The file's bytes in 2000-byte blocks, the last one shorter; a file shorter than one block
// (an empty one too) is one send. The cancel flag is looked at before every block, and so is
// the link: one that has gone, been replaced, or was never there cancels the transfer.
void TTamrinForm::transferBlocks(QFile &file)
{
    const qint64 blocks = upload.fileSize / TransferBlock;
    const qint64 remainder = upload.fileSize - blocks * TransferBlock;
    auto sendAndStep = [&](qint64 count) {
        if (transferLinkLost() || !sendFileBlock(file, count))
            return false;
        if (m_windows.progress)
            m_windows.progress->StepIt();
        return true;
    };
    if (blocks <= 0) {
        if (sendAndStep(remainder))
            transferLinkLost();
        return;
    }
    for (qint64 i = 0; i < blocks && cancelFlag() != 1; ++i) {
        if (!sendAndStep(TransferBlock))
            return;
        if (upload.link.transport == Transport::Serial)
            comPort().processCommunications();
        Timing::pump();
    }
    if (cancelFlag() != 1 && remainder > 0) {
        sendAndStep(remainder);
        Timing::pump();
    }
    transferLinkLost();
}

// True, with the cancel flag set, when the transfer's link is no longer the one in use.
bool TTamrinForm::transferLinkLost()
{
    if (uploadLinkHolds())
        return false;
    setCancelFlag(1);
    return true;
}

// Reads 'count' bytes into the block buffer and sends them. A file that has fewer bytes than
// were measured stops the transfer: no filler is ever sent in place of missing bytes.
bool TTamrinForm::sendFileBlock(QFile &file, qint64 count)
{
    const qint64 got = count > 0 ? file.read(upload.block.data(), count) : 0;
    if (got != count) {
        message_text = QStringLiteral("Error! File ") + displayText(upload.fileName) +
                       QStringLiteral(" is shorter than when it was measured (%1 bytes). "
                                      "Cancel upload.")
                           .arg(upload.fileSize);
        showMessage(message_text);
        setCancelFlag(1);
        return false;
    }
    Timing::pump();
    const QByteArrayView bytes(upload.block.data(), count);
    upload.sentChecksum = addToChecksum(upload.sentChecksum, bytes);
    SendByte(bytes);
    return true;
}

// The file was measured before the header went; what went after it must be those bytes. A
// file rewritten meanwhile (same size, other bytes) would be stored with a bad checksum.
bool TTamrinForm::sentBytesMatchHeader()
{
    if (upload.sentChecksum == upload.checksum)
        return true;
    message_text = QStringLiteral("Error! File ") + displayText(upload.fileName) +
                   QStringLiteral(" changed after it was measured: the bytes sent do not match "
                                  "the checksum %1 in the header. Cancel upload.")
                       .arg(upload.checksum, 0, 16);
    showMessage(message_text);
    return false;
}

void TTamrinForm::postUploadPromptWait()
{
    show_status(QStringLiteral("Waiting for prompt.."));
    // The unit needs longer to store a larger file.
    const qint64 waitMs = sizeWaitMs(upload.fileSize);
    Timing::sleepMs(int(waitMs / 2));
    show_status(QStringLiteral("Waiting for prompt...."));
    Timing::pump();
    Timing::sleepMs(int(waitMs / 2));
    show_status(QStringLiteral("Waiting for prompt......"));
    SetPromptChar(m_link->loaderPrompt());
    m_link->setPromptTimeoutTicks(postUploadPromptTicks(upload.fileSize));
    if (tcpConnected())
        m_link->commandTimer().setInterval(int(std::min<qint64>(waitMs + 14000, INT_MAX)));
    Timing::sleepMs(100);
    Timing::pump();
    bool prompt = promptOnUploadLink();
    if (!prompt && uploadLinkHolds()) {
        show_status(QStringLiteral("Waiting for prompt........"));
        Timing::sleepMs(2500);
        Timing::pump();
        prompt = promptOnUploadLink();
    }
    if (!prompt && uploadLinkHolds()) {
        if (tcpConnected())
            Timing::sleepMs(2000);
        m_link->setPromptTimeoutTicks(LinkState::DefaultPromptTicks);
        prompt = promptOnUploadLink();
    }
    m_link->setPromptTimeoutTicks(LinkState::DefaultPromptTicks);
    // A link that went meanwhile is reported as the cancelled upload it is.
    if (!prompt && uploadLinkHolds()) {
        showMessage(QStringLiteral("Error! Unable to receive prompt after upload. Upload "
                                   "unsuccessful. Exiting script."));
        if (!serialOpen() && !tcpConnected())
            showMessage(QStringLiteral("Error! Communications lost."));
        setCancelFlag(1);
    }
    m_link->commandTimer().setInterval(WatchdogAfterUploadMs);
}

bool TTamrinForm::uploadLinkHolds() const
{
    return upload.link.transport != Transport::None && currentLink() == upload.link;
}

// The loader prompt, seen on the link that took the data.
bool TTamrinForm::promptOnUploadLink()
{
    return uploadLinkHolds() && SendCOMCmd_GetPrompt("\r") && uploadLinkHolds();
}

void TTamrinForm::SendRawFile()
{
    QFile file;
    if (!openUploadFile(file))
        return;
    get_file_checksum();
    if (upload.fileSize <= 0)
        return;
    if (upload.fileSize <= RawBlock) {
        sendFileBlock(file, upload.fileSize);
        return;
    }
    const qint64 blocks = upload.fileSize / RawBlock;
    for (qint64 i = 0; i < blocks; ++i) {
        if (!sendFileBlock(file, RawBlock))
            return;
        Timing::pump();
    }
    sendFileBlock(file, upload.fileSize - blocks * RawBlock);
}

void TTamrinForm::SendFile1Click()
{
    runChosenFile([this](const QString &chosen) {
        upload.fileName = QFile::encodeName(chosen);
        startUploadRecord();
        get_file_checksum();
        upload.promptAfterUpload = false;
        UploadButtonClick();
        recordUpload(true, false);
    });
}

// An upload's record begins as the upload does: before anything of it reaches the unit.
void TTamrinForm::startUploadRecord()
{
    upload.startedMs = Timing::nowMs();
    upload.failureText.clear();
    if (serialOpen())
        upload.linkText =
            QStringLiteral("COM%1:%2").arg(comPort().portNumber()).arg(comPort().baudRate());
    else if (tcpConnected())
        upload.linkText = QStringLiteral("tcp:%1:%2")
                              .arg(clientSocket().peerAddress().toString())
                              .arg(clientSocket().peerPort());
    else
        upload.linkText = QStringLiteral("none");
}

// One line on standard error: what went where, and how it ended. 'succeeded' is the upload's
// own verdict; 'confirmed' tells whether the unit was asked to confirm it with its prompt.
void TTamrinForm::recordUpload(bool succeeded, bool confirmed)
{
    UploadRecord record;
    record.file = displayText(upload.fileName);
    record.size = upload.fileSize;
    record.checksum = upload.checksum;
    record.address = displayText(upload.loadAddress);
    record.version = displayText(upload.loadVersion);
    record.link = upload.linkText;
    record.milliseconds = Timing::nowMs() - upload.startedMs;
    record.reason = upload.failureText;
    if (cancelFlag() == 1)
        record.outcome = UploadRecord::Outcome::Cancelled;
    else if (!succeeded || !upload.failureText.isEmpty())
        record.outcome = UploadRecord::Outcome::Failed;
    else
        record.outcome = confirmed ? UploadRecord::Outcome::Delivered : UploadRecord::Outcome::Sent;
    WriteStderrLine(uploadRecordLine(record));
}

bool TTamrinForm::openUploadFile(QFile &file)
{
    if (NativeFile::openForReading(file, upload.fileName))
        return true;
    message_text =
        QStringLiteral("Error opening ") + displayText(upload.fileName) + QStringLiteral(".\r");
    showMessage(message_text);
    return false;
}

void TTamrinForm::showUploadMenus(bool shown)
{
    ConfigMenu->menuAction()->setVisible(shown);
    Ethernet1->menuAction()->setVisible(shown);
}
