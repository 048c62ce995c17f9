// Uploader: a file's way into the unit. It runs the load chain of a script (_LF, _LA, _LV and
// _LD), measures the file, sends the header and the file's bytes in blocks through DeviceLink
// while the progress window counts them, waits for the unit's prompt that confirms them, and
// writes each upload's record line. A cancel (any failure, the time limit, a signal) stops the
// transfer before its next block; only the start of the next run clears it. It owns the upload state and is handed the serial port,
// the TCP client (for the record), DeviceLink, the run control, the progress window (a ProgressSink) and the
// window's view of an upload: the status line, message boxes, the menus that could change the
// link, and the terminal pane.
#pragma once

#include "upload/UploadRecord.h"
#include "upload/UploadState.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QString>

#include <functional>
#include <optional>

class DeviceLink;
class QFile;
class QTcpSocket;
class RunControl;
class SerialPort;
class ProgressSink;

enum class UploadPhase
{
    Header,
    Data,
    Confirm
};

class Uploader
{
public:
    struct View
    {
        std::function<void(const QString &)> showStatus;
        std::function<void(const QString &)> showMessage;
        // The same, for a failure the window also keeps as its message text.
        std::function<void(const QString &)> reportFailure;
        // The menus that could change the link, shown or hidden during a transfer.
        std::function<void(bool)> showUploadMenus;
        std::function<void(bool)> enablePane;
        // Where the upload stands, for a station's progress: the header went, a block of the
        // data went (the bytes so far), the wait for the unit's confirmation began.
        std::function<void(UploadPhase, qint64 bytes, qint64 total)> progress;
        // The unit's last answer to a query, which the record keeps as its identity.
        std::function<QByteArray()> unitAnswer;
    };

    // After the header the unit prepares its memory: the pauses before the data may start,
    // and the one before the first block once the transfer is set up.
    static constexpr int HeaderSettleMs = 2100;
    static constexpr int HeaderPrepareMs = 500;
    static constexpr int BeforeFirstBlockMs = 100;
    // The blocks of a script upload and of a raw send.
    static constexpr int TransferBlock = 2000;
    static constexpr int RawBlock = 4000;

    Uploader(SerialPort &port, QTcpSocket &socket, DeviceLink &link, RunControl &run);
    void setView(View view) { m_view = std::move(view); }
    void attachProgress(ProgressSink *progress) { m_progress = progress; }

    // The load commands: each takes its command's argument as the script wrote it (nothing
    // when the line had none) and returns false when the run must stop.
    bool loadFile(const std::optional<QByteArray> &name);
    bool loadAddress(const std::optional<QByteArray> &address);
    bool loadVersion(const std::optional<QByteArray> &version);
    bool loadData();
    int get_file_checksum();
    int get_date();

    // Sending.
    bool scriptUpload();
    void UploadButtonClick();
    void SendRawFile();
    // Send File: the chosen file, without header or prompt check.
    void sendChosenFile(const QString &chosen);

    // The upload's record line.
    void startUploadRecord();
    void recordUpload(bool succeeded, bool confirmed);
    // A message box shown during the upload: the first one says why it failed.
    void noteMessage(const QString &text);

    // What scripts set and a new run forgets.
    void setPostUploadPauseMs(int ms) { m_state.postUploadPauseMs = ms; }
    void setTerminalLock(char lock) { m_state.terminalLock = lock; }
    void forgetRefusal() { m_state.chain.forgetRefusal(); }
    const UploadState &state() const { return m_state; }

private:
    bool refuseChainStep(const QString &text);
    bool openUploadFile(QFile &file);
    bool sendFileBlock(QFile &file, qint64 count);
    void transferWithProgress(QFile &file);
    void transferBlocks(QFile &file);
    void afterTransfer();
    bool transferLinkLost();
    QString cancelledUploadText() const;
    void reportCancelledUpload();
    bool postUploadPromptWait();
    void tellProgress(UploadPhase phase);
    bool uploadLinkHolds() const;
    bool promptOnUploadLink(int ticks);
    bool sentBytesMatchMeasure();
    UploadRecord currentRecord() const;

    SerialPort &m_port;
    QTcpSocket &m_socket;
    DeviceLink &m_link;
    RunControl &m_run;
    ProgressSink *m_progress = nullptr;
    View m_view;
    UploadState m_state;
    // The bytes the transfer has sent so far.
    QCryptographicHash m_sentHash{QCryptographicHash::Sha256};
};
