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

QString tooLongText(const char *what, const QByteArray &text, int limit)
{
    return QStringLiteral("Error! The %1 \"%2\" is longer than %3 characters. Cannot upload file.")
        .arg(QLatin1String(what), displayText(text))
        .arg(limit);
}

} // namespace

bool TTamrinForm::loadFile(const QByteArray &line)
{
    const std::optional<QByteArray> name = blankSeparatedArgument(line);
    if (!name)
        return true;
    if (!fits(*name, UploadState::MaxFileNameLength)) {
        showMessage(tooLongText("file name", *name, UploadState::MaxFileNameLength));
        return true;
    }
    upload.fileName = *name;
    QFile file;
    if (NativeFile::openForReading(file, *name)) {
        upload.fileStep = true;
        return true;
    }
    message_text = QStringLiteral("Error! Unable to open file ") + displayText(*name) +
                   QStringLiteral(". Cannot upload file.");
    showMessage(message_text);
    return true;
}

bool TTamrinForm::loadAddress(const QByteArray &line)
{
    if (!upload.fileStep)
        return true;
    upload.fileStep = false;
    const std::optional<QByteArray> address = blankSeparatedArgument(line);
    if (!address)
        return true;
    if (!fits(*address, UploadState::MaxAddressLength)) {
        showMessage(tooLongText("load address", *address, UploadState::MaxAddressLength));
        return true;
    }
    upload.loadAddress = *address;
    if (get_file_checksum() == 1)
        upload.addressStep = true;
    return true;
}

bool TTamrinForm::loadVersion(const QByteArray &line)
{
    if (!upload.addressStep)
        return true;
    upload.addressStep = false;
    const std::optional<QByteArray> version = blankSeparatedArgument(line);
    if (!version)
        return true;
    if (!fits(*version, UploadState::MaxVersionLength)) {
        showMessage(tooLongText("load version", *version, UploadState::MaxVersionLength));
        return true;
    }
    upload.loadVersion = upperCaseLetters(*version);
    if (upload.loadVersion == "DATE")
        get_date();
    upload.versionStep = true;
    return true;
}

bool TTamrinForm::loadData(const QByteArray &)
{
    Timing::pump();
    bool succeeded = true;
    if (upload.versionStep)
        succeeded = scriptUpload();
    else
        SendRawFile();
    Timing::pump();
    return succeeded;
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
