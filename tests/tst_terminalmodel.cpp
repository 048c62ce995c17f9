#include "app/TerminalModel.h"

#include <QTest>

namespace {

QByteArray numberedLine(int number)
{
    return QByteArray("line ") + QByteArray::number(number).rightJustified(3, '0');
}

QByteArray numberedLines(int count)
{
    QByteArray output;
    for (int number = 0; number < count; ++number)
        output += numberedLine(number) + "\r\n";
    return output;
}

// The tab after "row nnnnnn " (11 columns) stops at column 16, so every row below shows as
// 17 columns of number and tab, filler up to column 79 and a high byte in column 80.
constexpr int NumberColumns = 17;

QByteArray rowFiller(int row)
{
    return QByteArray(TerminalModel::Columns - NumberColumns - 1, char('a' + row % 26)) +
           char(0x80 + row % 128);
}

QByteArray rowNumber(int row)
{
    return "row " + QByteArray::number(row).rightJustified(6, '0');
}

// Rows of exactly 80 columns end in CR LF, so every one of them relies on the pending wrap.
QByteArray megabyteOfFullRows(int *rowCount)
{
    QByteArray output;
    output.reserve(1024 * 1024 + 128);
    int row = 0;
    while (output.size() < 1024 * 1024) {
        output += rowNumber(row) + " \t|" + rowFiller(row) + "\r\n";
        ++row;
    }
    *rowCount = row;
    return output;
}

QByteArray expectedFullRow(int row)
{
    return rowNumber(row) + "      |" + rowFiller(row);
}

} // namespace

class tst_TerminalModel : public QObject
{
    Q_OBJECT

private slots:
    void startsBlank();
    void editing_data();
    void editing();
    void tabStops_data();
    void tabStops();
    void wrap_data();
    void wrap();
    void scrollback_data();
    void scrollback();
    void lineFeedAtBottomKeepsColumn();
    void bellIsCountedAndReported();
    void clearEmptiesEverything();
    void rowAccessorsRejectBadIndices_data();
    void rowAccessorsRejectBadIndices();
    void megabyteWrite_data();
    void megabyteWrite();
};

void tst_TerminalModel::startsBlank()
{
    const TerminalModel model;
    QCOMPARE(model.cursorRow(), 0);
    QCOMPARE(model.cursorColumn(), 0);
    QCOMPARE(model.scrollbackRowCount(), 0);
    QCOMPARE(model.rowCount(), TerminalModel::ScreenRows);
    const QList<QByteArray> rows = model.screenRows();
    QCOMPARE(rows.size(), TerminalModel::ScreenRows);
    for (const QByteArray &row : rows)
        QCOMPARE(row, QByteArray(TerminalModel::Columns, ' '));
}

void tst_TerminalModel::editing_data()
{
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<QByteArray>("firstRow");
    QTest::addColumn<QByteArray>("secondRow");
    QTest::addColumn<int>("cursorRow");
    QTest::addColumn<int>("cursorColumn");

    QTest::newRow("plain text") << QByteArray("hello") << QByteArray("hello") << QByteArray() << 0
                                << 5;
    QTest::newRow("backspace then overwrite")
        << QByteArray("AB\bC") << QByteArray("AC") << QByteArray() << 0 << 2;
    QTest::newRow("backspace alone erases nothing")
        << QByteArray("AB\b") << QByteArray("AB") << QByteArray() << 0 << 1;
    QTest::newRow("backspace at column 1 stays")
        << QByteArray("\b\b\bX") << QByteArray("X") << QByteArray() << 0 << 1;
    QTest::newRow("backspace stops at column 1")
        << QByteArray("AB\b\b\b\bC") << QByteArray("CB") << QByteArray() << 0 << 1;
    QTest::newRow("carriage return overwrites")
        << QByteArray("ABC\rX") << QByteArray("XBC") << QByteArray() << 0 << 1;
    QTest::newRow("line feed keeps the column")
        << QByteArray("AB\nCD") << QByteArray("AB") << QByteArray("  CD") << 1 << 4;
    QTest::newRow("carriage return line feed")
        << QByteArray("AB\r\nCD") << QByteArray("AB") << QByteArray("CD") << 1 << 2;
    QTest::newRow("control bytes ignored") << QByteArray("A\0\x01\x06\x0b\x0c\x0e\x1b\x1f"
                                                         "B",
                                                         10)
                                           << QByteArray("AB") << QByteArray() << 0 << 2;
    QTest::newRow("bell prints nothing")
        << QByteArray("A\aB") << QByteArray("AB") << QByteArray() << 0 << 2;
    QTest::newRow("delete is printable")
        << QByteArray("A\x7f") << QByteArray("A\x7f") << QByteArray() << 0 << 2;
    QTest::newRow("bytes 128 to 255 kept")
        << QByteArray("\x80\xa0\xe9\xff") << QByteArray("\x80\xa0\xe9\xff") << QByteArray() << 0
        << 4;
    QTest::newRow("blank written over text")
        << QByteArray("ABC\r B") << QByteArray(" BC") << QByteArray() << 0 << 2;
}

void tst_TerminalModel::editing()
{
    QFETCH(QByteArray, received);
    QFETCH(QByteArray, firstRow);
    QFETCH(QByteArray, secondRow);
    QFETCH(int, cursorRow);
    QFETCH(int, cursorColumn);

    TerminalModel model;
    model.write(received);
    QCOMPARE(model.screenRowText(0), firstRow);
    QCOMPARE(model.screenRowText(1), secondRow);
    QCOMPARE(model.screenRowText(2), QByteArray());
    QCOMPARE(model.cursorRow(), cursorRow);
    QCOMPARE(model.cursorColumn(), cursorColumn);
    QCOMPARE(model.scrollbackRowCount(), 0);
}

void tst_TerminalModel::tabStops_data()
{
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<int>("cursorColumn");

    QTest::newRow("from column 1") << QByteArray("\t") << 8;
    QTest::newRow("from column 2") << QByteArray("A\t") << 8;
    QTest::newRow("from column 8") << QByteArray("1234567\t") << 8;
    QTest::newRow("on a stop goes to the next") << QByteArray("12345678\t") << 16;
    QTest::newRow("two tabs") << QByteArray("\t\t") << 16;
    QTest::newRow("last stop") << QByteArray(9, '\t') << 72;
    QTest::newRow("past the last stop ends at column 80") << QByteArray(10, '\t') << 79;
    QTest::newRow("no further than column 80") << QByteArray(12, '\t') << 79;
    QTest::newRow("clears the pending wrap")
        << QByteArray(TerminalModel::Columns, 'x') + "\tY" << 79;
}

void tst_TerminalModel::tabStops()
{
    QFETCH(QByteArray, received);
    QFETCH(int, cursorColumn);

    TerminalModel model;
    model.write(received);
    QCOMPARE(model.cursorRow(), 0);
    QCOMPARE(model.cursorColumn(), cursorColumn);
}

void tst_TerminalModel::wrap_data()
{
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<QList<QByteArray>>("rows");
    QTest::addColumn<int>("cursorRow");
    QTest::addColumn<int>("cursorColumn");
    QTest::addColumn<bool>("wrapPending");

    const QByteArray full(TerminalModel::Columns, 'A');
    const QByteArray almost(TerminalModel::Columns - 1, 'A');

    QTest::newRow("79 characters") << almost << QList<QByteArray>{almost, ""} << 0 << 79 << false;
    QTest::newRow("80 characters wait at column 80")
        << full << QList<QByteArray>{full, ""} << 0 << 79 << true;
    QTest::newRow("81st character wraps")
        << full + "B" << QList<QByteArray>{full, "B"} << 1 << 1 << false;
    QTest::newRow("CR LF after 80 leaves no empty row")
        << full + "\r\nB" << QList<QByteArray>{full, "B", ""} << 1 << 1 << false;
    QTest::newRow("CR after 80 rewrites the row")
        << full + "\rB" << QList<QByteArray>{"B" + full.mid(1), ""} << 0 << 1 << false;
    QTest::newRow("BS after 80 cancels the wrap")
        << full + "\bB" << QList<QByteArray>{almost.left(78) + "BA", ""} << 0 << 79 << false;
    QTest::newRow("two rows and one")
        << full + full + "C" << QList<QByteArray>{full, full, "C"} << 2 << 1 << false;
}

void tst_TerminalModel::wrap()
{
    QFETCH(QByteArray, received);
    QFETCH(QList<QByteArray>, rows);
    QFETCH(int, cursorRow);
    QFETCH(int, cursorColumn);
    QFETCH(bool, wrapPending);

    TerminalModel model;
    model.write(received);
    for (int row = 0; row < rows.size(); ++row)
        QCOMPARE(model.screenRowText(row), rows.at(row));
    QCOMPARE(model.cursorRow(), cursorRow);
    QCOMPARE(model.cursorColumn(), cursorColumn);
    QCOMPARE(model.isWrapPending(), wrapPending);
}

void tst_TerminalModel::scrollback_data()
{
    QTest::addColumn<int>("lineCount");
    QTest::addColumn<int>("scrollbackRows");
    QTest::addColumn<int>("oldestLine");

    // N lines ending in CR LF fill N + 1 rows, the last one empty with the cursor on it.
    QTest::newRow("screen not yet full") << 10 << 0 << 0;
    QTest::newRow("screen just full") << 15 << 0 << 0;
    QTest::newRow("one row scrolled") << 16 << 1 << 0;
    QTest::newRow("scrollback one short of full") << 98 << 83 << 0;
    QTest::newRow("scrollback just full") << 99 << 84 << 0;
    QTest::newRow("oldest row dropped") << 100 << 84 << 1;
    QTest::newRow("200 lines") << 200 << 84 << 101;
    QTest::newRow("1000 lines") << 1000 << 84 << 901;
}

void tst_TerminalModel::scrollback()
{
    QFETCH(int, lineCount);
    QFETCH(int, scrollbackRows);
    QFETCH(int, oldestLine);

    TerminalModel model;
    model.write(numberedLines(lineCount));

    QCOMPARE(model.scrollbackRowCount(), scrollbackRows);
    QCOMPARE(model.rowCount(), scrollbackRows + TerminalModel::ScreenRows);
    QCOMPARE(model.cursorRow(), std::min(lineCount, TerminalModel::ScreenRows - 1));
    QCOMPARE(model.cursorColumn(), 0);

    const QList<QByteArray> all = model.allRows();
    QCOMPARE(all.size(), model.rowCount());
    const int rowsWithText = std::min(lineCount, model.rowCount() - 1);
    for (int index = 0; index < rowsWithText; ++index) {
        QCOMPARE(all.at(index).size(), TerminalModel::Columns);
        QCOMPARE(model.rowText(index), numberedLine(oldestLine + index));
    }
    for (int index = rowsWithText; index < all.size(); ++index)
        QCOMPARE(model.rowText(index), QByteArray());

    const QList<QByteArray> scrollback = model.scrollbackRows();
    QCOMPARE(scrollback.size(), scrollbackRows);
    QCOMPARE(scrollback, all.mid(0, scrollbackRows));
    QCOMPARE(model.screenRows(), all.mid(scrollbackRows));
}

void tst_TerminalModel::lineFeedAtBottomKeepsColumn()
{
    TerminalModel model;
    model.write("AB");
    model.write(QByteArray(20, '\n'));
    model.write("C");
    QCOMPARE(model.cursorRow(), TerminalModel::ScreenRows - 1);
    QCOMPARE(model.cursorColumn(), 3);
    QCOMPARE(model.screenRowText(TerminalModel::ScreenRows - 1), QByteArray("  C"));
    QCOMPARE(model.scrollbackRowCount(), 5);
    QCOMPARE(model.rowText(0), QByteArray("AB"));
}

void tst_TerminalModel::bellIsCountedAndReported()
{
    TerminalModel model;
    int reported = 0;
    model.setBellHandler([&reported] { ++reported; });
    model.write("\aA\a\a");
    model.write('\a');
    QCOMPARE(model.bellCount(), 4);
    QCOMPARE(reported, 4);
    QCOMPARE(model.screenRowText(0), QByteArray("A"));
    QCOMPARE(model.cursorColumn(), 1);
}

void tst_TerminalModel::clearEmptiesEverything()
{
    TerminalModel model;
    model.write(numberedLines(200));
    model.write(QByteArray(TerminalModel::Columns, 'x'));
    QVERIFY(model.isWrapPending());

    model.clear();
    QCOMPARE(model.scrollbackRowCount(), 0);
    QCOMPARE(model.rowCount(), TerminalModel::ScreenRows);
    QCOMPARE(model.linesScrolled(), 0);
    QCOMPARE(model.cursorRow(), 0);
    QCOMPARE(model.cursorColumn(), 0);
    QVERIFY(!model.isWrapPending());
    for (const QByteArray &row : model.allRows())
        QCOMPARE(row, QByteArray(TerminalModel::Columns, ' '));

    model.write("Z");
    QCOMPARE(model.screenRowText(0), QByteArray("Z"));
    QCOMPARE(model.screenRowText(1), QByteArray());
}

void tst_TerminalModel::rowAccessorsRejectBadIndices_data()
{
    QTest::addColumn<int>("linesWritten");
    QTest::addColumn<int>("index");

    QTest::newRow("negative") << 0 << -1;
    QTest::newRow("past the screen") << 0 << TerminalModel::ScreenRows;
    QTest::newRow("past screen and scrollback") << 200 << TerminalModel::TotalRows;
    QTest::newRow("far out") << 200 << 1000000;
}

void tst_TerminalModel::rowAccessorsRejectBadIndices()
{
    QFETCH(int, linesWritten);
    QFETCH(int, index);

    TerminalModel model;
    model.write(numberedLines(linesWritten));
    QVERIFY(model.rowBytes(index).isEmpty());
    QCOMPARE(model.rowText(index), QByteArray());
    QCOMPARE(model.screenRowText(index - model.screenTopIndex()), QByteArray());
}

void tst_TerminalModel::megabyteWrite_data()
{
    QTest::addColumn<int>("chunkSize");

    QTest::newRow("one write") << 0;
    QTest::newRow("byte at a time") << 1;
    QTest::newRow("odd chunks") << 4093;
}

void tst_TerminalModel::megabyteWrite()
{
    QFETCH(int, chunkSize);

    int rowCount = 0;
    const QByteArray output = megabyteOfFullRows(&rowCount);

    TerminalModel model;
    if (chunkSize == 0) {
        model.write(output);
    } else if (chunkSize == 1) {
        for (const char byte : output)
            model.write(byte);
    } else {
        for (qsizetype at = 0; at < output.size(); at += chunkSize)
            model.write(QByteArrayView(output).sliced(
                at, std::min<qsizetype>(chunkSize, output.size() - at)));
    }

    QCOMPARE(model.scrollbackRowCount(), TerminalModel::ScrollbackLimit);
    QCOMPARE(model.linesScrolled(), rowCount + 1 - TerminalModel::ScreenRows);
    QCOMPARE(model.cursorRow(), TerminalModel::ScreenRows - 1);
    QCOMPARE(model.cursorColumn(), 0);
    const int firstRow = rowCount - (TerminalModel::TotalRows - 1);
    for (int index = 0; index < TerminalModel::TotalRows - 1; ++index)
        QCOMPARE(model.rowText(index), expectedFullRow(firstRow + index));
    QCOMPARE(model.rowText(TerminalModel::TotalRows - 1), QByteArray());
}

QTEST_APPLESS_MAIN(tst_TerminalModel)

#include "tst_terminalmodel.moc"
