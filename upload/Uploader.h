// Uploader: a file's way into the unit. It runs the load chain of a script (_LF, _LA, _LV and
// _LD), measures the file, sends the header and the file's bytes in blocks through DeviceLink
// while the progress window counts them, waits for the unit's prompt that confirms them, and
// writes each upload's record line. A cancel (any failure, the time limit, a signal) stops the
// transfer before its next block; only the start of the next run clears it. It owns the
// upload state and is handed the serial port, the TCP client (for the record), DeviceLink, the
// run control, the operator's reports and the progress window (a ProgressSink). The window
// hears the rest as signals: a transfer begins and ends, the terminal held, and where the
// upload stands.
#pragma once

#include "upload/UploadRecord.h"
#include "upload/UploadState.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QObject>
#include <QString>

#include <optional>

class DeviceLink;
class OperatorReports;
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

class Uploader : public QObject
{
    Q_OBJECT
public:
    // After the header the unit prepares its memory: the pauses before the data may start,
    // and the one before the first block once the transfer is set up.
    static constexpr int HeaderSettleMs = 2100;
    static constexpr int HeaderPrepareMs = 500;
    static constexpr int BeforeFirstBlockMs = 100;
    // The blocks of a script upload and of a raw send.
    static constexpr int TransferBlock = 2000;
    static constexpr int RawBlock = 4000;

    Uploader(SerialPort &port, QTcpSocket &socket, DeviceLink &link, RunControl &run,
             OperatorReports &reports, QObject *parent = nullptr);
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
    // The unit's last answer to a query, which the record keeps as its identity.
    void setUnitAnswer(const QByteArray &answer) { m_unitAnswer = answer; }
    const UploadState &state() const { return m_state; }

signals:
    // A transfer began or ended: the run control's transferGoing() says which.
    void transferChanged();
    // The terminal pane is held (no keys) from the data's start until the unit has had its
    // pause after it, unless the script leaves it free (_TL).
    void terminalHeld(bool held);
    // Where the upload stands, for a station's progress: the header went, a block of the data
    // went (the bytes so far), the wait for the unit's confirmation began.
    void progressed(UploadPhase phase, qint64 bytes, qint64 total);

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
    OperatorReports &m_reports;
    ProgressSink *m_progress = nullptr;
    UploadState m_state;
    QByteArray m_unitAnswer;
    // The bytes the transfer has sent so far.
    QCryptographicHash m_sentHash{QCryptographicHash::Sha256};
};
