// The load commands of a script, a chain in which each step is due only after the one before
// it: _LF names the file, _LA gives its load address and measures it, _LV gives its version
// (or its date), and _LD uploads it with a header, or sends it raw when the chain is not
// complete. The chain survives the end of a run.
#include "app/TamrinForm.h"

#include "link/Timing.h"
#include "script/ScriptSyntax.h"
#include "upload/FileMeasure.h"
#include "upload/NativeFile.h"

#include <QFile>

using namespace ScriptSyntax;

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

bool TTamrinForm::loadFile(const QByteArray &line)
{
    const std::optional<QByteArray> name = blankSeparatedArgument(line);
    if (!name)
        return true;
    if (!fits(*name, HeaderFields::MaxFileNameLength))
        return refuseChainStep(tooLongText("file name", *name, HeaderFields::MaxFileNameLength));
    upload.fileName = *name;
    QFile file;
    if (!NativeFile::openForReading(file, *name))
        return refuseChainStep(QStringLiteral("Error! Unable to open file ") + displayText(*name) +
                               QStringLiteral(". Cannot upload file."));
    upload.chain.fileNamed();
    return true;
}

bool TTamrinForm::loadAddress(const QByteArray &line)
{
    if (!upload.chain.takeAddressStep())
        return true;
    const std::optional<QByteArray> address = blankSeparatedArgument(line);
    if (!address)
        return true;
    if (!fits(*address, HeaderFields::MaxAddressLength))
        return refuseChainStep(
            tooLongText("load address", *address, HeaderFields::MaxAddressLength));
    upload.loadAddress = *address;
    if (!fitsTheHeader(upload.fileName))
        return refuseChainStep(QStringLiteral("Error! File ") + displayText(upload.fileName) +
                               QStringLiteral(" is 2 GiB or larger: the upload header cannot "
                                              "describe its size. Cannot upload file."));
    // The measure has told the operator why it failed.
    if (get_file_checksum() != 1) {
        upload.chain.refuse();
        return true;
    }
    upload.chain.addressTaken();
    return true;
}

bool TTamrinForm::loadVersion(const QByteArray &line)
{
    if (!upload.chain.takeVersionStep())
        return true;
    const std::optional<QByteArray> version = blankSeparatedArgument(line);
    if (!version)
        return true;
    if (!fits(*version, HeaderFields::MaxVersionLength))
        return refuseChainStep(
            tooLongText("load version", *version, HeaderFields::MaxVersionLength));
    upload.loadVersion = upperCaseLetters(*version);
    if (upload.loadVersion == "DATE")
        get_date();
    upload.chain.versionTaken();
    return true;
}

// Without a complete chain the file goes raw, as a script that never started one asks; but
// after a refused step the script meant a header, and the file must not go without it.
bool TTamrinForm::loadData(const QByteArray &)
{
    Timing::pump();
    startUploadRecord();
    const bool withHeader = upload.chain.complete();
    bool succeeded = true;
    if (upload.chain.upload() == LoadChain::Upload::Refused) {
        showMessage(QStringLiteral("Error! The upload chain (_LF, _LA, _LV) for ") +
                    displayText(upload.fileName) +
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
bool TTamrinForm::refuseChainStep(const QString &text)
{
    message_text = text;
    showMessage(message_text);
    upload.chain.refuse();
    return true;
}

// A file that cannot be read to its end counts as one that cannot be opened.
int TTamrinForm::get_file_checksum()
{
    const std::optional<FileMeasure> measure = measureFile(upload.fileName);
    if (!measure) {
        message_text = QStringLiteral("Error opening file ") + displayText(upload.fileName) +
                       QStringLiteral(". Unable to get file checksum");
        showMessage(message_text);
        return 0;
    }
    upload.checksum = measure->checksum;
    upload.fileSize = measure->size;
    return 1;
}

int TTamrinForm::get_date()
{
    QFile file;
    const QDateTime written = NativeFile::openForReading(file, upload.fileName)
                                  ? file.fileTime(QFileDevice::FileModificationTime)
                                  : QDateTime();
    if (!written.isValid()) {
        message_text = QStringLiteral("Error opening file ") + displayText(upload.fileName);
        showMessage(message_text);
        return 0;
    }
    upload.loadVersion = fileDateText(written.toLocalTime());
    return 1;
}
