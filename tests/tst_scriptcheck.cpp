// The script check: each finding on a short script, the demo's script clean, its explanation
// whole, and the bytes the explanation promises compared with what a real run sends.
#include "UnitSim.h"

#include "app/ScriptCheckCommand.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

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
    void explainedBytesReachTheUnit();

private:
    void writeFile(const QString &name, const QByteArray &content);
    int check(const QStringList &options, QString &out);

    std::unique_ptr<QTemporaryDir> m_folder;
    QString m_previousFolder;
};

void tst_ScriptCheck::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
    m_previousFolder = QDir::currentPath();
    QDir::setCurrent(m_folder->path());
    writeFile(QStringLiteral("firmware.bin"), QByteArray(5000, 'u'));
    qunsetenv("TAMRIN_RUN_TIMEOUT");
}

void tst_ScriptCheck::cleanup()
{
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
    const auto row = [](const char *name, const QByteArray &script, const QStringList &expected) {
        QTest::newRow(name) << script << false << QByteArray() << expected << 1;
    };
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
    row("a tail without its underscore", "_CE \"2.08\" FI\n",
        {"1: the tail \"FI\" of _CE does nothing: it does not begin with an underscore"});
    row("a tab before the tail", "_AG \"2\"\t_FI\n",
        {"1: the tail \"\t_FI\" of _AG does nothing: a tab stands before it where a blank is "
         "needed"});
    row("no tail", "_CE \"2.08\"\n",
        {"1: _CE has no command after its condition: when the condition holds, the run shows "
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
    row("_LD with no _LF", "_LD\n", {"1: _LD with no _LF before it: there is no file to upload"});
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
    row("301 command lines", QByteArray("_DY 0\n").repeated(299) + "_DO _FI\n",
        {"300: command line 301 (a conditional tail counts as one more): a script has room for "
         "300; Tamrin runs the rest, but split the script to keep within the limit"});
    row("carriage-return-only line ends", "_SC \"A\"\r_SC \"B\"\r",
        {"1: a carriage return with no line feed after it: a line ends only at a line feed, so "
         "what follows is read as part of this line (a file with carriage-return-only line ends "
         "is one long line)"});
    row("bytes after a Ctrl-Z", QByteArray("_FI\n\x1a_SC \"B\"\n"),
        {"2: a Ctrl-Z (byte 26) ends the script here: the 8 bytes after it are never read"});
    row("a NUL byte", QByteArray("_SC \"A\0B\"\n", 10),
        {"1: a NUL byte (byte 0): no text file holds one; the run reads it as an ordinary "
         "character and may send it to the unit"});
    row("\\r in _SC, ^M in _CE", "_SC \"A\\r\"\n_CE \"B^M\" _FI\n",
        {"1: \\r is no escape in _SC: it stays two characters (_SC knows only ^M, a carriage "
         "return)",
         "2: ^M is no escape in _CE: it stays two characters (_CE knows \\r and \\n)"});
    row("_DY and _LP without a number", "_DY x\n_LP s\n",
        {"1: _DY has no number: it pauses only 1 ms",
         "2: _LP has no number: the pause after an upload stays as it is"});
    row("_LT 0", "_LT 0\n",
        {"1: _LT 0 stores the character 0, which keeps the terminal pane usable during uploads: "
         "only _LT followed by blanks alone disables it"});
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
    QString out;
    QCOMPARE(check({QStringLiteral("demo.sld")}, out), status);
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
demo.sld:8: _AG: when the answer's major version is 2 or more, runs:
demo.sld:8:   _SC: sends the text and a carriage return, without waiting
demo.sld:8:     sends "OTPM? 1\r"
demo.sld:10: _TC: makes sure the unit is in its loader mode: sends the text and waits for the loader prompt ">"
demo.sld:10:   sends "LOADR\r"
demo.sld:10:   otherwise sends "LOADR\r\n", then "\r" three times (after 0.5 s, 2.5 s and 2 s), each awaited for ">"; then "\r" awaited for the normal prompt "#", and the run stops
demo.sld:12: _LF: names the file firmware.bin (5000 bytes)
demo.sld:13: _LA: the load address is "80000"; firmware.bin measures 5000 bytes, checksum ed28
demo.sld:14: _LV: the load version is "V2.1"
demo.sld:15: _LD: uploads firmware.bin: waits for the prompt, sends the header, pauses 2.6 s, sends the file in 2000-byte blocks, pauses, and waits for the loader prompt ">" that confirms it
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

// The real program checks the demo's script, then runs it against the simulated unit: what
// the unit receives after Tamrin's probe is exactly what the explanation's "sends" lines say.
void tst_ScriptCheck::explainedBytesReachTheUnit()
{
    writeFile(QStringLiteral("demo.sld"), demoFile(QStringLiteral("demo.sld")));
    writeFile(QStringLiteral("LoaderDefault.ini"), demoFile(QStringLiteral("LoaderDefault.ini")));
    QVERIFY(QDir(m_folder->path()).mkdir(QStringLiteral("ports")));
    UnitSim unit;
    QVERIFY2(unit.start({}, true, false, m_folder->filePath(QStringLiteral("ports/COM1"))),
             qPrintable(unit.errorString()));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1String(name));
    environment.insert(QStringLiteral("TAMRIN_PORTS_DIR"),
                       m_folder->filePath(QStringLiteral("ports")));
    environment.insert(QStringLiteral("TAMRIN_RUN_TIMEOUT"), QStringLiteral("100"));
    QProcess tamrin;
    tamrin.setProcessEnvironment(environment);
    tamrin.setWorkingDirectory(m_folder->path());
    tamrin.start(
        QStringLiteral(TAMRIN_APP_PATH),
        {QStringLiteral("--check"), QStringLiteral("--explain"), QStringLiteral("demo.sld")});
    QVERIFY(tamrin.waitForFinished(10000));
    QCOMPARE(tamrin.exitCode(), 0);
    QByteArray promised;
    static const QRegularExpression sends(QStringLiteral(R"(^demo\.sld:\d+:\s+sends (.*)$)"),
                                          QRegularExpression::MultilineOption);
    for (const QRegularExpressionMatch &match :
         sends.globalMatch(QString::fromUtf8(tamrin.readAllStandardOutput())))
        promised += sentBytes(match.captured(1), m_folder->path());
    QVERIFY(promised.size() > 5000);

    tamrin.start(QStringLiteral(TAMRIN_APP_PATH), QStringList{});
    QVERIFY(tamrin.waitForFinished(60000));
    QCOMPARE(tamrin.exitCode(), 0);
    QVERIFY(unit.waitForUploadLines(1));
    const QByteArray received = unit.received();
    QVERIFY2(received.endsWith(promised), received.left(200).toPercentEncoding().constData());
    QCOMPARE(received.chopped(promised.size()), QByteArray("\r")); // the probe at start-up
}

QTEST_GUILESS_MAIN(tst_ScriptCheck)
#include "tst_scriptcheck.moc"
