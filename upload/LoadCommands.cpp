// The load commands of a script, a chain in which each step is due only after the one before
// it: _LF names the file, _LA gives its load address and measures it, _LV gives its version
// (or its date), and _LD uploads it with a header, or sends it raw when the chain is not
// complete. The chain survives the end of a run.
#include "upload/Uploader.h"

#include "base/ByteText.h"
#include "base/NativeFile.h"
#include "base/OperatorReports.h"
#include "base/Timing.h"
#include "upload/FileMeasure.h"

#include <QFile>

using namespace ByteText;

namespace {

// Texts that do not fit their field are refused whole, never cut.
bool fits(const QByteArray &text, int limit)
{
    return text.size() <= limit;
}

// The header's size field is a signed 32-bit number.
bool fitsTheHeader(const QByteArray &fileName)
{
    QFile file;
    return !NativeFile::openForReading(file, fileName) || file.size() <= INT32_MAX;
}

QString tooLongText(const char *what, const QByteArray &text, int limit)
{
    // All at once: the text itself may hold "%3".
    return QStringLiteral("Error! The %1 \"%2\" is longer than %3 characters. Cannot upload file.")
        .arg(QLatin1String(what), displayText(text), QString::number(limit));
}

} // namespace

Uploader::Uploader(SerialPort &port, QTcpSocket &socket, DeviceLink &link, RunControl &run,
                   OperatorReports &reports, QObject *parent)
    : QObject(parent), m_port(port), m_socket(socket), m_link(link), m_run(run), m_reports(reports)
{
}

void Uploader::noteMessage(const QString &text)
{
    if (m_state.failureText.isEmpty())
        m_state.failureText = text;
}

bool Uploader::loadFile(const std::optional<QByteArray> &name)
{
    if (!name)
        return true;
    if (!fits(*name, HeaderFields::MaxFileNameLength))
        return refuseChainStep(tooLongText("file name", *name, HeaderFields::MaxFileNameLength));
    m_state.fileName = *name;
    QFile file;
    if (!NativeFile::openForReading(file, *name))
        return refuseChainStep(QStringLiteral("Error! Unable to open file ") + displayText(*name) +
                               QStringLiteral(". Cannot upload file."));
    m_state.chain.fileNamed();
    return true;
}

bool Uploader::loadAddress(const std::optional<QByteArray> &address)
{
    if (!m_state.chain.takeAddressStep())
        return true;
    if (!address)
        return true;
    if (!fits(*address, HeaderFields::MaxAddressLength))
        return refuseChainStep(
            tooLongText("load address", *address, HeaderFields::MaxAddressLength));
    m_state.loadAddress = *address;
    if (!fitsTheHeader(m_state.fileName))
        return refuseChainStep(QStringLiteral("Error! File ") + displayText(m_state.fileName) +
                               QStringLiteral(" is 2 GiB or larger: the upload header cannot "
                                              "describe its size. Cannot upload file."));
    // The measure has told the operator why it failed.
    if (get_file_checksum() != 1) {
        m_state.chain.refuse();
        return true;
    }
    m_state.chain.addressTaken();
    return true;
}

bool Uploader::loadVersion(const std::optional<QByteArray> &version)
{
    if (!m_state.chain.takeVersionStep())
        return true;
    if (!version)
        return true;
    if (!fits(*version, HeaderFields::MaxVersionLength))
        return refuseChainStep(
            tooLongText("load version", *version, HeaderFields::MaxVersionLength));
    m_state.loadVersion = upperCaseLetters(*version);
    if (m_state.loadVersion == "DATE")
        get_date();
    m_state.chain.versionTaken();
    return true;
}

// Without a complete chain the file goes raw, as a script that never started one asks; but
// after a refused step the script meant a header, and the file must not go without it.
bool Uploader::loadData()
{
    Timing::pump();
    startUploadRecord();
    const bool withHeader = m_state.chain.complete();
    bool succeeded = true;
    if (m_state.chain.upload() == LoadChain::Upload::Refused) {
        m_reports.showMessage(
            QStringLiteral("Error! The upload chain (_LF, _LA, _LV) for ") +
            displayText(m_state.fileName) +
            QStringLiteral(" is incomplete: a step was refused. Exiting script."));
        succeeded = false;
    } else if (withHeader) {
        succeeded = scriptUpload();
    } else {
        SendRawFile();
    }
    recordUpload(succeeded, withHeader);
    Timing::pump();
    return succeeded;
}

// A refused step of the chain: the operator is told and the run goes on without it.
bool Uploader::refuseChainStep(const QString &text)
{
    m_reports.reportFailure(text);
    m_state.chain.refuse();
    return true;
}

// A file that cannot be read to its end counts as one that cannot be opened.
int Uploader::get_file_checksum()
{
    const std::optional<FileMeasure> measure = measureFile(m_state.fileName);
    if (!measure) {
        m_reports.reportFailure(QStringLiteral("Error opening file ") +
                                displayText(m_state.fileName) +
                                QStringLiteral(". Unable to get file checksum"));
        return 0;
    }
    m_state.checksum = measure->checksum;
    m_state.sha256 = measure->sha256;
    m_state.fileSize = measure->size;
    return 1;
}

int Uploader::get_date()
{
    QFile file;
    const QDateTime written = NativeFile::openForReading(file, m_state.fileName)
                                  ? file.fileTime(QFileDevice::FileModificationTime)
                                  : QDateTime();
    if (!written.isValid()) {
        m_reports.reportFailure(QStringLiteral("Error opening file ") +
                                displayText(m_state.fileName));
        return 0;
    }
    m_state.loadVersion = fileDateText(written.toLocalTime());
    return 1;
}
