#include "app/StatusLight.h"
#include "app/TerminalPane.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

namespace {

QByteArray numberedLines(int count)
{
    QByteArray output;
    for (int number = 0; number < count; ++number)
        output += "line " + QByteArray::number(number) + "\r\n";
    return output;
}

int countPixels(const QImage &image, const QColor &colour)
{
    const QRgb wanted = colour.rgb();
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if ((image.pixel(x, y) & RGB_MASK) == (wanted & RGB_MASK))
                ++count;
        }
    }
    return count;
}

// The centre of a character cell of the first visible row, in viewport coordinates.
QPoint cellCentre(const TerminalPane &pane, int row, int column)
{
    const QFontMetrics metrics(pane.terminalFont());
    const int cellWidth = metrics.horizontalAdvance(QLatin1Char('M'));
    const int left = 2 - pane.horizontalScrollBar()->value();
    return QPoint(left + column * cellWidth + cellWidth / 2,
                  row * metrics.height() + metrics.height() / 2);
}

// The left edge of a cell, where a drag boundary falls between two characters.
QPoint cellEdge(const TerminalPane &pane, int row, int column)
{
    const QFontMetrics metrics(pane.terminalFont());
    const int cellWidth = metrics.horizontalAdvance(QLatin1Char('M'));
    return cellCentre(pane, row, column) - QPoint(cellWidth / 2, 0);
}

} // namespace

Q_DECLARE_METATYPE(Qt::Key)

class tst_TerminalPane : public QObject
{
    Q_OBJECT

private slots:
    void defaults();
    void writeStringShowsInModel();
    void clearAllEmptiesModel();
    void doubleClickClearsAndSignals();
    void keys_data();
    void keys();
    void handlerChangesOrConsumesKeys_data();
    void handlerChangesOrConsumesKeys();
    void tabMovesFocusAndIsNotSent();
    void scrollBarReachesScrollbackOnly();
    void viewFollowsCursorOnOutput();
    void dragCopiesSelection_data();
    void dragCopiesSelection();
    void coloursApply();
    void statusLightStartsUnlit();
    void statusLightPaints_data();
    void statusLightPaints();
};

void tst_TerminalPane::defaults()
{
    TerminalPane pane;
    QCOMPARE(pane.backgroundColour(), QColor(0, 0, 0));
    QCOMPARE(pane.textColour(), QColor(192, 192, 192));
    QVERIFY(pane.terminalFont().pixelSize() <= 12);
    // At the main window's size a full line needs no scrolling sideways.
    pane.resize(513, 281);
    pane.WriteString(QByteArray(80, 'M'));
    QCOMPARE(pane.horizontalScrollBar()->maximum(), 0);
    QCOMPARE(pane.terminalFont().styleHint(), QFont::Monospace);
    QCOMPARE(pane.terminalFont().weight(), QFont::Normal);
    QCOMPARE(pane.focusPolicy(), Qt::StrongFocus);
}

void tst_TerminalPane::writeStringShowsInModel()
{
    TerminalPane pane;
    pane.WriteString("hello\r\nworld");
    pane.WriteChar('!');
    QCOMPARE(pane.model().screenRowText(0), QByteArray("hello"));
    QCOMPARE(pane.model().screenRowText(1), QByteArray("world!"));
    QCOMPARE(pane.model().cursorRow(), 1);
    QCOMPARE(pane.model().cursorColumn(), 6);
}

void tst_TerminalPane::clearAllEmptiesModel()
{
    TerminalPane pane;
    pane.WriteString(numberedLines(50));
    pane.ClearAll();
    QCOMPARE(pane.model().scrollbackRowCount(), 0);
    QCOMPARE(pane.model().screenRowText(0), QByteArray());
    QCOMPARE(pane.model().cursorRow(), 0);
    QCOMPARE(pane.model().cursorColumn(), 0);
    QCOMPARE(pane.verticalScrollBar()->maximum(), 0);
}

void tst_TerminalPane::doubleClickClearsAndSignals()
{
    TerminalPane pane;
    pane.resize(pane.sizeHint());
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    pane.WriteString(numberedLines(40));
    QSignalSpy spy(&pane, &TerminalPane::doubleClicked);

    QTest::mouseDClick(pane.viewport(), Qt::LeftButton, {}, cellCentre(pane, 2, 3));

    QCOMPARE(spy.count(), 1);
    QCOMPARE(pane.model().scrollbackRowCount(), 0);
    for (int row = 0; row < TerminalModel::ScreenRows; ++row)
        QCOMPARE(pane.model().screenRowText(row), QByteArray());
    QCOMPARE(pane.model().cursorRow(), 0);
    QCOMPARE(pane.model().cursorColumn(), 0);
}

void tst_TerminalPane::keys_data()
{
    QTest::addColumn<Qt::Key>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("sent");

    const Qt::KeyboardModifiers none = Qt::NoModifier;
    QTest::newRow("letter") << Qt::Key_A << none << "a" << QByteArray("a");
    QTest::newRow("shifted letter")
        << Qt::Key_A << Qt::KeyboardModifiers(Qt::ShiftModifier) << "A" << QByteArray("A");
    QTest::newRow("return gives CR") << Qt::Key_Return << none << "\r" << QByteArray("\r");
    QTest::newRow("enter gives CR")
        << Qt::Key_Enter << Qt::KeyboardModifiers(Qt::KeypadModifier) << "\r" << QByteArray("\r");
    QTest::newRow("return without text gives CR")
        << Qt::Key_Return << none << QString() << QByteArray("\r");
    QTest::newRow("backspace gives DEL") << Qt::Key_Backspace << none << "\b" << QByteArray("\x7f");
    QTest::newRow("ctrl+c") << Qt::Key_C << Qt::KeyboardModifiers(Qt::ControlModifier) << QString()
                            << QByteArray("\x03");
    QTest::newRow("ctrl+a") << Qt::Key_A << Qt::KeyboardModifiers(Qt::ControlModifier) << "\x01"
                            << QByteArray("\x01");
    QTest::newRow("ctrl+z") << Qt::Key_Z << Qt::KeyboardModifiers(Qt::ControlModifier) << QString()
                            << QByteArray("\x1a");
    QTest::newRow("latin-1 letter")
        << Qt::Key_Eacute << none << QString(QChar(0xe9)) << QByteArray("\xe9");
    QTest::newRow("digit") << Qt::Key_7 << none << "7" << QByteArray("7");
    QTest::newRow("escape") << Qt::Key_Escape << none << "\x1b" << QByteArray("\x1b");
    // Error rows: keys that must not reach the unit.
    QTest::newRow("beyond latin-1 dropped")
        << Qt::Key_unknown << none << QString(QChar(0x20ac)) << QByteArray();
    QTest::newRow("tab not taken") << Qt::Key_Tab << none << "\t" << QByteArray();
    QTest::newRow("backtab not taken")
        << Qt::Key_Backtab << Qt::KeyboardModifiers(Qt::ShiftModifier) << QString() << QByteArray();
    QTest::newRow("left arrow not taken") << Qt::Key_Left << none << QString() << QByteArray();
    QTest::newRow("down arrow not taken") << Qt::Key_Down << none << QString() << QByteArray();
    QTest::newRow("alt+letter not taken")
        << Qt::Key_F << Qt::KeyboardModifiers(Qt::AltModifier) << "f" << QByteArray();
    QTest::newRow("function key") << Qt::Key_F5 << none << QString() << QByteArray();
    QTest::newRow("shift alone") << Qt::Key_Shift << Qt::KeyboardModifiers(Qt::ShiftModifier)
                                 << QString() << QByteArray();
}

// Key events go straight to keyPressEvent here, so these rows see the pane's own choice and
// not the focus chain's.
void tst_TerminalPane::keys()
{
    QFETCH(Qt::Key, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(QString, text);
    QFETCH(QByteArray, sent);

    TerminalPane pane;
    QByteArray handled;
    QByteArray received;
    pane.keyPressHandler = [&handled](char &byte) {
        handled += byte;
        return false;
    };
    pane.sendTypedByte = [&received](char byte) { received += byte; };

    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    press.ignore();
    QApplication::sendEvent(&pane, &press);

    QCOMPARE(received, sent);
    if (!sent.isEmpty())
        QVERIFY(press.isAccepted());
    if (key == Qt::Key_Backspace)
        QCOMPARE(handled, QByteArray("\b"));
    else
        QCOMPARE(handled, sent);
    // Typed keys are not echoed: only the unit writes to the pane.
    QCOMPARE(pane.model().screenRowText(0), QByteArray());
}

void tst_TerminalPane::handlerChangesOrConsumesKeys_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QByteArray>("sent");

    // The handler below swallows 'x', turns 'a' into 'b' and 'k' into BS.
    QTest::newRow("consumed") << "x" << QByteArray();
    QTest::newRow("changed") << "a" << QByteArray("b");
    QTest::newRow("changed to BS is sent as DEL") << "k" << QByteArray("\x7f");
    QTest::newRow("left alone") << "q" << QByteArray("q");
    QTest::newRow("mixed") << "qxakx" << QByteArray("qb\x7f");
}

void tst_TerminalPane::handlerChangesOrConsumesKeys()
{
    QFETCH(QString, typed);
    QFETCH(QByteArray, sent);

    TerminalPane pane;
    pane.keyPressHandler = [](char &byte) {
        if (byte == 'x')
            return true;
        if (byte == 'a')
            byte = 'b';
        else if (byte == 'k')
            byte = '\b';
        return false;
    };
    QByteArray received;
    pane.sendTypedByte = [&received](char byte) { received += byte; };

    QTest::keyClicks(&pane, typed);
    QCOMPARE(received, sent);
}

void tst_TerminalPane::tabMovesFocusAndIsNotSent()
{
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *pane = new TerminalPane(&window);
    auto *edit = new QLineEdit(&window);
    layout->addWidget(pane);
    layout->addWidget(edit);
    QByteArray received;
    int handled = 0;
    pane->keyPressHandler = [&handled](char &) {
        ++handled;
        return false;
    };
    pane->sendTypedByte = [&received](char byte) { received += byte; };
    window.show();
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));
    pane->setFocus();
    QTRY_VERIFY(pane->hasFocus());

    QTest::keyClick(pane, Qt::Key_Tab);

    QTRY_VERIFY(edit->hasFocus());
    QCOMPARE(received, QByteArray());
    QCOMPARE(handled, 0);
}

void tst_TerminalPane::scrollBarReachesScrollbackOnly()
{
    TerminalPane pane;
    pane.resize(pane.sizeHint());
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    const int visibleRows = pane.viewport()->height() / QFontMetrics(pane.terminalFont()).height();
    QCOMPARE(visibleRows, TerminalModel::ScreenRows);

    pane.WriteString(numberedLines(20));
    QCOMPARE(pane.verticalScrollBar()->maximum(), 5);

    pane.WriteString(numberedLines(200));
    QScrollBar *bar = pane.verticalScrollBar();
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), TerminalModel::ScrollbackLimit);
    QCOMPARE(bar->value(), TerminalModel::ScrollbackLimit);

    bar->setValue(-10);
    QCOMPARE(bar->value(), 0);
    QCOMPARE(pane.model().rowText(bar->value()), QByteArray("line 101"));

    pane.ClearAll();
    QCOMPARE(bar->maximum(), 0);
    QCOMPARE(bar->value(), 0);
}

void tst_TerminalPane::viewFollowsCursorOnOutput()
{
    TerminalPane pane;
    pane.resize(pane.sizeHint());
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    pane.WriteString(numberedLines(60));
    QScrollBar *bar = pane.verticalScrollBar();
    bar->setValue(3);

    pane.WriteChar('z');

    const int cursorIndex = pane.model().screenTopIndex() + pane.model().cursorRow();
    QVERIFY(cursorIndex >= bar->value());
    QVERIFY(cursorIndex < bar->value() + TerminalModel::ScreenRows);
    QCOMPARE(bar->value(), bar->maximum());
}

void tst_TerminalPane::dragCopiesSelection_data()
{
    QTest::addColumn<QPoint>("fromCell");
    QTest::addColumn<QPoint>("toCell");
    QTest::addColumn<QString>("copied");

    // Cells as (column, row); the drag ends on the left edge of toCell.
    QTest::newRow("one word") << QPoint(0, 0) << QPoint(5, 0) << "hello";
    QTest::newRow("backwards") << QPoint(11, 0) << QPoint(6, 0) << "world";
    QTest::newRow("across rows") << QPoint(6, 0) << QPoint(3, 1) << "world\nsec";
    QTest::newRow("trailing blanks trimmed") << QPoint(7, 1) << QPoint(40, 1) << "row";
    QTest::newRow("high bytes as latin-1")
        << QPoint(0, 2) << QPoint(4, 2) << QString::fromLatin1("caf\xe9");
}

void tst_TerminalPane::dragCopiesSelection()
{
    QFETCH(QPoint, fromCell);
    QFETCH(QPoint, toCell);
    QFETCH(QString, copied);

    TerminalPane pane;
    pane.resize(pane.sizeHint());
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    pane.WriteString("hello world\r\nsecond row\r\ncaf\xe9!");
    QGuiApplication::clipboard()->setText(QStringLiteral("unchanged"));

    QWidget *viewport = pane.viewport();
    const QPoint from = cellEdge(pane, fromCell.y(), fromCell.x());
    const QPoint to = cellEdge(pane, toCell.y(), toCell.x());
    QTest::mousePress(viewport, Qt::LeftButton, {}, from);
    QMouseEvent move(QEvent::MouseMove, to, viewport->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
    QCOMPARE(pane.selectedText(), copied);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("unchanged"));

    QTest::mouseRelease(viewport, Qt::LeftButton, {}, to);
    QCOMPARE(QGuiApplication::clipboard()->text(), copied);
}

void tst_TerminalPane::coloursApply()
{
    TerminalPane pane;
    pane.resize(pane.sizeHint());
    pane.show();
    QVERIFY(QTest::qWaitForWindowExposed(&pane));
    pane.WriteString("#### colour test ####\r\n");

    const QImage before = pane.viewport()->grab().toImage();
    QVERIFY(countPixels(before, QColor(192, 192, 192)) > 0);

    const QColor background(0, 0, 160);
    const QColor text(255, 255, 0);
    pane.setBackgroundColour(background);
    pane.setTextColour(text);
    QCOMPARE(pane.backgroundColour(), background);
    QCOMPARE(pane.textColour(), text);

    const QImage after = pane.viewport()->grab().toImage();
    QCOMPARE(countPixels(after, QColor(192, 192, 192)), 0);
    QCOMPARE(countPixels(after, QColor(0, 0, 0)), 0);
    QVERIFY(countPixels(after, text) > 0);
    QCOMPARE(after.pixelColor(after.width() - 1, after.height() - 1), background);

    pane.setTextColour(QColor());
    QCOMPARE(pane.textColour(), text);
}

void tst_TerminalPane::statusLightStartsUnlit()
{
    StatusLight light;
    QVERIFY(!light.isLit());
    QCOMPARE(light.size(), QSize(13, 13));
    QCOMPARE(light.sizeHint(), QSize(13, 13));
    light.setLit(true);
    QVERIFY(light.isLit());
    light.setLit(false);
    QVERIFY(!light.isLit());
}

void tst_TerminalPane::statusLightPaints_data()
{
    QTest::addColumn<bool>("lit");
    QTest::addColumn<QColor>("fill");

    QTest::newRow("unlit is green") << false << QColor(0, 255, 0);
    QTest::newRow("lit is red") << true << QColor(255, 0, 0);
}

void tst_TerminalPane::statusLightPaints()
{
    QFETCH(bool, lit);
    QFETCH(QColor, fill);

    StatusLight light;
    light.setLit(lit);
    const QImage image = light.grab().toImage();
    QCOMPARE(image.size(), QSize(13, 13));
    QCOMPARE(image.pixelColor(6, 6), fill);
    QCOMPARE(image.pixelColor(1, 1), fill);
    QCOMPARE(image.pixelColor(11, 11), fill);
    const QColor white(255, 255, 255);
    const QColor grey(128, 128, 128);
    QCOMPARE(image.pixelColor(0, 0), white);
    QCOMPARE(image.pixelColor(6, 0), white);
    QCOMPARE(image.pixelColor(0, 6), white);
    QCOMPARE(image.pixelColor(12, 12), grey);
    QCOMPARE(image.pixelColor(6, 12), grey);
    QCOMPARE(image.pixelColor(12, 6), grey);
    QCOMPARE(image.pixelColor(12, 0), grey);
    QCOMPARE(image.pixelColor(0, 12), grey);
}

QTEST_MAIN(tst_TerminalPane)

#include "tst_terminalpane.moc"
