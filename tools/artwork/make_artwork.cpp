// Draws Tamrin's artwork into the folder named on the command line: the two brands' splash
// pictures (qnl.bmp, ktq.jpg), the small square logo (telvin.bmp) and the application icon
// (tamrin.png). Everything is painted here with QPainter from gradients, shapes and text in
// whatever sans-serif font the machine has, so the source tree holds no picture files. The
// build runs it offscreen and builds its output into Tamrin as resources under ":/artwork".
// The BMPs are written from 24-bit images and their headers are read back to make sure; any
// file that cannot be written ends the run with status 1.
#include "tools/artwork/BmpHeader.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QRandomGenerator>
#include <QtEndian>

#include <cstdio>

namespace {

// The colours of one brand's splash picture.
struct SplashStyle
{
    QString brand;
    QColor deep;   // background, top left
    QColor light;  // background, bottom right
    QColor accent; // board traces, the band behind the product name, the tagline
};

void report(const QString &message)
{
    std::fprintf(stderr, "tamrin-artwork: %s\n", qPrintable(message));
}

// A sans-serif family the machine has, best first; when none of these is there, the
// fontconfig alias lets the machine choose, and without any font the shapes are still drawn.
QString sansFamily()
{
    static const QStringList preferred = {QStringLiteral("DejaVu Sans"),
                                          QStringLiteral("Liberation Sans"),
                                          QStringLiteral("Noto Sans"),
                                          QStringLiteral("FreeSans")};
    const QStringList installed = QFontDatabase::families();
    for (const QString &family : preferred) {
        if (installed.contains(family))
            return family;
    }
    return QStringLiteral("Sans Serif");
}

// The largest font up to the box's height whose rendering of the text fits the box's width.
QFont fittedFont(const QString &text, const QRectF &box, QFont::Weight weight)
{
    QFont font(sansFamily());
    font.setStyleHint(QFont::SansSerif);
    font.setWeight(weight);
    for (int pixels = qMax(1, int(box.height() * 0.8)); pixels > 6; --pixels) {
        font.setPixelSize(pixels);
        if (QFontMetricsF(font).horizontalAdvance(text) <= box.width())
            return font;
    }
    font.setPixelSize(6);
    return font;
}

// Text centred in the box with a soft shadow below it, so it reads over any background.
void drawTitle(QPainter &painter, const QRectF &box, const QString &text, QFont::Weight weight,
               const QColor &colour)
{
    painter.setFont(fittedFont(text, box, weight));
    const qreal drop = qMax(1.0, box.height() / 30);
    painter.setPen(QColor(0, 0, 0, 110));
    painter.drawText(box.translated(drop, drop), Qt::AlignCenter, text);
    painter.setPen(colour);
    painter.drawText(box, Qt::AlignCenter, text);
}

QRectF band(const QSizeF &size, qreal top, qreal bottom, qreal margin = 0.06)
{
    return QRectF(size.width() * margin, size.height() * top, size.width() * (1 - 2 * margin),
                  size.height() * (bottom - top));
}

void paintBackground(QPainter &painter, const QRectF &area, const SplashStyle &style)
{
    QLinearGradient gradient(area.topLeft(), area.bottomRight());
    gradient.setColorAt(0, style.deep);
    gradient.setColorAt(1, style.light);
    painter.fillRect(area, gradient);
    // A faint glow behind the emblem and the product name.
    QRadialGradient glow(area.center(), qMax(area.width(), area.height()) * 0.6);
    glow.setColorAt(0, QColor(255, 255, 255, 45));
    glow.setColorAt(1, QColor(255, 255, 255, 0));
    painter.fillRect(area, glow);
}

// Circuit-board traces: right-angled runs ending in round pads. They come from a fixed seed
// so that every build draws the same picture.
void paintTraces(QPainter &painter, const QRectF &area, const QColor &accent)
{
    QColor trace = accent;
    trace.setAlpha(70);
    painter.setPen(QPen(trace, qMax(1.5, area.height() / 200)));
    painter.setBrush(trace);
    QRandomGenerator random(208);
    const int count = int(area.width() * area.height() / 9000);
    const qreal pad = qMax(2.0, area.height() / 110);
    for (int i = 0; i < count; ++i) {
        const QPointF start(random.bounded(area.width()), random.bounded(area.height()));
        const qreal run = area.width() * (0.03 + random.bounded(0.12));
        const qreal rise = random.bounded(2) ? run / 2 : -run / 2;
        const QPointF bend = start + QPointF(run, 0);
        const QPointF end = bend + QPointF(run / 2, rise);
        const QPointF points[] = {start, bend, end};
        painter.drawPolyline(points, 3);
        painter.drawEllipse(end, pad, pad);
    }
}

// The pins along one side of the chip, from the box's edge to the body's.
void paintPins(QPainter &painter, const QRectF &box, const QRectF &body)
{
    const int perSide = 5;
    const qreal pitch = body.width() / perSide;
    const qreal width = pitch * 0.45;
    QLinearGradient metal(box.topLeft(), box.bottomRight());
    metal.setColorAt(0, QColor(0xe0, 0xe4, 0xe8));
    metal.setColorAt(1, QColor(0x9a, 0xa3, 0xab));
    painter.setPen(Qt::NoPen);
    painter.setBrush(metal);
    for (int i = 0; i < perSide; ++i) {
        const qreal along = pitch * (i + 0.5) - width / 2;
        painter.drawRect(QRectF(body.left() + along, box.top(), width, body.top() - box.top()));
        painter.drawRect(QRectF(body.left() + along, body.bottom(), width,
                                box.bottom() - body.bottom()));
        painter.drawRect(QRectF(box.left(), body.top() + along, body.left() - box.left(), width));
        painter.drawRect(QRectF(body.right(), body.top() + along, box.right() - body.right(),
                                width));
    }
}

// An upward arrow standing on a bar: the file going up into the unit.
void paintUploadArrow(QPainter &painter, const QRectF &area)
{
    const qreal shaft = area.width() * 0.32;
    const qreal headHeight = area.height() * 0.45;
    QPainterPath arrow;
    arrow.moveTo(area.center().x(), area.top());
    arrow.lineTo(area.right(), area.top() + headHeight);
    arrow.lineTo(area.center().x() + shaft / 2, area.top() + headHeight);
    arrow.lineTo(area.center().x() + shaft / 2, area.bottom() - area.height() * 0.2);
    arrow.lineTo(area.center().x() - shaft / 2, area.bottom() - area.height() * 0.2);
    arrow.lineTo(area.center().x() - shaft / 2, area.top() + headHeight);
    arrow.lineTo(area.left(), area.top() + headHeight);
    arrow.closeSubpath();
    QLinearGradient green(area.topLeft(), area.bottomLeft());
    green.setColorAt(0, QColor(0x9c, 0xf0, 0x5a));
    green.setColorAt(1, QColor(0x2e, 0x9e, 0x44));
    painter.setPen(QPen(QColor(0x1b, 0x5e, 0x20), qMax(1.0, area.width() / 60)));
    painter.setBrush(green);
    painter.drawPath(arrow);
    const QRectF bar(area.left(), area.bottom() - area.height() * 0.1, area.width(),
                     area.height() * 0.1);
    painter.drawRoundedRect(bar, bar.height() / 3, bar.height() / 3);
}

// The application's emblem: a chip with pins on all four sides and an upload arrow on it.
void paintChip(QPainter &painter, const QRectF &box)
{
    const QRectF body = box.adjusted(box.width() * 0.16, box.height() * 0.16,
                                     -box.width() * 0.16, -box.height() * 0.16);
    paintPins(painter, box, body);
    QLinearGradient plastic(body.topLeft(), body.bottomRight());
    plastic.setColorAt(0, QColor(0x45, 0x55, 0x64));
    plastic.setColorAt(1, QColor(0x1c, 0x25, 0x2d));
    painter.setPen(QPen(QColor(0x10, 0x16, 0x1b), qMax(1.0, box.width() / 80)));
    painter.setBrush(plastic);
    const qreal corner = body.width() * 0.08;
    painter.drawRoundedRect(body, corner, corner);
    // The pin-1 mark, as on a real package.
    const qreal mark = body.width() * 0.05;
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xb0, 0xbe, 0xc5));
    painter.drawEllipse(body.topLeft() + QPointF(mark * 2.2, mark * 2.2), mark, mark);
    paintUploadArrow(painter, body.adjusted(body.width() * 0.22, body.height() * 0.14,
                                            -body.width() * 0.22, -body.height() * 0.14));
}

// A splash picture: brand, emblem, product name, tagline, and an accent line at the foot.
QImage paintSplash(const QSize &size, const SplashStyle &style)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QRectF area(QPointF(0, 0), QSizeF(size));
    paintBackground(painter, area, style);
    paintTraces(painter, area, style.accent);

    drawTitle(painter, band(area.size(), 0.05, 0.17), style.brand, QFont::DemiBold,
              QColor(0xf2, 0xf5, 0xf8));
    const qreal emblem = qMin(area.width(), area.height() * 0.31);
    paintChip(painter, QRectF(area.center().x() - emblem / 2, area.height() * 0.19, emblem,
                              emblem));
    QColor shade = style.accent;
    shade.setAlpha(60);
    painter.fillRect(band(area.size(), 0.53, 0.75, 0), shade);
    drawTitle(painter, band(area.size(), 0.53, 0.75), QStringLiteral("Tamrin"), QFont::Bold,
              Qt::white);
    drawTitle(painter, band(area.size(), 0.77, 0.87), QStringLiteral("Firmware loader"),
              QFont::Normal, style.accent.lighter(150));
    painter.fillRect(band(area.size(), 0.92, 0.935, 0.2), style.accent);
    return image;
}

// The small square logo: "TQ" inside a ring, with traces leaving the ring on four sides.
QImage paintLogo(int side)
{
    QImage image(side, side, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF area(0, 0, side, side);
    QLinearGradient gradient(area.topLeft(), area.bottomRight());
    gradient.setColorAt(0, QColor(0x0d, 0x2b, 0x52));
    gradient.setColorAt(1, QColor(0x1f, 0x6f, 0x9a));
    painter.fillRect(area, gradient);

    const QColor accent(0x4d, 0xd0, 0xe1);
    const qreal ring = side * 0.36;
    painter.setPen(QPen(accent, side / 30.0));
    const QPointF centre = area.center();
    painter.drawLine(QPointF(centre.x(), 0), QPointF(centre.x(), centre.y() - ring));
    painter.drawLine(QPointF(centre.x(), side), QPointF(centre.x(), centre.y() + ring));
    painter.drawLine(QPointF(0, centre.y()), QPointF(centre.x() - ring, centre.y()));
    painter.drawLine(QPointF(side, centre.y()), QPointF(centre.x() + ring, centre.y()));
    painter.setBrush(QColor(0x0a, 0x1f, 0x3a));
    painter.drawEllipse(centre, ring, ring);
    const QRectF letters(centre.x() - ring * 0.72, centre.y() - ring * 0.5, ring * 1.44, ring);
    drawTitle(painter, letters, QStringLiteral("TQ"), QFont::Bold, Qt::white);
    return image;
}

// The application icon: the chip on a transparent ground.
QImage paintIcon(int side)
{
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal margin = side * 0.03;
    paintChip(painter, QRectF(margin, margin, side - 2 * margin, side - 2 * margin));
    return image;
}

bool writeBmp(const QImage &image, const QString &path)
{
    if (!image.convertToFormat(QImage::Format_RGB888).save(path, "BMP")) {
        report(QStringLiteral("cannot write %1").arg(path));
        return false;
    }
    if (bmpBitsPerPixel(path) != 24) {
        report(QStringLiteral("%1 was not written as a 24-bit BMP").arg(path));
        return false;
    }
    return true;
}

bool writeImage(const QImage &image, const QString &path, const char *format, int quality)
{
    if (image.save(path, format, quality))
        return true;
    report(QStringLiteral("cannot write %1 (%2)").arg(path, QString::fromLatin1(format)));
    return false;
}

bool writeArtwork(const QDir &folder)
{
    const SplashStyle telvin{QStringLiteral("Telvin Quenby LLC"), QColor(0x0b, 0x1d, 0x3a),
                             QColor(0x1d, 0x5f, 0x8c), QColor(0x4d, 0xd0, 0xe1)};
    const SplashStyle ktq{QStringLiteral("KTQ"), QColor(0x2a, 0x0c, 0x10),
                          QColor(0x8c, 0x2a, 0x1d), QColor(0xff, 0xa0, 0x40)};
    bool written = writeBmp(paintSplash(QSize(600, 400), telvin), folder.filePath("qnl.bmp"));
    written = writeImage(paintSplash(QSize(800, 700), ktq), folder.filePath("ktq.jpg"), "JPEG",
                         92) && written;
    written = writeBmp(paintLogo(152), folder.filePath("telvin.bmp")) && written;
    written = writeImage(paintIcon(256), folder.filePath("tamrin.png"), "PNG", -1) && written;
    return written;
}

} // namespace

int main(int argc, char *argv[])
{
    // Painting into images needs no display, so run offscreen unless told otherwise.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() != 2) {
        report(QStringLiteral("usage: tamrin-artwork OUTPUT-FOLDER"));
        return 2;
    }
    const QDir folder(arguments.at(1));
    if (!folder.mkpath(QStringLiteral("."))) {
        report(QStringLiteral("cannot make the folder %1").arg(folder.path()));
        return 1;
    }
    return writeArtwork(folder) ? 0 : 1;
}
