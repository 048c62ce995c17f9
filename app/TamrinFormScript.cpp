// The window's script run: the script button and the file dialog, the run's hold on the
// buttons, the script's own message and question (the window's OperatorReports), and a
// station's progress told as each line of the script starts.
#include "app/TamrinForm.h"

#include "app/ClientSocketForm.h"
#include "app/TerminalPane.h"
#include "base/OperatorDialogs.h"
#include "base/WaitCursor.h"

#include <QDir>

void TTamrinForm::attachScriptRunner()
{
    connect(m_script.get(), &ScriptRunner::lineStarted, this,
            [this](int line) { tellProgress(QStringLiteral("line %1").arg(line)); });
}

void TTamrinForm::showScriptMessage(const QString &text)
{
    ShowMessage(this, text);
}

bool TTamrinForm::askOperator(const QString &text)
{
    return AskOkCancel(this, QStringLiteral("Tamrin - Query"), text);
}

void TTamrinForm::PickButtonClick()
{
    if (!operatorMay())
        return;
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
        m_script->ClearScriptLines();
        m_script->setFileName(chosen);
        work(chosen);
    }
    stopRunning();
}

int TTamrinForm::read_ini()
{
    startRunning();
    const int result = m_script->readScript();
    stopRunning();
    return result;
}

void TTamrinForm::ClearScriptLines()
{
    m_script->ClearScriptLines();
}

