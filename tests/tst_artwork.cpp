// Tamrin's artwork as the program finds it: the four pictures built in under ":/artwork", each
// read through QImageReader with its file format and size, the BMPs stored with 24 bits per
// pixel (as their headers say), and none of them a single flat colour.
#include "tools/artwork/BmpHeader.h"

#include <QFile>
#include <QImageReader>
#include <QSet>
#include <QtEndian>
#include <QtTest>

class tst_Artwork : public QObject
{
    Q_OBJECT
private slots:
    void pictureHasItsSizeAndFormat_data();
    void pictureHasItsSizeAndFormat();

private:
    static int distinctColours(const QImage &image, int limit);
};

// How many different colours the picture has, counting no further than the limit.
int tst_Artwork::distinctColours(const QImage &image, int limit)
{
    QSet<QRgb> seen;
    for (int y = 0; y < image.height() && seen.size() < limit; ++y) {
        for (int x = 0; x < image.width() && seen.size() < limit; ++x)
            seen.insert(image.pixel(x, y));
    }
    return int(seen.size());
}

void tst_Artwork::pictureHasItsSizeAndFormat_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QSize>("size");
    QTest::newRow("qnl") << ":/artwork/qnl.bmp" << QByteArray("bmp") << QSize(600, 400);
    QTest::newRow("ktq") << ":/artwork/ktq.jpg" << QByteArray("jpeg") << QSize(800, 700);
    QTest::newRow("telvin") << ":/artwork/telvin.bmp" << QByteArray("bmp") << QSize(152, 152);
    QTest::newRow("tamrin") << ":/artwork/tamrin.png" << QByteArray("png") << QSize(256, 256);
}

void tst_Artwork::pictureHasItsSizeAndFormat()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, format);
    QFETCH(QSize, size);
    QImageReader reader(path);
    QCOMPARE(reader.format(), format);
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(image.size(), size);
    if (format == "bmp")
        QCOMPARE(bmpBitsPerPixel(path), 24);
    // Gradients, shapes and text give far more than a handful of colours.
    QVERIFY(distinctColours(image, 64) >= 64);
}

QTEST_GUILESS_MAIN(tst_Artwork)
#include "tst_artwork.moc"
