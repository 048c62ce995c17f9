// The script check: each finding on a short script, the demo's script clean, its explanation
// whole, and, script by script, the bytes the explanation promises compared with what a real
// automatic run sends to the simulated unit, and every line it says does nothing blanked
// without a change on the wire.
#include "OpenWatch.h"
#include "UnitSim.h"

#include "app/ScriptCheckCommand.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {

const QString ToolsFolder = QStringLiteral(TAMRIN_TEST_DATA "/../../tools/");

QByteArray toolsFile(const QString &name)
{
    QFile file(ToolsFolder + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray demoFile(const QString &name)
{
    return toolsFile(QStringLiteral("demo/") + name);
}

// The bytes a "sends" line of the explanation stands for: its quoted strings unescaped, and
// "<N bytes of FILE>" as the file's bytes.
QByteArray sentBytes(const QString &sends, const QString &folder)
{
    static const QRegularExpression token(
        QStringLiteral("\"((?:[^\"\\\\]|\\\\.)*)\"|<\\d+ bytes of ([^>]+)>"));
    QByteArray bytes;
    for (const QRegularExpressionMatch &match : token.globalMatch(sends)) {
        if (!match.captured(2).isEmpty()) {
            QFile file(folder + QLatin1Char('/') + match.captured(2));
            bytes += file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("?");
            continue;
        }
        const QString quoted = match.captured(1);
        for (qsizetype i = 0; i < quoted.size(); ++i) {
            const QChar c = quoted.at(i);
            if (c != QLatin1Char('\\')) {
                bytes += char(c.unicode());
                continue;
            }
            const QChar escaped = quoted.at(++i);
            if (escaped == QLatin1Char('x')) {
                bytes += char(quoted.mid(i + 1, 2).toInt(nullptr, 16));
                i += 2;
            } else {
                bytes += escaped == QLatin1Char('r')   ? '\r'
                         : escaped == QLatin1Char('n') ? '\n'
                         : escaped == QLatin1Char('t') ? '\t'
                                                       : char(escaped.unicode());
            }
        }
    }
    return bytes;
}

// Whether a label such as "if the tail of line 3 ran and the tail of line 5 did not run, or if
// ..." holds when the tails of the lines in 'taken' run and no others.
bool labelHolds(const QString &label, const QList<int> &taken)
{
    static const QRegularExpression decision(
        QStringLiteral(R"(the tail (?:within the tail )?of line (\d+) (ran|did not run))"));
    for (const QString &alternative : label.split(QStringLiteral(", or "))) {
        bool holds = true;
        for (const QRegularExpressionMatch &match : decision.globalMatch(alternative))
            holds = holds && taken.contains(match.captured(1).toInt()) ==
                                 (match.captured(2) == QLatin1String("ran"));
        if (holds)
            return true;
    }
    return false;
}

struct Explained
{
    QByteArray bytes;
    // The lines explained as doing nothing, whatever course the run takes.
    QList<int> idleLines;
};

// What an explanation of run.sld promises the wire when the conditions of the lines in 'taken'
// hold and no others: a tail runs only under a condition that holds, a telling labelled with
// tails counts only when the label holds, an "if ...: sends" line only when its line is taken,
// and nothing counts after a line that ends the run.
Explained explained(const QString &out, const QList<int> &taken, const QString &folder)
{
    static const QRegularExpression note(QStringLiteral(R"(^run\.sld:(\d+): ( *)(.*)$)"));
    static const QRegularExpression sends(QStringLiteral(R"(^(?:if [^:]*: )?sends (.*)$)"));
    static const QRegularExpression head(QStringLiteral(R"(^(_\S*?)(?:, (if .*?))?: (.*)$)"));
    Explained result;
    QList<std::pair<qsizetype, bool>> enclosing; // (indent, whether what it encloses runs)
    int endedAt = 0;
    for (const QString &text : out.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = note.match(text);
        if (!match.hasMatch() || match.captured(3).startsWith(QLatin1String("warning: ")))
            continue;
        const int line = match.captured(1).toInt();
        const qsizetype indent = match.captured(2).size();
        const QString body = match.captured(3);
        while (!enclosing.isEmpty() && enclosing.last().first >= indent)
            enclosing.removeLast();
        const bool runs = (endedAt == 0 || line <= endedAt) &&
                          std::all_of(enclosing.begin(), enclosing.end(),
                                      [](const auto &outer) { return outer.second; });
        if (const QRegularExpressionMatch sent = sends.match(body); sent.hasMatch()) {
            if (runs && (!body.startsWith(QLatin1String("if ")) || taken.contains(line)))
                result.bytes += sentBytes(sent.captured(1), folder);
            continue;
        }
        const QRegularExpressionMatch command = head.match(body);
        if (!command.hasMatch())
            continue;
        const QString label = command.captured(2);
        const QString what = command.captured(3);
        const bool here = runs && (label.isEmpty() || labelHolds(label, taken));
        if (indent == 0 && label.isEmpty() && what.startsWith(QLatin1String("does nothing")))
            result.idleLines.append(line);
        const bool condition =
            what.startsWith(QLatin1String("when ")) && what.endsWith(QLatin1String("runs:"));
        enclosing.append({indent, here && (!condition || taken.contains(line))});
        if (here && (what.startsWith(QLatin1String("ends the run")) ||
                     what.startsWith(QLatin1String("stops the run"))))
            endedAt = line;
    }
    return result;
}

} // namespace

class tst_ScriptCheck : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void findings_data();
    void findings();
    void explainsTheDemo();
    void unreadableScript();
    void explainedBytesAreTheRunsBytes_data();
    void explainedBytesAreTheRunsBytes();

private:
    void addCourseRows();
    void addSeemingRows();
    QByteArray wireOfRun(const QByteArray &script);
    QByteArray wireSoFar() const;

    void writeFile(const QString &name, const QByteArray &content);
    int check(const QStringList &options, QString &out);

    std::unique_ptr<QTemporaryDir> m_folder;
    QString m_previousFolder;
    std::unique_ptr<UnitSim> m_unit;
    int m_runs = 0;
};

void tst_ScriptCheck::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    m_previousFolder = QDir::currentPath();
    QDir::setCurrent(m_folder->path());
    writeFile(QStringLiteral("firmware.bin"), QByteArray(5000, 'u'));
    // A FIFO that must never be opened, and a file too large for a header, read by nothing.
    QCOMPARE(
        ::mkfifo(QFile::encodeName(m_folder->filePath(QStringLiteral("fifo"))).constData(), 0600),
        0);
    writeFile(QStringLiteral("big.bin"), {});
    QVERIFY(QFile::resize(m_folder->filePath(QStringLiteral("big.bin")), qint64(8) << 30));
    qunsetenv("TAMRIN_RUN_TIMEOUT");
}

void tst_ScriptCheck::cleanup()
{
    m_unit.reset();
    QDir::setCurrent(m_previousFolder);
    m_folder.reset();
}

void tst_ScriptCheck::writeFile(const QString &name, const QByteArray &content)
{
    QFile file(m_folder->filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

int tst_ScriptCheck::check(const QStringList &options, QString &out)
{
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    const int status = ScriptCheckCommand::run(QStringList{QStringLiteral("--check")} + options,
                                               outStream, errStream);
    out += err;
    return status;
}

// Rows of findings whose scripts run with Tamrin's default settings and end with status 1.
static void findingRow(const char *name, const QByteArray &script, const QStringList &expected)
{
    QTest::newRow(name) << script << false << QByteArray() << expected << 1;
}

void tst_ScriptCheck::findings_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<bool>("demoSettings"); // the demo's settings: an automatic run of demo.sld
    QTest::addColumn<QByteArray>("runTimeout");
    QTest::addColumn<QStringList>("expected"); // "LINE: TEXT"; FOLDER is the run folder
    QTest::addColumn<int>("status");

    const QString noEffect = QStringLiteral(": the line does nothing (write %1)");
    QTest::newRow("the demo's script")
        << demoFile(QStringLiteral("demo.sld")) << true << QByteArray("100") << QStringList() << 0;
    QTest::newRow("the package's example script")
        << toolsFile(QStringLiteral("package/examples/first.sld")) << false << QByteArray()
        << QStringList() << 0;
    QTest::newRow("_WP in an automatic run without a limit")
        << QByteArray("_WP\n") << true << QByteArray()
        << QStringList{"1: _WP waits without limit, and the settings run this script "
                       "automatically with no time limit: set TAMRIN_RUN_TIMEOUT (seconds) on the "
                       "station"}
        << 1;
    const auto row = findingRow;
    row("small letters", "_sc \"VER\"\n",
        {"1: _sc is no command: the line does nothing (did you mean _SC?)"});
    row("no double quote", "; text\n_SC VER\n",
        {"2: _SC has no double quote" + noEffect.arg("_SC \"TEXT\"")});
    row("a blank after the closing quote", "_SC \"VER\" \n",
        {"1: the line does not end with its closing double quote: its last byte is dropped "
         "whatever it is, so the text is \"VER\\\"\""});
    row("a tab for the blank", "_LF\tfirmware.bin\n",
        {"1: a tab follows _LF where a blank is needed" + noEffect.arg("_LF FILE")});
    row("a value without quotes", "_CE 2.08 _FI\n",
        {"1: _CE has no double quote" + noEffect.arg("_CE \"VALUE\" _COMMAND")});
    row("a value without its second quote", "_CS \"2.08 _FI\n",
        {"1: _CS has no second double quote" + noEffect.arg("_CS \"VALUE\" _COMMAND")});
    row("a tail without its underscore", "_QC \"VER\"\n_CE \"2.08\" FI\n",
        {"2: the tail \"FI\" of _CE does nothing: it does not begin with an underscore"});
    row("a tab before the tail", "_QC \"VER\"\n_AG \"2\"\t_FI\n",
        {"2: the tail \"\\t_FI\" of _AG does nothing: a tab stands before it where a blank is "
         "needed"});
    row("no tail", "_QC \"VER\"\n_CE \"2.08\"\n",
        {"2: _CE has no command after its condition: when the condition holds, the run shows "
         "\"Error! No line found after successful _CE\""});
    row("_DC with a tab", "_DC\t_FI\n",
        {"1: a tab follows _DC where a blank is needed" + noEffect.arg("_DC _COMMAND")});
    row("prose", "Set the_address first\n",
        {"1: text before the underscore is skipped, so \"_address first\" is read as a command "
         "line, and _ad is no command: write prose on a comment line (';' first)"});
    row("_LA with no _LF", "_LA 80000\n",
        {"1: _LA with no _LF before it (since the last _LA): the address step is not due, so "
         "the line does nothing"});
    row("_LV before _LA, then _LD", "_LF firmware.bin\n_LV V1\n_LD\n",
        {"2: _LV with no _LA before it (since the last _LV): the version step is not due, so "
         "the line does nothing",
         "3: _LD without a complete load chain (_LF, _LA, _LV) before it: it sends firmware.bin "
         "raw, without a header"});
    row("_LD with no _LF", "_LD\n",
        {"1: _LD with no _LF before it: there is no file to upload, so the run shows \"Error "
         "opening .\" and fails"});
    row("a file that is not there", "_LF nothere.bin\n_LA 1\n_LV 1\n_LD\n",
        {"1: there is no file nothere.bin in FOLDER, the folder the check takes the run to start "
         "in (--folder sets it): _LF will refuse it, and the _LD after it stops the run"});
    row("a folder", "_LF .\n",
        {"1: . is no regular file: _LF will refuse it, and the _LD after it stops the run"});
    row("an address too long", "_LF firmware.bin\n_LA " + QByteArray(50, '8') + "\n_LV 1\n",
        {"2: the load address is longer than 49 characters: _LA will refuse it, and the _LD "
         "after it stops the run"});
    row("a version too long", "_LF firmware.bin\n_LA 0\n_LV " + QByteArray(90, 'V') + "\n",
        {"3: the load version is longer than 89 characters: _LV will refuse it, and the _LD "
         "after it stops the run"});
    row("a line over 199 characters", "\n_SC \"" + QByteArray(200, 'x') + "\"\n",
        {"2: the command line is longer than 199 characters: the run stops here with an error"});
    row("301 command lines", "_DQ \"?\"\n" + QByteArray("_DY 0\n").repeated(298) + "_DO _FI\n",
        {"300: command line 301 (a conditional tail counts as one more): a script has room for "
         "300; Tamrin runs the rest, but split the script to keep within the limit"});
    row("carriage-return-only line ends", "_SC \"A\"\r_SC \"B\"\r",
        {"1: a carriage return with no line feed after it: a line ends only at a line feed, so "
         "what follows is read as part of this line (a file with carriage-return-only line ends "
         "is one long line)"});
    row("bytes after a Ctrl-Z", QByteArray("_SC \"A\"\n\x1a_SC \"B\"\n"),
        {"2: a Ctrl-Z (byte 26) ends the script here: the 8 bytes after it are never read"});
    row("a NUL byte", QByteArray("_SC \"A\0B\"\n", 10),
        {"1: a NUL byte (byte 0): no text file holds one; the run reads it as an ordinary "
         "character and may send it to the unit"});
    row("\\r in _SC, ^M in _CE", "_SC \"A\\r\"\n_QC \"VER\"\n_CE \"B^M\" _FI\n",
        {"1: \\r is no escape in _SC: it stays two characters (_SC knows only ^M, a carriage "
         "return)",
         "3: ^M is no escape in _CE: it stays two characters (_CE knows \\r and \\n)"});
    row("_DY and _LP without a number", "_DY x\n_LP s\n",
        {"1: _DY has no number: it pauses only 1 ms",
         "2: _LP has no number: the pause after an upload stays as it is"});
    row("_LT 0", "_LT 0\n",
        {"1: _LT 0 stores the character 0, which keeps the terminal pane usable during uploads: "
         "only _LT followed by blanks alone disables it"});
    addCourseRows();
    addSeemingRows();
}

// The load chain and the run's end, followed through conditional tails.
void tst_ScriptCheck::addCourseRows()
{
    const auto row = findingRow;
    const QString rawSend = QStringLiteral("_LD without a complete load chain (_LF, _LA, _LV) "
                                           "before it: it sends firmware.bin raw, without a "
                                           "header");
    row("a chain step in a tail that never runs", "_LF firmware.bin\n_LA 100\n_DO _LV V1\n_LD\n",
        {"3: _DO with no _DQ before it in the script: its tail runs only on an answer left by an "
         "earlier run, never in an automatic run (write _DQ \"QUESTION\" before it)",
         "4: " + rawSend});
    row("a chain complete only if a tail runs",
        "_QC \"VER\"\n_LF firmware.bin\n_LA 100\n_CE \"2.08\" _LV V1\n_LD\n",
        {"5: if the tail of line 4 did not run: " + rawSend});
    row("lines after _FI", "_FI\n; done\n_SC \"A\"\n_SC \"B\"\n",
        {"3: this line and every one after it never run: the run ends at line 1"});
    row("lines after a refused chain", "_LF nothere.bin\n_LD\n_SC \"A\"\n",
        {"1: there is no file nothere.bin in FOLDER, the folder the check takes the run to start "
         "in (--folder sets it): _LF will refuse it, and the _LD after it stops the run",
         "3: this line and every one after it never run: the run ends at line 2"});
    row("_LA with no blank spends the address step",
        "_LF firmware.bin\n_LA\n_LA 100\n_LV V1\n_LD\n",
        {"2: _LA has no blank: it spends the address step with no address, so the load chain "
         "goes no further until the next _LF: a later _LA or _LV does nothing (write _LA "
         "ADDRESS)",
         "3: _LA with no _LF before it (since the last _LA): the address step is not due, so "
         "the line does nothing",
         "4: _LV with no _LA before it (since the last _LV): the version step is not due, so "
         "the line does nothing",
         "5: " + rawSend});
    row("_LV with a tab spends the version step", "_LF firmware.bin\n_LA 100\n_LV\tV1\n",
        {"3: a tab follows _LV where a blank is needed: it spends the version step with no "
         "version, so the load chain goes no further until the next _LF: a later _LA or _LV does "
         "nothing (write _LV VERSION)"});
}

// Texts, keywords and conditions that do not do what they seem, and what the check never
// opens or reads.
void tst_ScriptCheck::addSeemingRows()
{
    const auto row = findingRow;
    const QString onlyQuote = QStringLiteral("the only double quote ends the line, so the text "
                                             "of %1 is empty: %2 (write %1 \"TEXT\")");
    row("texts left empty", "_SC \"\n_SC X\"\n_QC X\"\n_TC LOADR\"\n_TC \"\"\n",
        {"1: " + onlyQuote.arg("_SC", "it sends only a carriage return"),
         "2: " + onlyQuote.arg("_SC", "it sends only a carriage return"),
         "3: " + onlyQuote.arg("_QC", "it sends only a carriage return"),
         "4: " + onlyQuote.arg("_TC", "it sends nothing and waits 7.4 s for the loader prompt "
                                      "before it falls back to the loader-mode command"),
         "5: _TC has an empty text: it sends nothing and waits 7.4 s for the loader prompt before "
         "it falls back to the loader-mode command"});
    row("a keyword run into a word", "_FIRMWARE follows\n",
        {"1: the keyword _FI runs into the word \"_FIRMWARE\": the line runs as _FI (write a "
         "blank after the keyword, or ';' first for a comment)"});
    row("conditions before any _QC or _DQ", "_AG \"2\" _SC \"B\"\n_CS \"OK\" _FI\n_DC _FI\n",
        {"1: _AG with no _QC before it: there is no answer to read a version from, so the run "
         "shows \"Prev _QC does not have version info.\" and fails (write _QC \"VER\" before it)",
         "2: _CS with no _QC before it compares with an empty answer: its condition never holds "
         "(write _QC \"TEXT\" before it)",
         "3: _DC with no _DQ before it in the script: its tail runs only on an answer left by an "
         "earlier run, never in an automatic run (write _DQ \"QUESTION\" before it)"});
    row("control bytes in a file name", "_LF \x1b]0;TITLE\x07\x1b[2J.bin\n",
        {"1: there is no file \\x1b]0;TITLE\\x07\\x1b[2J.bin in FOLDER, the folder the check "
         "takes the run to start in (--folder sets it): _LF will refuse it, and the _LD after it "
         "stops the run"});
    row("a FIFO for a file", "_LF fifo\n",
        {"1: fifo is no regular file: _LF will refuse it, and the _LD after it stops the run"});
    row("a file of 8 GiB", "_LF big.bin\n_LA 0\n",
        {"2: big.bin is 2 GiB or larger: _LA will refuse it, and the _LD after it stops the run"});
    row("a script of 17 MiB", ";" + QByteArray(17 * 1024 * 1024, 'x') + "\n_sc \"VER\"\n",
        {"2: _sc is no command: the line does nothing (did you mean _SC?)"});
}

void tst_ScriptCheck::findings()
{
    QFETCH(QByteArray, script);
    QFETCH(bool, demoSettings);
    QFETCH(QByteArray, runTimeout);
    QFETCH(QStringList, expected);
    QFETCH(int, status);
    writeFile(QStringLiteral("demo.sld"), script);
    if (demoSettings)
        writeFile(QStringLiteral("LoaderDefault.ini"),
                  demoFile(QStringLiteral("LoaderDefault.ini")));
    if (!runTimeout.isEmpty())
        qputenv("TAMRIN_RUN_TIMEOUT", runTimeout);
    const OpenWatch fifo(m_folder->filePath(QStringLiteral("fifo")));
    QVERIFY(fifo.watching());
    QString out;
    QCOMPARE(check({QStringLiteral("demo.sld")}, out), status);
    QVERIFY(!fifo.opened());
    QStringList lines = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const QString summary = lines.takeLast();
    for (QString &line : expected) {
        const QString text = line.section(QStringLiteral(": "), 1);
        line = QStringLiteral("demo.sld:") + line.section(QStringLiteral(": "), 0, 0) +
               QStringLiteral(": warning: ") +
               QString(text).replace(QStringLiteral("FOLDER"), m_folder->path());
    }
    QCOMPARE(lines, expected);
    QVERIFY2(summary.startsWith(QStringLiteral("tamrin --check: ")), qPrintable(summary));
}

void tst_ScriptCheck::explainsTheDemo()
{
    writeFile(QStringLiteral("demo.sld"), demoFile(QStringLiteral("demo.sld")));
    writeFile(QStringLiteral("LoaderDefault.ini"), demoFile(QStringLiteral("LoaderDefault.ini")));
    qputenv("TAMRIN_RUN_TIMEOUT", "100");
    QString out;
    QCOMPARE(check({QStringLiteral("--explain"), QStringLiteral("demo.sld")}, out), 0);
    const QString expected = QStringLiteral(
        R"(demo.sld: as run in FOLDER with the settings of FOLDER/LoaderDefault.ini; the bytes are those sent over the serial port when the unit answers at once
demo.sld:5: _WP: waits until the unit shows its prompt, asking again and again without limit
demo.sld:5:   sends "\r"
demo.sld:6: _QC: asks the unit and keeps its answer, up to the prompt (over TCP the line end is "\r\n")
demo.sld:6:   sends "VER" "\r"
demo.sld:6:   if fewer than 3 bytes come before the prompt: sends ".\r" about 0.9 s after the text
demo.sld:8: _AG: when the answer's major version is 2 or more, runs:
demo.sld:8:   _SC: sends the text and a carriage return, without waiting
demo.sld:8:     sends "OTPM? 1\r"
demo.sld:10: _TC: makes sure the unit is in its loader mode: sends the text and waits 7.4 s for the loader prompt ">"
demo.sld:10:   sends "LOADR\r"
demo.sld:10:   if the loader prompt does not come: sends "LOADR\r\n" "\r" (the carriage return 0.5 s later)
demo.sld:10:   if it still does not come, it sends "\r" again after 2.5 s and after 2 s, each awaited 7.4 s; then "\r" awaited for the normal prompt "#", and the run stops
demo.sld:12: _LF: names the file firmware.bin (5000 bytes)
demo.sld:13: _LA: the load address is "80000"; firmware.bin measures 5000 bytes, checksum ed28
demo.sld:14: _LV: the load version is "V2.1"
demo.sld:15: _LD: uploads firmware.bin: waits for the prompt, sends the header, pauses 2.7 s, sends the file in 2000-byte blocks, pauses 4 s, and waits for the loader prompt ">" that confirms it
demo.sld:15:   sends "\r" "LF 80000 5000 ed28 V2.1\r" <5000 bytes of firmware.bin> "\r"
demo.sld:16: _FI: ends the run with success: nothing after this line is read
tamrin --check: no findings in 1 script
)");
    QCOMPARE(out, QString(expected).replace(QStringLiteral("FOLDER"), m_folder->path()));
}

void tst_ScriptCheck::unreadableScript()
{
    writeFile(QStringLiteral("good.sld"), "_FI\n");
    QString out;
    QCOMPARE(check({QStringLiteral("good.sld"), QStringLiteral("missing.sld")}, out), 2);
    QVERIFY2(out.contains(QStringLiteral("missing.sld: cannot be read")), qPrintable(out));
}

// The real program explains each script, then runs it automatically against the simulated unit:
// what the unit receives after Tamrin's probe is exactly what the explanation's "sends" lines
// promise, given which conditions hold with this unit (the lines in 'taken': a tail runs, a
// nudge or a fall-back goes). Each line explained as doing nothing is then blanked, and the
// run puts the same bytes on the wire.
void tst_ScriptCheck::explainedBytesAreTheRunsBytes_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QList<int>>("taken");
    const QByteArray upload = "_LP 1\n_TC \"LOADR^M\"\n_LF firmware.bin\n_LA 80000\n";
    QTest::newRow("the demo's script") << demoFile(QStringLiteral("demo.sld")) << QList<int>{8};
    QTest::newRow("texts") << QByteArray("_SC \"A\"\n_SR \"B^MC\"\n_SC \"\x1b[2J\"\n")
                           << QList<int>();
    QTest::newRow("lines that do nothing")
        << QByteArray("_sc \"A\"\n_SC VER\n_DY x\nStep 1: _SC \"B\"\n") << QList<int>();
    QTest::newRow("conditions on the answer")
        << QByteArray("_QC \"VER\"\n_AG \"2\" _SC \"X\"\n_AL \"2\" _SC \"Y\"\n_CE \"2.08\" _SC "
                      "\"Z\"\n_CN \"2.08\" _SC \"W\"\n")
        << QList<int>{2, 4};
    QTest::newRow("a query nudged") << QByteArray("_QC \"X\"\n") << QList<int>{1};
    QTest::newRow("the operator's answer, unattended")
        << QByteArray("_DQ \"Go?\"\n_DO _SC \"A\"\n_DC _SC \"B\"\n") << QList<int>{3};
    QTest::newRow("a chain step in a tail that never runs")
        << QByteArray("_LF firmware.bin\n_LA 100\n_DO _LV V1\n_LD\n") << QList<int>();
    QTest::newRow("a keyword set in a tail that does not run")
        << QByteArray("_QC \"VER\"\n" + upload + "_CE \"nomatch\" _LC \"UPL\"\n_LV V1\n_LD\n_WP\n")
        << QList<int>();
    QTest::newRow("_FI") << QByteArray("_SC \"A\"\n_FI\n_SC \"B\"\n") << QList<int>();
    QTest::newRow("_FI in a tail")
        << QByteArray("_QC \"VER\"\n_CE \"2.08\" _FI\n_SC \"A\"\n") << QList<int>{2};
    QTest::newRow("a line too long")
        << QByteArray("_SC \"A\"\n_SC \"" + QByteArray(200, 'x') + "\"\n_SC \"B\"\n")
        << QList<int>();
    QTest::newRow("a refused chain")
        << QByteArray("_LF nothere.bin\n_LD\n_SC \"A\"\n") << QList<int>();
    QTest::newRow("_LA without its address")
        << QByteArray("_LF firmware.bin\n_LA\n_LA 100\n_LV V1\n_LD\n") << QList<int>();
    QTest::newRow("_ST in loader mode")
        << QByteArray("_TC \"LOADR^M\"\n_ST \"X\"\n") << QList<int>{2};
    QTest::newRow("empty texts") << QByteArray("_SC \"\n_SC X\"\n_QC X\"\n") << QList<int>{3};
    QTest::newRow("_TC with an empty text") << QByteArray("_TC LOADR\"\n") << QList<int>{1};
    QTest::newRow("a keyword run into a word")
        << QByteArray("_SC \"A\"\n_FIRMWARE follows\n_SC \"B\"\n") << QList<int>();
    QTest::newRow("conditions before any _QC or _DQ")
        << QByteArray("_AG \"2\" _SC \"B\"\n_DC _SC \"C\"\n_SC \"A\"\n") << QList<int>();
    QTest::newRow("_LD with no _LF") << QByteArray("_LD\n_SC \"A\"\n") << QList<int>();
}

void tst_ScriptCheck::explainedBytesAreTheRunsBytes()
{
    QFETCH(QByteArray, script);
    QFETCH(QList<int>, taken);
    writeFile(QStringLiteral("LoaderDefault.ini"),
              "Port=COM1\r\nBaud=38400\r\n3\r\n4\r\n5\r\nAutoScript=run.sld\r\n7\r\n"
              "Mode=AUTOMATIC\r\n");
    writeFile(QStringLiteral("run.sld"), script);
    QProcess check;
    check.setWorkingDirectory(m_folder->path());
    check.start(
        QStringLiteral(TAMRIN_APP_PATH),
        {QStringLiteral("--check"), QStringLiteral("--explain"), QStringLiteral("run.sld")});
    QVERIFY(check.waitForFinished(30000));
    const Explained promised =
        explained(QString::fromUtf8(check.readAllStandardOutput()), taken, m_folder->path());
    const QByteArray wire = wireOfRun(script);
    QTRY_COMPARE_WITH_TIMEOUT(wireSoFar(), promised.bytes, 5000);
    const QList<QByteArray> lines = script.split('\n');
    for (const int idle : promised.idleLines) {
        QList<QByteArray> blanked = lines;
        blanked[idle - 1].clear();
        wireOfRun(blanked.join('\n'));
        QTRY_COMPARE_WITH_TIMEOUT(wireSoFar(), promised.bytes, 5000);
    }
}

// Runs the script as the station would: automatic, no display, the unit on COM1. The unit
// stays until the next run, so that what it received can still be read.
QByteArray tst_ScriptCheck::wireOfRun(const QByteArray &script)
{
    writeFile(QStringLiteral("run.sld"), script);
    const QString ports = m_folder->filePath(QStringLiteral("ports%1").arg(++m_runs));
    QDir().mkpath(ports);
    m_unit = std::make_unique<UnitSim>();
    if (!m_unit->start({}, true, false, ports + QStringLiteral("/COM1")))
        return {};
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1String(name));
    environment.insert(QStringLiteral("TAMRIN_PORTS_DIR"), ports);
    environment.insert(QStringLiteral("TAMRIN_RUN_TIMEOUT"), QStringLiteral("60"));
    // The bytes do not hang on the pauses between them: a quarter of each, which still leaves
    // the simulated unit far more than it needs to answer before a nudge is due.
    environment.insert(QStringLiteral("TAMRIN_TIME_SCALE"), QStringLiteral("0.25"));
    QProcess tamrin;
    tamrin.setProcessEnvironment(environment);
    tamrin.setWorkingDirectory(m_folder->path());
    tamrin.start(QStringLiteral(TAMRIN_APP_PATH), QStringList{});
    tamrin.waitForFinished(120000);
    return wireSoFar();
}

// What the unit has received after the program's probe at start-up.
QByteArray tst_ScriptCheck::wireSoFar() const
{
    const QByteArray received = m_unit ? m_unit->received() : QByteArray();
    return received.startsWith('\r') ? received.mid(1) : received;
}

QTEST_GUILESS_MAIN(tst_ScriptCheck)
#include "tst_scriptcheck.moc"
