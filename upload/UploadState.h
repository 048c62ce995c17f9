// What the upload knows: the file, its address, version, size and checksum, the load chain
// that names them, the link an upload in flight goes over, and the settings a script gives
// (the pause after the data, the terminal lock). Uploader owns one UploadState; it lasts as
// long as the program, since a new script run does not reset it.
#pragma once

#include "link/LinkState.h"
#include "upload/LoadChain.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <array>
#include <optional>

// The file upload. It lasts as long as the program: a new script run does not reset it.
struct UploadState
{
    QByteArray fileName;
    // Exactly as the script wrote it; never read as a number.
    QByteArray loadAddress;
    // Upper-cased, or the file's date text.
    QByteArray loadVersion;
    quint16 checksum = 0;
    // The SHA-256 of the bytes measured, in lower-case hexadecimal.
    QByteArray sha256;
    qint64 fileSize = 0;
    // The _LF, _LA, _LV chain that _LD uploads.
    LoadChain chain;
    // Wait for the unit's prompt after the transfer (script uploads, not Send File).
    bool promptAfterUpload = false;
    // The sum of the bytes the transfer actually sent, checked against the header's.
    quint16 sentChecksum = 0;
    // For the upload's record: when it began, over which link, and the first message it
    // showed, which says why it failed.
    qint64 startedMs = 0;
    QDateTime startedAt;
    qint64 bytesSent = 0;
    QString linkText;
    QString failureText;
    // What the unit printed between the end of the data and its prompt.
    std::optional<QByteArray> unitSaid;
    // The unit's prompt confirmed the data, on the link that took it, before any cancel.
    bool delivered = false;
    // Pause after a transfer that was not cancelled.
    int postUploadPauseMs = 4000;
    // The terminal pane is disabled during a transfer only while this is the byte 0.
    char terminalLock = 1;
    // The link an upload in flight goes over (the run control knows whether one is): a
    // failing connection on it cancels the upload.
    LinkIdentity link;
    // The one buffer every block of every transfer is read into.
    std::array<char, 4000> block{};
};
