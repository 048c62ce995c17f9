// Running a script: the file is read one byte at a time, each command line it holds is
// stored in the run's line table and executed at once, and the run stops at the end of the
// file, at _FI, at the first command that fails, or as soon as the cancel flag is set.
#include "app/TamrinForm.h"

#include "app/OperatorDialogs.h"
#include "app/TerminalPane.h"
#include "link/WaitCursor.h"
#include "link/Timing.h"
#include "script/ScriptLineReader.h"
#include "upload/NativeFile.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTcpSocket>
#include <QTimer>

void TTamrinForm::PickButtonClick()
{
    runChosenFile([this](const QString &) {
        read_ini();
        AdTerminal1->setFocus();
    });
}

// The operator picks a file; while 'work' runs with it the hourglass shows and the run holds
// the buttons, the keep-alive and typed keys, so that nothing else reaches the unit between
// commands or blocks.
void TTamrinForm::runChosenFile(const std::function<void(const QString &)> &work)
{
    const QString chosen = OperatorDialogs::current().openFile(
        this, QDir::currentPath(),
        QStringLiteral("Script files (*.sld)|*.sld|All files (*.*)|*.*"));
    if (chosen.isEmpty())
        return;
    startRunning();
    {
        WaitCursor hourglass;
        ClearScriptLines();
        script.fileName = chosen;
        setCancelFlag(0);
        work(chosen);
    }
    stopRunning();
}

void TTamrinForm::ClearScriptLines()
{
    script.lines.clear();
    script.currentLine = 0;
}

int TTamrinForm::read_ini()
{
    startRunning();
    const int result = readScriptFile();
    stopRunning();
    return result;
}

int TTamrinForm::readScriptFile()
{
    script.finish = false;
    show_status(QStringLiteral("Reading script file. Please wait...."));
    Timing::pump();

    QFile file;
    script.fileOpened = NativeFile::openForReading(file, QFile::encodeName(script.fileName));
    if (!script.fileOpened) {
        message_text =
            QStringLiteral("Error opening file ") + script.fileName + QStringLiteral(" for read.");
        showMessage(message_text);
        return endRun(0);
    }
    const bool ethernetRun = tcpConnected();
    ScriptLineReader reader;
    char c = '\0';
    while (cancelFlag() == 0) {
        const bool atEnd = !file.getChar(&c);
        const ScriptLineReader::Step step =
            atEnd ? ScriptLineReader::Step::EndOfFile : reader.feed(c);
        const bool lineDone = step == ScriptLineReader::Step::LineComplete ||
                              (step == ScriptLineReader::Step::EndOfFile && reader.finish());
        if (lineDone) {
            const LineOutcome outcome = runCommandLine(reader.completedLine(), reader.lineTooLong(),
                                                       reader.lineNumber(), ethernetRun);
            if (outcome == LineOutcome::Stop)
                return endRun(0);
            if (outcome == LineOutcome::Finish)
                break;
        }
        if (step == ScriptLineReader::Step::EndOfFile)
            break;
    }
    show_status(cancelFlag() != 0
                    ? QStringLiteral("Script file reading terminated by user/error(s).")
                    : QStringLiteral("SUCCESS. Reading script file complete"));
    return 1;
}

// A run that stops on an error leaves a blank status line; the failure's own message box has
// told the operator why. The buttons come back when the run ends.
int TTamrinForm::endRun(int result)
{
    show_status(QStringLiteral(" "));
    return result;
}

TTamrinForm::LineOutcome TTamrinForm::runCommandLine(const QByteArray &line, bool tooLong,
                                                     int fileLine, bool ethernetRun)
{
    if (tooLong) {
        message_text = QStringLiteral("Error! Line %1 of %2 is longer than %3 characters. "
                                      "Exiting script")
                           .arg(fileLine)
                           .arg(script.fileName)
                           .arg(ScriptLineReader::MaxLineLength);
        showMessage(message_text);
        return LineOutcome::Stop;
    }
    script.lines.append(line);
    script.currentLine = int(script.lines.size()) - 1;
    if (ExecuteScriptLine() == 0)
        return LineOutcome::Stop;
    // A run whose connection is gone stops after the line; if a failure already cancelled
    // it, that failure's message has said why.
    if (ethernetRun && !tcpConnected() && !runCancelled()) {
        showMessage(QStringLiteral("Exiting script"));
        return LineOutcome::Stop;
    }
    Timing::pump();
    return script.finish ? LineOutcome::Finish : LineOutcome::Continue;
}
