// ScriptRunner: running a script. The file is read one byte at a time through the script line
// reader, each command line is stored in the run's line table and executed at once through the
// command table, and the run stops at the end of the file, at _FI, at the first command that
// fails, or as soon as the cancel flag is set.
//
// It owns the run's state (the file, the line table, the finish flag, the run's first error)
// and the query state (the last _QC answer, the last _DQ answer), which last from run to run.
// It is handed DeviceLink, the port selection and the Ethernet link (which _ST restarts), the
// Uploader (the load commands), the run control and the operator's reports, which carry the
// script's own message and question. Each command line that starts is told as a signal.
#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

class DeviceLink;
class EthernetLink;
class OperatorReports;
class PortSelector;
class RunControl;
class Uploader;

// One script run: the file, the command lines executed so far and where the run stands.
struct ScriptRun
{
    QString fileName;
    // Every command line of the run, in the order executed; a conditional tail that runs takes
    // one more row. Kept until the next run from the button clears it.
    QList<QByteArray> lines;
    int currentLine = 0;
    // Set by _FI: the run ends, with success, after the current line.
    bool finish = false;
    // The first message box of the program's own shown during the run (the script's own _DM
    // and _DQ texts are not): the run did not succeed, and this says why.
    QString firstError;
    // The script file could be opened: the run really began.
    bool fileOpened = false;
};

// What the last query of the unit and the last question to the operator answered. Kept from
// one run to the next until the program ends.
struct QueryState
{
    // The reply to the last _QC with its carriage returns and line feeds removed.
    QByteArray lastAnswer;
    bool asked = false;
    bool accepted = false;
};

// What a script run is handed besides the run control and the operator's reports.
struct ScriptLinks
{
    DeviceLink &link;
    PortSelector &ports;
    EthernetLink &ethernet;
    Uploader &uploader;
};

class ScriptRunner : public QObject
{
    Q_OBJECT
public:
    // How long _TC waits for the loader prompt after each thing it sends, in 55 ms ticks.
    static constexpr int LoaderCheckTicks = 135;
    // The pauses before _TC's second, third and fourth carriage return.
    static constexpr int LoaderRetryPausesMs[] = {500, 2500, 2000};
    // How long _ST leaves the link down before it connects again.
    static constexpr int RestartPauseMs = 4500;
    // The polls of 1 ms a _QC waits for its answer.
    static constexpr int QueryPolls = 2000;
    // How many bytes of a _QC's answer must come before a prompt ends it: fewer for a version
    // query, whose answer is short.
    static int queryPromptGuard(const QByteArray &query)
    {
        return query.startsWith("VER") ? 3 : 10;
    }

    ScriptRunner(const ScriptLinks &links, RunControl &run, OperatorReports &reports,
                 QObject *parent = nullptr);

    // Reads and runs the script named by fileName(): 1 when the run ended at the end of the
    // file, at _FI or by cancellation; 0 when the file cannot be opened, a command failed, or
    // the Ethernet connection was lost.
    int readScript();
    void ClearScriptLines();
    int ExecuteScriptLine();

    QString fileName() const { return m_state.fileName; }
    void setFileName(const QString &fileName) { m_state.fileName = fileName; }
    const QList<QByteArray> &lines() const { return m_state.lines; }
    bool fileOpened() const { return m_state.fileOpened; }
    QString firstError() const { return m_state.firstError; }
    // A message box of the program's own during a run: the first one says why it failed.
    void noteError(const QString &text);
    void forgetErrors() { m_state.firstError.clear(); }
    const QueryState &query() const { return m_query; }

    // Script commands: each takes its command line and returns false when the run must stop.
    bool sendCommand(const QByteArray &line);
    bool loaderModeCheck(const QByteArray &line);
    bool waitForPrompt(const QByteArray &line);
    bool setLoaderPrompt(const QByteArray &line);
    bool pause(const QByteArray &line);
    bool finishRun(const QByteArray &line);
    bool setUploadKeyword(const QByteArray &line);
    bool setPostUploadPause(const QByteArray &line);
    bool setTerminalLock(const QByteArray &line);
    bool loadFile(const QByteArray &line);
    bool loadAddress(const QByteArray &line);
    bool loadVersion(const QByteArray &line);
    bool loadData(const QByteArray &line);
    bool queryUnit(const QByteArray &line);
    bool versionTest(const QByteArray &line);
    bool answerComparison(const QByteArray &line);
    bool showScriptMessage(const QByteArray &line);
    bool askOperator(const QByteArray &line);
    bool answerBranch(const QByteArray &line);

signals:
    // A command line of the file is about to run (its line number in the file).
    void lineStarted(int fileLine);

private:
    enum class LineOutcome
    {
        Continue,
        Stop,
        Finish
    };
    LineOutcome runCommandLine(const QByteArray &line, bool tooLong, int fileLine,
                               bool ethernetRun);
    int endRun(int result);
    bool restartLink();
    bool reachLoaderPrompt(const QByteArray &text);
    bool runTail(const QByteArray &tail);
    bool runConditionalTail(const QByteArray &tail, const QString &missingTailText);

    DeviceLink &m_link;
    PortSelector &m_ports;
    EthernetLink &m_ethernet;
    Uploader &m_uploader;
    RunControl &m_run;
    OperatorReports &m_reports;
    ScriptRun m_state;
    QueryState m_query;
};
