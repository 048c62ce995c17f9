// The script commands, one row each: the one list the run and the check both read. A row
// gives a command's keyword, how its line is read (its argument form and the escapes its text
// knows), its step of the load chain, the run's handler (a ScriptRunner member), the check's
// handler (a ScriptChecker member) and what the check says the command does.
//
// A file that needs the table defines SCRIPT_COMMAND to pick the columns it wants, includes
// this file and undefines it again: ScriptSyntax.cpp takes the forms, escapes and chain steps,
// ScriptCommands.cpp the run's handlers, ScriptChecker.cpp the check's. A keyword is therefore
// written once, and no command can be known to the run but not to the check. This file is
// meant to be included more than once: it has no include guard.
//
// SCRIPT_COMMAND(keyword, form, escapes, chain step, run's handler, check's handler, says)
// In "says", %1 stands for the command's text or value.

// clang-format off
SCRIPT_COMMAND("_SC", Text, CaretMAsCarriageReturn, None, sendCommand, checkSend,
               "sends the text and a carriage return, without waiting")
SCRIPT_COMMAND("_SR", Text, CaretMAsCarriageReturn, None, sendCommand, checkSend,
               "sends the text and a carriage return, without waiting")
SCRIPT_COMMAND("_ST", Text, CaretMAsCarriageReturn, None, sendCommand, checkSendAndRestart,
               "sends the text and a carriage return, then drops the link, waits %1 s and "
               "opens the port again, which it checks with a carriage return")
SCRIPT_COMMAND("_TC", Text, CaretMAsCarriageReturn, None, loaderModeCheck, checkLoaderMode,
               "makes sure the unit is in its loader mode: sends the text and waits %1 s for "
               "the loader prompt")
SCRIPT_COMMAND("_DM", Text, CaretMAsCarriageReturn, None, showScriptMessage, checkMessage,
               "shows the message %1")
SCRIPT_COMMAND("_DQ", Text, CaretMAsCarriageReturn, None, askOperator, checkQuestion,
               "asks the operator %1, OK or Cancel (an unattended station answers Cancel)")
SCRIPT_COMMAND("_QC", Text, CaretMAsBlank, None, queryUnit, checkQuery,
               "asks the unit and keeps its answer, up to the prompt (over TCP the line end "
               "is \"\\r\\n\")")
SCRIPT_COMMAND("_PC", Text, NoEscapes, None, setLoaderPrompt, checkLoaderPrompt,
               "the loader prompt becomes %1")
SCRIPT_COMMAND("_LC", Text, NoEscapes, None, setUploadKeyword, checkUploadKeyword,
               "the upload header's keyword becomes %1")
SCRIPT_COMMAND("_DY", BlankSeparated, NoEscapes, None, pause, checkPause,
               "pauses %1 ms")
SCRIPT_COMMAND("_LP", BlankSeparated, NoEscapes, None, setPostUploadPause, checkPostUploadPause,
               "the pause after an upload becomes %1 s")
SCRIPT_COMMAND("_LF", BlankSeparated, NoEscapes, NamesFile, loadFile, checkLoadFile,
               "names the file %1")
SCRIPT_COMMAND("_LA", BlankSeparated, NoEscapes, Address, loadAddress, checkLoadAddress,
               "the load address is %1")
SCRIPT_COMMAND("_LV", BlankSeparated, NoEscapes, Version, loadVersion, checkLoadVersion,
               "the load version is %1")
SCRIPT_COMMAND("_LT", BlankSeparated, NoEscapes, None, setTerminalLock, checkTerminalLock,
               "the terminal pane %1 during uploads")
SCRIPT_COMMAND("_AG", ValueAndTail, BackslashR, None, versionTest, checkVersionTest,
               "the answer's major version is %1 or more")
SCRIPT_COMMAND("_AL", ValueAndTail, BackslashR, None, versionTest, checkVersionTest,
               "the answer's major version is less than %1")
SCRIPT_COMMAND("_IG", ValueAndTail, BackslashR, None, versionTest, checkVersionTest,
               "the answer's minor version is %1 or more")
SCRIPT_COMMAND("_IL", ValueAndTail, BackslashR, None, versionTest, checkVersionTest,
               "the answer's minor version is less than %1")
SCRIPT_COMMAND("_CE", ValueAndTail, BackslashRN, None, answerComparison, checkAnswerComparison,
               "the answer is exactly %1")
SCRIPT_COMMAND("_CS", ValueAndTail, BackslashRN, None, answerComparison, checkAnswerComparison,
               "the answer holds %1")
SCRIPT_COMMAND("_CN", ValueAndTail, BackslashRN, None, answerComparison, checkAnswerComparison,
               "the answer does not hold %1")
SCRIPT_COMMAND("_DO", Tail, NoEscapes, None, answerBranch, checkAnswerBranch,
               "the last _DQ was answered OK")
SCRIPT_COMMAND("_DC", Tail, NoEscapes, None, answerBranch, checkAnswerBranch,
               "the last _DQ was answered Cancel")
SCRIPT_COMMAND("_WP", None, NoEscapes, None, waitForPrompt, checkPromptWait,
               "waits until the unit shows its prompt, asking again and again without limit")
SCRIPT_COMMAND("_FI", None, NoEscapes, None, finishRun, checkFinish,
               "ends the run with success: nothing after this line is read")
SCRIPT_COMMAND("_LD", None, NoEscapes, Upload, loadData, checkLoadData,
               "uploads %1")
// clang-format on
