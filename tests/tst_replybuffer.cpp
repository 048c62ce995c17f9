// The reply buffer's capture rules: which byte ends a capture, what the reply text is, and
// how a reply longer than the buffer wraps without overflowing.
#include "link/ReplyBuffer.h"

#include <QtTest>

class tst_ReplyBuffer : public QObject
{
    Q_OBJECT
private slots:
    void deliveries_data();
    void deliveries();
    void wrapsPastTheEnd();
    void floodLargerThanTheBuffer();
    void clearResetsFillPosition();
    void promptAtTheFrontAfterAWrapEndsTheCapture();
};

void tst_ReplyBuffer::deliveries_data()
{
    QTest::addColumn<QByteArrayList>("deliveries");
    QTest::addColumn<QByteArray>("prompts");
    QTest::addColumn<int>("guard");
    QTest::addColumn<bool>("ended");
    QTest::addColumn<QByteArray>("text");

    const QByteArray normal("#");
    const QByteArray both("#>");
    QTest::newRow("prompt last in delivery")
        << QByteArrayList{"abc#"} << normal << 0 << true << QByteArray("abc");
    QTest::newRow("prompt in the middle")
        << QByteArrayList{"abc# "} << normal << 0 << true << QByteArray("abc");
    QTest::newRow("same answer split differently")
        << QByteArrayList{"ab", "c#", " x"} << normal << 0 << true << QByteArray("abc");
    QTest::newRow("prompt below the guard is text")
        << QByteArrayList{"#\r\n2.08\r\n#"} << normal << 3 << true << QByteArray("#\r\n2.08\r\n");
    QTest::newRow("prompt exactly at the guard ends")
        << QByteArrayList{"ab#cd#"} << normal << 2 << true << QByteArray("ab");
    QTest::newRow("guard spans deliveries")
        << QByteArrayList{"a#", "#"} << normal << 2 << true << QByteArray("a#");
    QTest::newRow("either prompt ends")
        << QByteArrayList{"x>y#"} << both << 0 << true << QByteArray("x");
    QTest::newRow("other prompt not listed")
        << QByteArrayList{"x>y"} << normal << 0 << false << QByteArray("x>y");
    QTest::newRow("no prompt yet keeps bytes") << QByteArrayList{"Unit A\r\n", "Boot"} << normal
                                               << 0 << false << QByteArray("Unit A\r\nBoot");
    QTest::newRow("prompt first") << QByteArrayList{"#abc"} << normal << 0 << true << QByteArray();
    QTest::newRow("NUL in reply cuts the text")
        << QByteArrayList{QByteArray("ab\0cd#", 6)} << normal << 0 << true << QByteArray("ab");
}

void tst_ReplyBuffer::deliveries()
{
    QFETCH(QByteArrayList, deliveries);
    QFETCH(QByteArray, prompts);
    QFETCH(int, guard);
    QFETCH(bool, ended);
    QFETCH(QByteArray, text);

    ReplyBuffer buffer;
    buffer.clear();
    bool sawEnd = false;
    for (const QByteArray &delivery : deliveries) {
        if (sawEnd)
            break;
        sawEnd = buffer.deliver(delivery, prompts, guard);
    }
    QCOMPARE(sawEnd, ended);
    QCOMPARE(buffer.text(), text);
}

void tst_ReplyBuffer::wrapsPastTheEnd()
{
    ReplyBuffer buffer;
    buffer.clear();
    const QByteArray chunk(300, 'a');
    for (int i = 0; i < 3; ++i)
        QVERIFY(!buffer.deliver(chunk, "#", 10));
    QCOMPARE(buffer.fillPosition(), 900);
    // 900 + 300 reaches the end: filling starts again at the front.
    QVERIFY(buffer.deliver(QByteArray(299, 'b') + '#', "#", 10));
    QCOMPARE(buffer.text(), QByteArray(299, 'b'));
    QCOMPARE(buffer.fillPosition(), 0);
}

void tst_ReplyBuffer::floodLargerThanTheBuffer()
{
    ReplyBuffer buffer;
    buffer.clear();
    // Every byte of a delivery larger than the buffer is scanned: the prompt at its end is
    // found, and the text is what came after the last restart at the front.
    const QByteArray flood = QByteArray(4500, 'x') + "ok#tail";
    QVERIFY(buffer.deliver(flood, "#>", 10));
    QCOMPARE(buffer.text(), QByteArray(500, 'x') + "ok");
    QVERIFY(!buffer.deliver(QByteArray(5000, 'y'), "#>", 0));
    QVERIFY(buffer.text().size() <= ReplyBuffer::Size);
}

void tst_ReplyBuffer::clearResetsFillPosition()
{
    // A capture that failed part-way must not leave the next one filling behind an empty
    // first byte, which would make a real answer read as empty.
    ReplyBuffer buffer;
    buffer.clear();
    buffer.deliver("partial", "#", 0);
    buffer.clear();
    QVERIFY(buffer.text().isEmpty());
    buffer.deliver("2.08#", "#", 0);
    QCOMPARE(buffer.text(), QByteArray("2.08"));
}

void tst_ReplyBuffer::promptAtTheFrontAfterAWrapEndsTheCapture()
{
    // The guard keeps the echo at the start of a reply from ending it; once the reply has
    // wrapped, a prompt that lands at the front of the buffer is the real end.
    ReplyBuffer buffer;
    buffer.clear();
    QVERIFY(!buffer.deliver(QByteArray(996, 'x'), "#", 10));
    QVERIFY(buffer.deliver("2.08\r\n#", "#", 10));
    QCOMPARE(buffer.text(), QByteArray("2.08\r\n"));
}

QTEST_APPLESS_MAIN(tst_ReplyBuffer)
#include "tst_replybuffer.moc"
