// Running a script: the file is read one byte at a time, each command line it holds is
// stored in the run's line table and executed at once, and the run stops at the end of the
// file, at _FI, at the first command that fails, or as soon as the cancel flag is set.
#include "script/ScriptRunner.h"

#include "base/NativeFile.h"
#include "base/OperatorReports.h"
#include "base/Timing.h"
#include "link/DeviceLink.h"
#include "link/RunControl.h"
#include "script/ScriptLineReader.h"

#include <QFile>

void ScriptRunner::ClearScriptLines()
{
    m_state.lines.clear();
    m_state.currentLine = 0;
}

int ScriptRunner::readScript()
{
    m_state.finish = false;
    m_reports.show_status(QStringLiteral("Reading script file. Please wait...."));
    Timing::pump();

    QFile file;
    m_state.fileOpened = NativeFile::openForReading(file, QFile::encodeName(m_state.fileName));
    if (!m_state.fileOpened) {
        m_reports.reportFailure(QStringLiteral("Error opening file ") + m_state.fileName +
                                QStringLiteral(" for read."));
        return endRun(0);
    }
    const bool ethernetRun = m_link.tcpConnected();
    ScriptLineReader reader;
    char c = '\0';
    while (!m_run.cancelled()) {
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
    m_reports.show_status(m_run.cancelled()
                              ? QStringLiteral("Script file reading terminated by user/error(s).")
                              : QStringLiteral("SUCCESS. Reading script file complete"));
    return 1;
}

// A run that stops on an error leaves a blank status line; the failure's own message box has
// told the operator why. The buttons come back when the run ends.
int ScriptRunner::endRun(int result)
{
    m_reports.show_status(QStringLiteral(" "));
    return result;
}

ScriptRunner::LineOutcome ScriptRunner::runCommandLine(const QByteArray &line, bool tooLong,
                                                       int fileLine, bool ethernetRun)
{
    if (tooLong) {
        m_reports.reportFailure(QStringLiteral("Error! Line %1 of %2 is longer than %3 characters. "
                                               "Exiting script")
                                    .arg(fileLine)
                                    .arg(m_state.fileName)
                                    .arg(ScriptLineReader::MaxLineLength));
        return LineOutcome::Stop;
    }
    m_state.lines.append(line);
    m_state.currentLine = int(m_state.lines.size()) - 1;
    emit lineStarted(fileLine);
    if (ExecuteScriptLine() == 0)
        return LineOutcome::Stop;
    // A run whose connection is gone stops after the line; if a failure already cancelled
    // it, that failure's message has said why.
    if (ethernetRun && !m_link.tcpConnected() && !m_run.cancelled()) {
        m_reports.showMessage(QStringLiteral("Exiting script"));
        return LineOutcome::Stop;
    }
    Timing::pump();
    return m_state.finish ? LineOutcome::Finish : LineOutcome::Continue;
}
