// Tests for the LoaderDefault.ini reader: which lines count, what each numbered line means,
// and how over-long, overflowing or malformed values are refused.

#include "app/Settings.h"
#include "app/Station.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include <limits>

namespace {

// Byte strings that may hold NUL, built from a literal without losing anything after a NUL.
template <qsizetype N> QByteArray bytes(const char (&literal)[N])
{
    return QByteArray(literal, N - 1);
}

QByteArray quoted(QByteArrayView text)
{
    QByteArray result = "\"";
    for (const char c : text) {
        const uchar code = uchar(c);
        if (code >= 0x20 && code < 0x7f)
            result += c;
        else
            result += "\\x" + QByteArray::number(code, 16).rightJustified(2, '0');
    }
    return result + '"';
}

// Every setting that differs from its default, in declaration order, so one string comparison
// shows both what was set and that nothing else was.
QByteArray describe(const LoaderSettings &settings)
{
    QByteArrayList parts;
    const auto addNumber = [&parts](const char *name, const std::optional<int> &value) {
        if (value)
            parts << QByteArray(name) + '=' + QByteArray::number(*value);
    };
    const auto addText = [&parts](const char *name, const std::optional<QByteArray> &value) {
        if (value)
            parts << QByteArray(name) + '=' + quoted(*value);
    };
    const auto addCharacter = [&parts](const char *name, const std::optional<char> &value) {
        if (value)
            parts << QByteArray(name) + '=' + quoted(QByteArrayView(&*value, 1));
    };
    const auto addFlag = [&parts](const char *name, bool value) {
        if (value)
            parts << name;
    };

    addNumber("comPort", settings.comPort);
    addNumber("baudRate", settings.baudRate);
    addFlag("baudRateInvalid", settings.baudRateInvalid);
    addNumber("dataBits", settings.dataBits);
    addNumber("parity", settings.parity);
    addNumber("stopBits", settings.stopBits);
    addText("autoScriptPath", settings.autoScriptPath);
    addText("scriptFolder", settings.scriptFolder);
    addFlag("autoMode", settings.autoMode);
    addCharacter("normalPrompt", settings.normalPrompt);
    addCharacter("loaderPrompt", settings.loaderPrompt);
    addText("loaderModeCommand", settings.loaderModeCommand);
    if (settings.terminalVisible)
        parts << QByteArray("terminalVisible=") + (*settings.terminalVisible ? "true" : "false");
    addNumber("terminalBackground", settings.terminalBackground);
    addNumber("terminalTextColour", settings.terminalTextColour);
    addNumber("brand", settings.brand);
    addText("uploadKeyword", settings.uploadKeyword);
    addFlag("ethernetOnly", settings.ethernetOnly);
    if (const auto &address = settings.ethernetAddress) {
        QByteArrayList numbers;
        for (const int part : *address)
            numbers << QByteArray::number(part);
        parts << "ethernetAddress=" + numbers.join('.');
    }
    addNumber("ethernetPort", settings.ethernetPort);
    return parts.join(", ");
}

// A file whose settings line number `lineNumber` is `line`; the lines before it have no '='
// and so only take their numbers.
QByteArray fileWithLine(int lineNumber, const QByteArray &line)
{
    return QByteArray("unused\n").repeated(lineNumber - 1) + line + '\n';
}

QByteArray parsed(const QByteArray &content)
{
    return describe(parseSettings(settingsLines(content)));
}

QByteArray numberedLines(int count)
{
    QByteArray content;
    for (int number = 1; number <= count; ++number)
        content += "Line" + QByteArray::number(number) + '=' + QByteArray::number(number) + '\n';
    return content;
}

} // namespace

class tst_Settings : public QObject
{
    Q_OBJECT

private slots:
    void settingsLines_data();
    void settingsLines();
    void settingsLinesStopAfterTheLimit();
    void settingsValue_data();
    void settingsValue();
    void leadingNumber_data();
    void leadingNumber();
    void settingByLineNumber_data();
    void settingByLineNumber();
    void lineCounting_data();
    void lineCounting();
    void readSettingsFile();
    void crLfFileReadsAsLfFile();
    void endlessFilesAreReadOnlyInPart_data();
    void endlessFilesAreReadOnlyInPart();
    void stationVariables_data();
    void stationVariables();
    void noRegularFileGivesNothing_data();
    void noRegularFileGivesNothing();
};

void tst_Settings::settingsLines_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArrayList>("expected");

    QTest::addRow("empty file") << QByteArray() << QByteArrayList();
    QTest::addRow("only line ends") << QByteArray("\n\r\n\n") << QByteArrayList();
    QTest::addRow("comment, section and empty line skipped")
        << QByteArray("; comment\n[main]\n\nPort=COM3\n") << QByteArrayList{"Port=COM3"};
    QTest::addRow("section with equals skipped")
        << QByteArray("[a=1]\nPort=COM3\n") << QByteArrayList{"Port=COM3"};
    QTest::addRow("blank before semicolon counts")
        << QByteArray(" ;x=1\n") << QByteArrayList{" ;x=1"};
    QTest::addRow("blank line counts") << QByteArray(" \n") << QByteArrayList{" "};
    QTest::addRow("CR LF dropped") << QByteArray("A=1\r\nB=2\r\n") << QByteArrayList{"A=1", "B=2"};
    QTest::addRow("last line without LF") << QByteArray("A=1\nB=2") << QByteArrayList{"A=1", "B=2"};
    QTest::addRow("lone CR stays inside") << QByteArray("A=1\rB=2\n") << QByteArrayList{"A=1\rB=2"};
    QTest::addRow("only the CR next to LF dropped")
        << QByteArray("A=1\r\r\n") << QByteArrayList{"A=1\r"};
    QTest::addRow("CR at end of file stays")
        << QByteArray("A=1\nB=2\r") << QByteArrayList{"A=1", "B=2\r"};
    QTest::addRow("lone CR line counts") << QByteArray("\r\r\n") << QByteArrayList{"\r"};
    QTest::addRow("NUL does not end a line")
        << bytes("A\0=1\n\0\n") << QByteArrayList{bytes("A\0=1"), bytes("\0")};
    QTest::addRow("0xFF and Ctrl-Z are line content")
        << QByteArray("A=\xff\n\x1a") << QByteArrayList{"A=\xff", "\x1a"};
    const QByteArray longLine = "A=" + QByteArray(10000, 'x');
    QTest::addRow("long line kept to what refuses it") << longLine + "\r\nB=2\n"
                                                       << QByteArrayList{longLine.left(300), "B=2"};
    QTest::addRow("299 characters and CR LF") << QByteArray(299, 'x') + "\r\n"
                                              << QByteArrayList{QByteArray(299, 'x')};
    QTest::addRow("endless line ends the reading")
        << QByteArray(MaxSettingsBytes + 10, '\0') + "\nB=2\n"
        << QByteArrayList{QByteArray(300, '\0')};
}

void tst_Settings::settingsLines()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArrayList, expected);

    QCOMPARE(::settingsLines(content), expected);
}

void tst_Settings::settingsLinesStopAfterTheLimit()
{
    const QByteArrayList lines = ::settingsLines("; header\n" + numberedLines(40));

    QCOMPARE(lines.size(), qsizetype(MaxSettingsLines));
    QCOMPARE(lines.first(), QByteArray("Line1=1"));
    QCOMPARE(lines.last(), QByteArray("Line29=29"));
}

void tst_Settings::settingsValue_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("hasValue");
    QTest::addColumn<QByteArray>("expected");

    QTest::addRow("label and value") << QByteArray("Port=COM3") << true << QByteArray("COM3");
    QTest::addRow("first equals splits") << QByteArray("a=b=c") << true << QByteArray("b=c");
    QTest::addRow("no label") << QByteArray("=x") << true << QByteArray("x");
    QTest::addRow("blanks kept") << QByteArray("a= x ") << true << QByteArray(" x ");
    QTest::addRow("empty value") << QByteArray("a=") << true << QByteArray("");
    QTest::addRow("NUL in label") << bytes("a\0b=c") << true << QByteArray("c");
    QTest::addRow("no equals") << QByteArray("COM3") << false << QByteArray();
    QTest::addRow("empty line") << QByteArray() << false << QByteArray();
}

void tst_Settings::settingsValue()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, hasValue);
    QFETCH(QByteArray, expected);

    const std::optional<QByteArray> value = ::settingsValue(line);
    QCOMPARE(value.has_value(), hasValue);
    if (hasValue)
        QCOMPARE(*value, expected);
}

void tst_Settings::leadingNumber_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("fits");
    QTest::addColumn<int>("expected");

    QTest::addRow("plain") << QByteArray("42") << true << 42;
    QTest::addRow("text after digits") << QByteArray("12abc") << true << 12;
    QTest::addRow("white space first") << QByteArray(" \t\n\v\f\r42") << true << 42;
    QTest::addRow("plus sign") << QByteArray("+7") << true << 7;
    QTest::addRow("minus sign") << QByteArray("-7") << true << -7;
    QTest::addRow("leading zeros") << QByteArray("0000000000002147483647") << true << 2147483647;
    QTest::addRow("largest") << QByteArray("2147483647") << true << 2147483647;
    QTest::addRow("smallest") << QByteArray("-2147483648") << true
                              << std::numeric_limits<int>::min();
    QTest::addRow("empty gives zero") << QByteArray() << true << 0;
    QTest::addRow("letters give zero") << QByteArray("abc") << true << 0;
    QTest::addRow("blank after sign gives zero") << QByteArray("- 5") << true << 0;
    QTest::addRow("two signs give zero") << QByteArray("+-5") << true << 0;
    QTest::addRow("high byte gives zero") << QByteArray("\xff"
                                                        "5")
                                          << true << 0;
    QTest::addRow("NUL first gives zero") << bytes("\0"
                                                   "5")
                                          << true << 0;
    QTest::addRow("one past largest") << QByteArray("2147483648") << false << 0;
    QTest::addRow("one past smallest") << QByteArray("-2147483649") << false << 0;
    QTest::addRow("wraps to small number") << QByteArray("4294967304") << false << 0;
    QTest::addRow("many digits") << QByteArray("99999999999999999999999") << false << 0;
}

void tst_Settings::leadingNumber()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, fits);
    QFETCH(int, expected);

    const std::optional<int> number = ::leadingNumber(text);
    QCOMPARE(number.has_value(), fits);
    if (fits)
        QCOMPARE(*number, expected);
}

void tst_Settings::settingByLineNumber_data()
{
    QTest::addColumn<int>("lineNumber");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("expected");

    // 1: COM port
    QTest::addRow("COM3") << 1 << QByteArray("Port=COM3") << QByteArray("comPort=3");
    QTest::addRow("bare 3") << 1 << QByteArray("Port=3") << QByteArray("comPort=3");
    QTest::addRow("Port 12") << 1 << QByteArray("Port=Port 12") << QByteArray("comPort=12");
    QTest::addRow("COM10") << 1 << QByteArray("Port=COM10") << QByteArray("comPort=10");
    QTest::addRow("zero skipped") << 1 << QByteArray("Port=COM05") << QByteArray("comPort=5");
    QTest::addRow("label ignored") << 1 << QByteArray("COM1=COM3") << QByteArray("comPort=3");
    QTest::addRow("NUL before name") << 1 << bytes("Port=\0COM3") << QByteArray("comPort=3");
    QTest::addRow("COM0") << 1 << QByteArray("Port=COM0") << QByteArray();
    QTest::addRow("None") << 1 << QByteArray("Port=None") << QByteArray();
    QTest::addRow("port without equals") << 1 << QByteArray("COM3") << QByteArray();
    QTest::addRow("port overflow") << 1 << QByteArray("Port=COM99999999999") << QByteArray();

    // 2: baud rate
    QTest::addRow("4800") << 2 << QByteArray("Baud=4800") << QByteArray("baudRate=4800");
    QTest::addRow("1200") << 2 << QByteArray("Baud=1200") << QByteArray("baudRate=1200");
    QTest::addRow("115200") << 2 << QByteArray("Baud=115200") << QByteArray("baudRate=115200");
    QTest::addRow("white space and unit")
        << 2 << QByteArray("Baud=\t9600 bps") << QByteArray("baudRate=9600");
    QTest::addRow("Ctrl-Z after rate")
        << 2 << QByteArray("Baud=9600\x1a") << QByteArray("baudRate=9600");
    QTest::addRow("19 characters")
        << 2 << "Baud=" + QByteArray(15, '0') + "9600" << QByteArray("baudRate=9600");
    QTest::addRow("14400") << 2 << QByteArray("Baud=14400") << QByteArray("baudRateInvalid");
    QTest::addRow("empty rate") << 2 << QByteArray("Baud=") << QByteArray("baudRateInvalid");
    QTest::addRow("text rate") << 2 << QByteArray("Baud=fast") << QByteArray("baudRateInvalid");
    QTest::addRow("negative rate")
        << 2 << QByteArray("Baud=-9600") << QByteArray("baudRateInvalid");
    QTest::addRow("20 characters")
        << 2 << "Baud=" + QByteArray(16, '0') + "9600" << QByteArray("baudRateInvalid");
    QTest::addRow("wraps to 4800")
        << 2 << QByteArray("Baud=4294972096") << QByteArray("baudRateInvalid");
    QTest::addRow("rate without equals") << 2 << QByteArray("4800") << QByteArray();

    // 3 to 5: data bits, parity, stop bits
    QTest::addRow("8 bits") << 3 << QByteArray("Bits=8") << QByteArray("dataBits=8");
    QTest::addRow("5 bits") << 3 << QByteArray("Bits=5") << QByteArray("dataBits=5");
    QTest::addRow("bits after 18 blanks")
        << 3 << "Bits=" + QByteArray(18, ' ') + '8' << QByteArray("dataBits=8");
    QTest::addRow("4 bits") << 3 << QByteArray("Bits=4") << QByteArray();
    QTest::addRow("9 bits") << 3 << QByteArray("Bits=9") << QByteArray();
    QTest::addRow("bits after 19 blanks")
        << 3 << "Bits=" + QByteArray(19, ' ') + '8' << QByteArray();
    QTest::addRow("bits wrap to 8") << 3 << QByteArray("Bits=4294967304") << QByteArray();
    QTest::addRow("no parity") << 4 << QByteArray("Parity=0") << QByteArray("parity=0");
    QTest::addRow("space parity") << 4 << QByteArray("Parity=4") << QByteArray("parity=4");
    QTest::addRow("parity 5") << 4 << QByteArray("Parity=5") << QByteArray();
    QTest::addRow("parity -1") << 4 << QByteArray("Parity=-1") << QByteArray();
    QTest::addRow("1 stop bit") << 5 << QByteArray("Stop=1") << QByteArray("stopBits=1");
    QTest::addRow("2 stop bits") << 5 << QByteArray("Stop=2") << QByteArray("stopBits=2");
    QTest::addRow("0 stop bits") << 5 << QByteArray("Stop=0") << QByteArray();
    QTest::addRow("3 stop bits") << 5 << QByteArray("Stop=3") << QByteArray();

    // 6 and 7: script paths
    QTest::addRow("path keeps trailing blanks")
        << 6 << QByteArray("Auto=  C:\\s\\auto.sld  ")
        << QByteArray("autoScriptPath=\"C:\\s\\auto.sld  \"");
    QTest::addRow("empty path") << 6 << QByteArray("Auto=") << QByteArray("autoScriptPath=\"\"");
    QTest::addRow("199 character path") << 6 << "Auto=" + QByteArray(50, ' ') + QByteArray(199, 'p')
                                        << "autoScriptPath=\"" + QByteArray(199, 'p') + '"';
    QTest::addRow("200 character path") << 6 << "Auto=" + QByteArray(200, 'p') << QByteArray();
    QTest::addRow("folder") << 7 << QByteArray("Folder=  scripts ")
                            << QByteArray("scriptFolder=\"scripts \"");
    QTest::addRow("empty folder") << 7 << QByteArray("Folder=") << QByteArray("scriptFolder=\"\"");
    QTest::addRow("blank folder") << 7 << QByteArray("Folder=   ")
                                  << QByteArray("scriptFolder=\"\"");
    QTest::addRow("binary folder")
        << 7 << bytes("Folder=a\0b\xff") << QByteArray("scriptFolder=\"a\\x00b\\xff\"");
    QTest::addRow("folder without equals") << 7 << QByteArray("scripts") << QByteArray();

    // 8: run mode
    QTest::addRow("automatic") << 8 << QByteArray("Mode=automatic") << QByteArray("autoMode");
    QTest::addRow("auto matic") << 8 << QByteArray("Mode= auto matic") << QByteArray("autoMode");
    QTest::addRow("Auto Matic") << 8 << QByteArray("Mode=Auto Matic") << QByteArray("autoMode");
    QTest::addRow("many blanks") << 8 << "Mode=AUTOMATIC" + QByteArray(30, ' ')
                                 << QByteArray("autoMode");
    QTest::addRow("AUTOMATIC1") << 8 << QByteArray("Mode=AUTOMATIC1") << QByteArray();
    QTest::addRow("tab is not a blank") << 8 << QByteArray("Mode=AUTO\tMATIC") << QByteArray();
    QTest::addRow("NUL inside") << 8 << bytes("Mode=AUTO\0MATIC") << QByteArray();
    QTest::addRow("manual") << 8 << QByteArray("Mode=Manual") << QByteArray();

    // 9 to 13, 16 to 18, 28 and 29: counted only
    for (const int unused : {9, 10, 11, 12, 13, 16, 17, 18, 28, 29})
        QTest::addRow("unused line %d", unused) << unused << QByteArray("x=1") << QByteArray();

    // 14 and 15: prompt characters
    QTest::addRow("normal prompt")
        << 14 << QByteArray("Prompt=  >>") << QByteArray("normalPrompt=\">\"");
    QTest::addRow("empty normal prompt")
        << 14 << QByteArray("Prompt=") << QByteArray("normalPrompt=\"\\x00\"");
    QTest::addRow("blank normal prompt")
        << 14 << QByteArray("Prompt=   ") << QByteArray("normalPrompt=\"\\x00\"");
    QTest::addRow("0xFF prompt") << 14 << QByteArray("Prompt=\xff")
                                 << QByteArray("normalPrompt=\"\\xff\"");
    QTest::addRow("normal prompt without equals") << 14 << QByteArray(">") << QByteArray();
    QTest::addRow("loader prompt")
        << 15 << QByteArray("Prompt= #") << QByteArray("loaderPrompt=\"#\"");
    QTest::addRow("empty loader prompt")
        << 15 << QByteArray("Prompt=") << QByteArray("loaderPrompt=\"\\x00\"");

    // 19: loader-mode command
    QTest::addRow("command") << 19 << QByteArray("Command=  L")
                             << QByteArray("loaderModeCommand=\"L\\x0d\\x0a\"");
    QTest::addRow("17 character command")
        << 19 << "Command=   " + QByteArray(17, 'c')
        << "loaderModeCommand=\"" + QByteArray(17, 'c') + "\\x0d\\x0a\"";
    QTest::addRow("18 character command") << 19 << "Command=" + QByteArray(18, 'c') << QByteArray();
    QTest::addRow("empty command") << 19 << QByteArray("Command=") << QByteArray();
    QTest::addRow("blank command") << 19 << QByteArray("Command=   ") << QByteArray();

    // 20: terminal pane
    QTest::addRow("show") << 20 << QByteArray("Terminal=1") << QByteArray("terminalVisible=true");
    QTest::addRow("hide") << 20 << QByteArray("Terminal=0") << QByteArray("terminalVisible=false");
    QTest::addRow("empty hides") << 20 << QByteArray("Terminal=")
                                 << QByteArray("terminalVisible=false");
    QTest::addRow("text hides") << 20 << QByteArray("Terminal=yes")
                                << QByteArray("terminalVisible=false");
    QTest::addRow("terminal 2") << 20 << QByteArray("Terminal=2") << QByteArray();
    QTest::addRow("terminal wraps to 1") << 20 << QByteArray("Terminal=4294967297") << QByteArray();
    QTest::addRow("terminal without equals") << 20 << QByteArray("1") << QByteArray();

    // 21 and 22: terminal colours
    QTest::addRow("background default")
        << 21 << QByteArray("Back=0") << QByteArray("terminalBackground=0");
    QTest::addRow("background white")
        << 21 << QByteArray("Back= 5") << QByteArray("terminalBackground=5");
    QTest::addRow("background 6") << 21 << QByteArray("Back=6") << QByteArray();
    QTest::addRow("background -1") << 21 << QByteArray("Back=-1") << QByteArray();
    QTest::addRow("text green") << 22 << QByteArray("Text=3") << QByteArray("terminalTextColour=3");
    QTest::addRow("text 6") << 22 << QByteArray("Text=6") << QByteArray();

    // 23: brand
    QTest::addRow("brand") << 23 << QByteArray("Brand= 7") << QByteArray("brand=7");
    QTest::addRow("empty brand") << 23 << QByteArray("Brand=") << QByteArray("brand=0");
    QTest::addRow("text brand") << 23 << QByteArray("Brand=abc") << QByteArray("brand=0");
    QTest::addRow("largest brand")
        << 23 << QByteArray("Brand=2147483647") << QByteArray("brand=2147483647");
    QTest::addRow("brand overflow") << 23 << QByteArray("Brand=2147483648") << QByteArray();
    QTest::addRow("brand without equals") << 23 << QByteArray("Brand") << QByteArray();

    // 24: upload keyword
    QTest::addRow("keyword") << 24 << QByteArray("Keyword=  UPLOAD")
                             << QByteArray("uploadKeyword=\"UPLOAD\"");
    QTest::addRow("19 character keyword")
        << 24 << "Keyword=" + QByteArray(19, 'k') << "uploadKeyword=\"" + QByteArray(19, 'k') + '"';
    QTest::addRow("20 character keyword") << 24 << "Keyword=" + QByteArray(20, 'k') << QByteArray();
    QTest::addRow("blanks count toward keyword limit")
        << 24 << "Keyword=  " + QByteArray(18, 'k') << QByteArray();
    QTest::addRow("empty keyword") << 24 << QByteArray("Keyword=") << QByteArray();
    QTest::addRow("blank keyword") << 24 << QByteArray("Keyword=  ") << QByteArray();

    // 25: Ethernet only
    QTest::addRow("TRUE") << 25 << QByteArray("Only=TRUE") << QByteArray("ethernetOnly");
    QTest::addRow("blanks then TRUE")
        << 25 << "Only=" + QByteArray(15, ' ') + "TRUE" << QByteArray("ethernetOnly");
    QTest::addRow("true") << 25 << QByteArray("Only=true") << QByteArray();
    QTest::addRow("TRUE blank") << 25 << QByteArray("Only=TRUE ") << QByteArray();
    QTest::addRow("TRUE tab") << 25 << QByteArray("Only=TRUE\t") << QByteArray();
    QTest::addRow("TRUE after 16 blanks")
        << 25 << "Only=" + QByteArray(16, ' ') + "TRUE" << QByteArray();

    // 26: Ethernet address
    QTest::addRow("10.0.0.1") << 26 << QByteArray("Address=10.0.0.1")
                              << QByteArray("ethernetAddress=10.0.0.1");
    QTest::addRow("white space before numbers")
        << 26 << QByteArray("Address= 1.\t2. 3.+4") << QByteArray("ethernetAddress=1.2.3.4");
    QTest::addRow("text after address")
        << 26 << QByteArray("Address=10.0.0.1:80") << QByteArray("ethernetAddress=10.0.0.1");
    QTest::addRow("19 character address") << 26 << QByteArray("Address=  192.168.100.200  ")
                                          << QByteArray("ethernetAddress=192.168.100.200");
    QTest::addRow("20 character address")
        << 26 << QByteArray("Address=  192.168.100.200   ") << QByteArray();
    QTest::addRow("10.0.0.256") << 26 << QByteArray("Address=10.0.0.256") << QByteArray();
    QTest::addRow("negative part") << 26 << QByteArray("Address=-1.0.0.1") << QByteArray();
    QTest::addRow("three parts") << 26 << QByteArray("Address=10.0.0") << QByteArray();
    QTest::addRow("blank before dot") << 26 << QByteArray("Address=1 .2.3.4") << QByteArray();
    QTest::addRow("commas") << 26 << QByteArray("Address=10,0,0,1") << QByteArray();
    QTest::addRow("missing part") << 26 << QByteArray("Address=1..3.4") << QByteArray();
    QTest::addRow("letters") << 26 << QByteArray("Address=a.b.c.d") << QByteArray();
    QTest::addRow("part wraps to 10")
        << 26 << QByteArray("Address=4294967306.0.0.1") << QByteArray();

    // 27: Ethernet port
    QTest::addRow("502") << 27 << QByteArray("EPort=502") << QByteArray("ethernetPort=502");
    QTest::addRow("port 0") << 27 << QByteArray("EPort=0") << QByteArray("ethernetPort=0");
    QTest::addRow("65535") << 27 << QByteArray("EPort=65535") << QByteArray("ethernetPort=65535");
    QTest::addRow("text after port")
        << 27 << QByteArray("EPort= \t80abc") << QByteArray("ethernetPort=80");
    QTest::addRow("port after 14 blanks")
        << 27 << "EPort=" + QByteArray(14, ' ') + "65535" << QByteArray("ethernetPort=65535");
    QTest::addRow("port after 15 blanks")
        << 27 << "EPort=" + QByteArray(15, ' ') + "65535" << QByteArray();
    QTest::addRow("65536") << 27 << QByteArray("EPort=65536") << QByteArray();
    QTest::addRow("port -1") << 27 << QByteArray("EPort=-1") << QByteArray();
    QTest::addRow("empty port") << 27 << QByteArray("EPort=") << QByteArray();
    QTest::addRow("text port") << 27 << QByteArray("EPort=http") << QByteArray();
    QTest::addRow("port wraps to 502") << 27 << QByteArray("EPort=4294967798") << QByteArray();

    // Line length applies to every line, label included.
    QTest::addRow("299 character line")
        << 1 << "Port=COM3" + QByteArray(290, 'x') << QByteArray("comPort=3");
    QTest::addRow("300 character line") << 1 << "Port=COM3" + QByteArray(291, 'x') << QByteArray();
    QTest::addRow("300 character folder line")
        << 7 << "Folder=" + QByteArray(293, 'f') << QByteArray();
}

void tst_Settings::settingByLineNumber()
{
    QFETCH(int, lineNumber);
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, expected);

    QCOMPARE(parsed(fileWithLine(lineNumber, line)), expected);
}

void tst_Settings::lineCounting_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray portAndBaud("comPort=3, baudRate=4800");

    QTest::addRow("comment, section and empty line first")
        << QByteArray("; settings\n[main]\n\nPort=COM3\nBaud=4800\n") << portAndBaud;
    QTest::addRow("comment between settings")
        << QByteArray("Port=COM3\n;Baud=1200\n[serial]\nBaud=4800\n") << portAndBaud;
    QTest::addRow("blank then semicolon is line 1")
        << QByteArray(" ;x=1\nBaud=4800\n") << QByteArray("comPort=1, baudRate=4800");
    QTest::addRow("CR LF line ends") << QByteArray("Port=COM3\r\nBaud=4800\r\n") << portAndBaud;
    QTest::addRow("empty CR LF line skipped")
        << QByteArray("\r\nPort=COM3\r\nBaud=4800\r\n") << portAndBaud;
    QTest::addRow("last line without LF") << QByteArray("Port=COM3\nBaud=4800") << portAndBaud;
    QTest::addRow("Ctrl-Z line after the last")
        << QByteArray("Port=COM3\nBaud=4800\n\x1a") << portAndBaud;
    QTest::addRow("missing equals keeps its number")
        << QByteArray("COM3\nBaud=4800\n") << QByteArray("baudRate=4800");
    QTest::addRow("NUL line keeps its number")
        << bytes("\0\nBaud=4800\n") << QByteArray("baudRate=4800");
    QTest::addRow("0xFF line keeps its number")
        << QByteArray("\xff\nBaud=4800\n") << QByteArray("baudRate=4800");
    QTest::addRow("lone CR line keeps its number")
        << QByteArray("\r\r\nBaud=4800\n") << QByteArray("baudRate=4800");
    QTest::addRow("10000 character line keeps its number")
        << "Port=COM3" + QByteArray(10000, 'x') + "\nBaud=4800\n"
        << QByteArray("baudRate=4800");
    QTest::addRow("CR before LF not in the value")
        << QByteArray("unused\r\n").repeated(5) + "Auto=a.sld \r\n"
        << QByteArray("autoScriptPath=\"a.sld \"");
    QTest::addRow("lone CR at end of file in the value")
        << QByteArray("unused\n").repeated(5) + "Auto=a.sld\r"
        << QByteArray("autoScriptPath=\"a.sld\\x0d\"");

    const QByteArray emptyThroughLine13(
        "baudRateInvalid, parity=0, autoScriptPath=\"\", scriptFolder=\"\"");
    QTest::addRow("13 lines give no prompts")
        << QByteArray("=\n").repeated(13) << emptyThroughLine13;
    QTest::addRow("14 lines give the normal prompt")
        << QByteArray("=\n").repeated(14) << emptyThroughLine13 + ", normalPrompt=\"\\x00\"";
    QTest::addRow("15 lines give both prompts")
        << QByteArray("=\n").repeated(15)
        << emptyThroughLine13 + ", normalPrompt=\"\\x00\", loaderPrompt=\"\\x00\"";
    QTest::addRow("lines after 29 never read")
        << QByteArray("x\n").repeated(29) + "Port=COM3\nBaud=4800\n"
        << QByteArray();
}

void tst_Settings::lineCounting()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, expected);

    QCOMPARE(parsed(content), expected);
}

void tst_Settings::readSettingsFile()
{
    const std::optional<LoaderSettings> settings =
        ::readSettingsFile(TAMRIN_TEST_DATA "/settings/LoaderDefault.ini");

    QVERIFY(settings);
    QCOMPARE(describe(*settings),
             QByteArray("comPort=3, baudRate=115200, dataBits=8, parity=0, stopBits=1, "
                        "autoScriptPath=\"C:\\Tamrin\\auto.sld\", "
                        "scriptFolder=\"C:\\Tamrin\\Scripts\", autoMode, normalPrompt=\">\", "
                        "loaderPrompt=\"#\", loaderModeCommand=\"L\\x0d\\x0a\", "
                        "terminalVisible=true, terminalBackground=1, terminalTextColour=3, "
                        "brand=2, uploadKeyword=\"UPLOAD\", ethernetOnly, "
                        "ethernetAddress=192.168.1.20, ethernetPort=502"));
}

void tst_Settings::crLfFileReadsAsLfFile()
{
    QFile fixture(TAMRIN_TEST_DATA "/settings/LoaderDefault.ini");
    QVERIFY(fixture.open(QIODevice::ReadOnly));
    const QByteArray crLfContent = fixture.readAll();
    // Guards against the fixture losing its CR LF line ends on checkout.
    QVERIFY(crLfContent.contains("\r\n"));

    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    QFile lfFile(folder.filePath("LoaderDefault.ini"));
    QVERIFY(lfFile.open(QIODevice::WriteOnly));
    QByteArray lfContent = crLfContent;
    lfContent.replace("\r\n", "\n");
    QCOMPARE(lfFile.write(lfContent), lfContent.size());
    lfFile.close();

    const std::optional<LoaderSettings> fromCrLf = ::readSettingsFile(fixture.fileName());
    const std::optional<LoaderSettings> fromLf = ::readSettingsFile(lfFile.fileName());
    QVERIFY(fromCrLf);
    QVERIFY(fromLf);
    QCOMPARE(describe(*fromLf), describe(*fromCrLf));
}

void tst_Settings::endlessFilesAreReadOnlyInPart_data()
{
    QTest::addColumn<QString>("path");
    QTest::addRow("zeros without a line end") << QStringLiteral("/dev/zero");
    QTest::addRow("random bytes") << QStringLiteral("/dev/urandom");
}

void tst_Settings::endlessFilesAreReadOnlyInPart()
{
    QFETCH(QString, path);
    QFile device(path);
    QVERIFY(device.open(QIODevice::ReadOnly));
    QVERIFY(::settingsLines(device).size() <= MaxSettingsLines);
    QVERIFY(device.pos() <= MaxSettingsBytes);
}

void tst_Settings::stationVariables_data()
{
    QTest::addColumn<QByteArray>("runTimeout");
    QTest::addColumn<int>("seconds"); // 0: refused
    QTest::addColumn<QByteArray>("unattended");
    QTest::addColumn<int>("asked"); // 1 yes, 0 no, -1 refused
    QTest::newRow("plain") << QByteArray("5") << 5 << QByteArray("1") << 1;
    QTest::newRow("a week") << QByteArray("604800") << 604800 << QByteArray("0") << 0;
    QTest::newRow("empty") << QByteArray() << 0 << QByteArray() << 0;
    QTest::newRow("words") << QByteArray("abc") << 0 << QByteArray("yes") << -1;
    QTest::newRow("zero") << QByteArray("0") << 0 << QByteArray("01") << -1;
    QTest::newRow("negative") << QByteArray("-5") << 0 << QByteArray("-1") << -1;
    QTest::newRow("past a week") << QByteArray("604801") << 0 << QByteArray("2") << -1;
    QTest::newRow("past int") << QByteArray("99999999999") << 0 << QByteArray(" 1") << -1;
    QTest::newRow("blank first") << QByteArray(" 5") << 0 << QByteArray("1 ") << -1;
}

void tst_Settings::stationVariables()
{
    QFETCH(QByteArray, runTimeout);
    QFETCH(int, seconds);
    QFETCH(QByteArray, unattended);
    QFETCH(int, asked);
    QCOMPARE(Station::parseRunTimeout(runTimeout).value_or(0), seconds);
    const std::optional<bool> answer = Station::parseUnattended(unattended);
    QCOMPARE(answer ? int(*answer) : -1, asked);
}

void tst_Settings::noRegularFileGivesNothing_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing") << "missing";
    // Opening a FIFO nobody writes would block start-up for ever.
    QTest::newRow("a FIFO nobody writes") << "fifo";
    QTest::newRow("a folder") << "folder";
}

void tst_Settings::noRegularFileGivesNothing()
{
    QFETCH(QString, kind);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString path = folder.filePath("LoaderDefault.ini");
    if (kind == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else if (kind == QLatin1String("folder"))
        QVERIFY(QDir().mkpath(path));

    QVERIFY(!::readSettingsFile(path));
}

QTEST_APPLESS_MAIN(tst_Settings)
#include "tst_settings.moc"
