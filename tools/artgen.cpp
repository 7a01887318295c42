// Draws the program's pictures at build time: tree folders, program icon, background and the
// pictures of the main window's buttons. Everything is painted here from shapes, so the build
// needs no image files of anyone else.
//
//   artgen FILE...
//     draws each FILE, making its folder where needed. The file's name says which picture it is
//     (00032.ico, tick.png, ...); a PNG named by the application id in a hicolor theme's NxN/apps
//     folder is the program icon at N pixels. The build names every picture it installs, so that it knows each one as
//     an output and draws again whichever is missing; a name artgen does not know is an error.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLinearGradient>
#include <QList>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QtEndian>
#include <cstdio>
#include <functional>
#include <utility>

namespace {

using Drawing = std::function<void(QPainter&)>;

// Paints a drawing given in a grid x grid design space onto a size x size picture.
QImage render(int size, qreal grid, const Drawing& draw) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / grid, size / grid);
    draw(painter);
    painter.end();
    return image;
}

QPen outline(const QColor& color, qreal width = 1.0) {
    QPen pen(color, width);
    pen.setJoinStyle(Qt::RoundJoin);
    pen.setCapStyle(Qt::RoundCap);
    return pen;
}

QLinearGradient vertical(qreal top, qreal bottom, const QColor& from, const QColor& to) {
    QLinearGradient gradient(0, top, 0, bottom);
    gradient.setColorAt(0, from);
    gradient.setColorAt(1, to);
    return gradient;
}

// --- tree folders, 16-unit grid; lines sit on half units so that 16 and 32 pixels stay crisp ---

void folderBack(QPainter& p) {
    QPainterPath back;
    back.moveTo(1.5, 3.5);
    back.lineTo(1.5, 2.5);
    back.lineTo(6.0, 2.5);
    back.lineTo(7.5, 4.0);
    back.lineTo(14.5, 4.0);
    back.lineTo(14.5, 13.5);
    back.lineTo(1.5, 13.5);
    back.closeSubpath();
    p.setPen(outline(QColor(0xa8, 0x7a, 0x22)));
    p.setBrush(vertical(2, 13, QColor(0xf0, 0xc4, 0x5c), QColor(0xd8, 0xa2, 0x38)));
    p.drawPath(back);
}

void closedFolder(QPainter& p) {
    folderBack(p);
    p.setPen(outline(QColor(0xa8, 0x7a, 0x22)));
    p.setBrush(vertical(5.5, 13.5, QColor(0xff, 0xe6, 0x9a), QColor(0xf2, 0xc0, 0x4e)));
    p.drawRoundedRect(QRectF(1.5, 5.5, 13, 8), 0.6, 0.6);
    p.setPen(outline(QColor(255, 250, 225, 200), 0.8));
    p.drawLine(QPointF(2.6, 6.6), QPointF(13.4, 6.6));
}

void openFolder(QPainter& p) {
    folderBack(p);
    // A sheet inside shows that the folder is the open one.
    p.setPen(outline(QColor(0x7d, 0x98, 0xb8), 0.8));
    p.setBrush(QColor(0xfb, 0xfd, 0xff));
    p.drawRect(QRectF(3.5, 3.8, 9.5, 7));
    p.setPen(outline(QColor(0x9c, 0xbc, 0xe0), 0.7));
    p.drawLine(QPointF(5, 5.6), QPointF(11.5, 5.6));
    p.drawLine(QPointF(5, 7.2), QPointF(10.5, 7.2));
    QPainterPath flap;
    flap.moveTo(4.0, 7.5);
    flap.lineTo(15.0, 7.5);
    flap.lineTo(12.8, 13.5);
    flap.lineTo(1.5, 13.5);
    flap.closeSubpath();
    p.setPen(outline(QColor(0xa8, 0x7a, 0x22)));
    p.setBrush(vertical(7.5, 13.5, QColor(0xff, 0xee, 0xb0), QColor(0xf6, 0xc8, 0x58)));
    p.drawPath(flap);
}

// --- the program's icon: a blue safe with a dial and a key hole, 64-unit grid ---

void safeIcon(QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1d, 0x3f, 0x6e));
    p.drawRoundedRect(QRectF(12, 55, 9, 6), 1.5, 1.5);
    p.drawRoundedRect(QRectF(43, 55, 9, 6), 1.5, 1.5);

    p.setPen(outline(QColor(0x17, 0x3c, 0x70), 1.6));
    p.setBrush(vertical(5, 58, QColor(0x5c, 0x9b, 0xe2), QColor(0x1f, 0x57, 0xa3)));
    p.drawRoundedRect(QRectF(5, 5, 54, 52), 8, 8);

    p.setPen(outline(QColor(0x1c, 0x48, 0x85), 1.2));
    p.setBrush(vertical(11, 51, QColor(0x8c, 0xbd, 0xf2), QColor(0x35, 0x74, 0xc4)));
    p.drawRoundedRect(QRectF(11, 11, 42, 40), 5, 5);
    p.setPen(outline(QColor(255, 255, 255, 90), 1.0));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(12.5, 12.5, 39, 37), 4, 4);

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1d, 0x3f, 0x6e));
    p.drawRoundedRect(QRectF(7.5, 17, 5, 8), 1.5, 1.5);
    p.drawRoundedRect(QRectF(7.5, 37, 5, 8), 1.5, 1.5);

    const QPointF centre(32, 31);
    QRadialGradient silver(centre - QPointF(4, 4), 16);
    silver.setColorAt(0, QColor(0xff, 0xff, 0xff));
    silver.setColorAt(1, QColor(0xae, 0xbf, 0xd6));
    p.setPen(outline(QColor(0x2c, 0x4d, 0x7c), 1.4));
    p.setBrush(silver);
    p.drawEllipse(centre, 13, 13);
    p.setPen(outline(QColor(0x4d, 0x6a, 0x92), 1.0));
    for (int i = 0; i < 12; ++i) {
        p.save();
        p.translate(centre);
        p.rotate(i * 30.0);
        p.drawLine(QPointF(0, -11.2), QPointF(0, i % 3 == 0 ? -8.6 : -9.8));
        p.restore();
    }
    QPainterPath keyHole;
    keyHole.addEllipse(QPointF(32, 28.5), 3.4, 3.4);
    QPainterPath slot;
    slot.moveTo(30.4, 30);
    slot.lineTo(33.6, 30);
    slot.lineTo(35, 37.5);
    slot.lineTo(29, 37.5);
    slot.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x14, 0x2b, 0x4d));
    p.drawPath(keyHole.united(slot));
}

// --- button pictures ---

void padlock(QPainter& p) { // 28-unit grid
    p.setBrush(Qt::NoBrush);
    p.setPen(outline(QColor(0x5d, 0x6b, 0x80), 3.4));
    QPainterPath shackle;
    shackle.moveTo(8.5, 13);
    shackle.lineTo(8.5, 9.5);
    shackle.arcTo(QRectF(8.5, 3.5, 11, 12), 180, -180);
    shackle.lineTo(19.5, 13);
    p.drawPath(shackle);
    p.setPen(outline(QColor(0xc6, 0xd0, 0xdc), 1.2));
    p.drawPath(shackle);

    p.setPen(outline(QColor(0x9a, 0x6c, 0x12), 1.2));
    p.setBrush(vertical(12, 25, QColor(0xff, 0xdf, 0x7e), QColor(0xdb, 0x9e, 0x22)));
    p.drawRoundedRect(QRectF(5, 12, 18, 13.5), 2.5, 2.5);
    p.setPen(outline(QColor(255, 250, 220, 160), 1.0));
    p.drawLine(QPointF(6.8, 13.8), QPointF(21.2, 13.8));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x5a, 0x3c, 0x08));
    p.drawEllipse(QPointF(14, 17.6), 2.1, 2.1);
    p.drawRect(QRectF(13.1, 18, 1.8, 4.2));
}

void newDocument(QPainter& p) { // 32-unit grid
    QPainterPath page;
    page.moveTo(6.5, 2.5);
    page.lineTo(19.5, 2.5);
    page.lineTo(25.5, 8.5);
    page.lineTo(25.5, 29.5);
    page.lineTo(6.5, 29.5);
    page.closeSubpath();
    p.setPen(outline(QColor(0x58, 0x7c, 0xa8)));
    p.setBrush(vertical(2, 30, QColor(0xff, 0xff, 0xff), QColor(0xe2, 0xec, 0xf8)));
    p.drawPath(page);
    QPainterPath corner;
    corner.moveTo(19.5, 2.5);
    corner.lineTo(19.5, 8.5);
    corner.lineTo(25.5, 8.5);
    corner.closeSubpath();
    p.setBrush(QColor(0xc8, 0xda, 0xf0));
    p.drawPath(corner);
    p.setPen(outline(QColor(0xa4, 0xbf, 0xe0), 1.2));
    for (int i = 0; i < 4; ++i) {
        p.drawLine(QPointF(9.5, 12 + i * 3.5), QPointF(i % 2 == 0 ? 22.5 : 19, 12 + i * 3.5));
    }
    QRadialGradient green(QPointF(21.5, 21.5), 9);
    green.setColorAt(0, QColor(0x7c, 0xd8, 0x6c));
    green.setColorAt(1, QColor(0x2c, 0x98, 0x36));
    p.setPen(outline(QColor(0x1f, 0x74, 0x28), 1.2));
    p.setBrush(green);
    p.drawEllipse(QPointF(23, 23), 7.5, 7.5);
    p.setPen(outline(Qt::white, 2.6));
    p.drawLine(QPointF(23, 19), QPointF(23, 27));
    p.drawLine(QPointF(19, 23), QPointF(27, 23));
}

void redCross(QPainter& p) { // 26-unit grid
    QRadialGradient red(QPointF(10, 9), 14);
    red.setColorAt(0, QColor(0xff, 0x8a, 0x80));
    red.setColorAt(1, QColor(0xc4, 0x25, 0x25));
    p.setPen(outline(QColor(0x93, 0x18, 0x18), 1.2));
    p.setBrush(red);
    p.drawEllipse(QPointF(13, 13), 11, 11);
    p.setPen(outline(Qt::white, 3.2));
    p.drawLine(QPointF(9, 9), QPointF(17, 17));
    p.drawLine(QPointF(17, 9), QPointF(9, 17));
}

void disk(QPainter& p) { // 24-unit grid
    QPainterPath body;
    body.moveTo(3.5, 2.5);
    body.lineTo(18.5, 2.5);
    body.lineTo(21.5, 5.5);
    body.lineTo(21.5, 20.5);
    body.quadTo(21.5, 21.5, 20.5, 21.5);
    body.lineTo(3.5, 21.5);
    body.quadTo(2.5, 21.5, 2.5, 20.5);
    body.lineTo(2.5, 3.5);
    body.quadTo(2.5, 2.5, 3.5, 2.5);
    p.setPen(outline(QColor(0x1a, 0x42, 0x74)));
    p.setBrush(vertical(2, 22, QColor(0x58, 0x94, 0xdc), QColor(0x24, 0x58, 0x9c)));
    p.drawPath(body);
    p.setPen(outline(QColor(0x6f, 0x80, 0x96)));
    p.setBrush(vertical(2.5, 9.5, QColor(0xf2, 0xf5, 0xf9), QColor(0xc4, 0xcf, 0xdc)));
    p.drawRect(QRectF(6.5, 2.5, 10, 7));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x3a, 0x4d, 0x66));
    p.drawRect(QRectF(13, 3.8, 2.2, 4.6));
    p.setPen(outline(QColor(0x9a, 0xae, 0xc6)));
    p.setBrush(QColor(0xfd, 0xfe, 0xff));
    p.drawRoundedRect(QRectF(5.5, 12.5, 13, 9), 0.8, 0.8);
    p.setPen(outline(QColor(0xb4, 0xc8, 0xe2), 1.0));
    p.drawLine(QPointF(7.5, 15.5), QPointF(16.5, 15.5));
    p.drawLine(QPointF(7.5, 18.5), QPointF(14.5, 18.5));
}

void undoArrow(QPainter& p) { // 24-unit grid
    QPainterPath bend;
    bend.moveTo(8.5, 8.5);
    bend.lineTo(14, 8.5);
    bend.cubicTo(22, 8.5, 22, 19.5, 14, 19.5);
    bend.lineTo(7.5, 19.5);
    QPainterPath head;
    head.moveTo(2.5, 8.5);
    head.lineTo(10, 3);
    head.lineTo(10, 14);
    head.closeSubpath();
    const QColor dark(0xb0, 0x5c, 0x0c);
    p.setBrush(Qt::NoBrush);
    p.setPen(outline(dark, 5.4));
    p.drawPath(bend);
    p.setPen(outline(dark, 1.4));
    p.setBrush(dark);
    p.drawPath(head);
    const QLinearGradient orange = vertical(3, 20, QColor(0xff, 0xc0, 0x5c), QColor(0xec, 0x84, 0x1c));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QBrush(orange), 3.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(bend);
    p.setPen(Qt::NoPen);
    p.setBrush(orange);
    QPainterPath inner;
    inner.moveTo(4.2, 8.5);
    inner.lineTo(9.1, 4.9);
    inner.lineTo(9.1, 12.1);
    inner.closeSubpath();
    p.drawPath(inner);
}

// --- the skin's drop-down arrow, 9 x 5 ---

QImage dropArrow(const QColor& color) {
    QImage image(9, 5, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawPolygon(QPolygonF({QPointF(0, 0), QPointF(9, 0), QPointF(4.5, 5)}));
    p.end();
    return image;
}

// --- the skin's tick for the entry list's tick boxes, 13 x 13 ---

QImage tickMark(const QColor& color) {
    QImage image(13, 13, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(color, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({QPointF(2.5, 6.8), QPointF(5.3, 9.6), QPointF(10.5, 3.2)}));
    p.end();
    return image;
}

// --- the main window's background, 760 x 510: calm, so that labels stay readable on it ---

QImage background() {
    QImage image(760, 510, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 260, 510);
    sky.setColorAt(0, QColor(0xf3, 0xf8, 0xfd));
    sky.setColorAt(1, QColor(0xd9, 0xe7, 0xf6));
    p.fillRect(image.rect(), sky);

    p.setPen(Qt::NoPen);
    const struct {
        QPointF centre;
        qreal radius;
        int alpha;
    } circles[] = {{{700, 470}, 230, 38}, {{610, 520}, 140, 30}, {{760, 40}, 120, 26}, {{40, 520}, 160, 20}};
    for (const auto& circle : circles) {
        QRadialGradient glow(circle.centre, circle.radius);
        glow.setColorAt(0, QColor(255, 255, 255, circle.alpha));
        glow.setColorAt(0.85, QColor(255, 255, 255, circle.alpha / 2));
        glow.setColorAt(1, QColor(255, 255, 255, 0));
        p.setBrush(glow);
        p.drawEllipse(circle.centre, circle.radius, circle.radius);
    }
    // Two soft waves across the lower part.
    for (int i = 0; i < 2; ++i) {
        QPainterPath wave;
        const qreal base = 420 + i * 38;
        wave.moveTo(0, base);
        wave.cubicTo(220, base - 60, 480, base + 50, 760, base - 30);
        wave.lineTo(760, 510);
        wave.lineTo(0, 510);
        wave.closeSubpath();
        p.setBrush(QColor(0x9c, 0xc0, 0xe8, 22 + i * 10));
        p.drawPath(wave);
    }
    p.end();
    return image;
}

// --- ICO files, written by hand: Qt's ico writer puts one picture in a file, the tree wants
// 16 and 32 pixels in each ---

void putLe16(QByteArray& bytes, quint16 value) {
    value = qToLittleEndian(value);
    bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
}

void putLe32(QByteArray& bytes, quint32 value) {
    value = qToLittleEndian(value);
    bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
}

// One picture as an icon resource: 32-bit BGRA rows bottom-up, then the 1-bit transparency mask.
QByteArray iconBitmap(const QImage& picture) {
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    const int w = image.width();
    const int h = image.height();
    const int maskStride = ((w + 31) / 32) * 4;
    QByteArray bytes;
    putLe32(bytes, 40);
    putLe32(bytes, static_cast<quint32>(w));
    putLe32(bytes, static_cast<quint32>(2 * h));
    putLe16(bytes, 1);
    putLe16(bytes, 32);
    putLe32(bytes, 0);
    putLe32(bytes, static_cast<quint32>(h * (w * 4 + maskStride)));
    for (int i = 0; i < 4; ++i) {
        putLe32(bytes, 0);
    }
    for (int y = h - 1; y >= 0; --y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            bytes.append(static_cast<char>(qBlue(row[x])));
            bytes.append(static_cast<char>(qGreen(row[x])));
            bytes.append(static_cast<char>(qRed(row[x])));
            bytes.append(static_cast<char>(qAlpha(row[x])));
        }
    }
    for (int y = h - 1; y >= 0; --y) {
        QByteArray mask(maskStride, '\0');
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            if (qAlpha(row[x]) == 0) {
                mask[x / 8] = static_cast<char>(mask[x / 8] | (0x80 >> (x % 8)));
            }
        }
        bytes.append(mask);
    }
    return bytes;
}

QByteArray iconFile(const QList<QImage>& pictures) {
    QByteArray bytes;
    putLe16(bytes, 0);
    putLe16(bytes, 1);
    putLe16(bytes, static_cast<quint16>(pictures.size()));
    QList<QByteArray> bitmaps;
    for (const QImage& picture : pictures) {
        bitmaps.append(iconBitmap(picture));
    }
    quint32 offset = static_cast<quint32>(6 + 16 * pictures.size());
    for (qsizetype i = 0; i < pictures.size(); ++i) {
        const int w = pictures[i].width();
        const int h = pictures[i].height();
        bytes.append(static_cast<char>(w >= 256 ? 0 : w));
        bytes.append(static_cast<char>(h >= 256 ? 0 : h));
        bytes.append('\0');
        bytes.append('\0');
        putLe16(bytes, 1);
        putLe16(bytes, 32);
        putLe32(bytes, static_cast<quint32>(bitmaps[i].size()));
        putLe32(bytes, offset);
        offset += static_cast<quint32>(bitmaps[i].size());
    }
    for (const QByteArray& bitmap : bitmaps) {
        bytes.append(bitmap);
    }
    return bytes;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "artgen: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

bool writePng(const QString& path, const QImage& image) {
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "artgen: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

QByteArray iconOf(const Drawing& draw, qreal grid, std::initializer_list<int> sizes) {
    QList<QImage> pictures;
    for (int size : sizes) {
        pictures.append(render(size, grid, draw));
    }
    return iconFile(pictures);
}

// The theme size N of a path ending in NxN/apps/<application id>.png, or 0.
int themeIconSize(const QFileInfo& file) {
    if (file.fileName() != QStringLiteral(VAULTRY_APP_ID ".png") || file.dir().dirName() != u"apps") {
        return 0;
    }
    const QStringList sides = QFileInfo(QFileInfo(file.path()).path()).fileName().split(u'x');
    bool wide = false;
    bool high = false;
    const int width = sides.size() == 2 ? sides[0].toInt(&wide) : 0;
    const int height = sides.size() == 2 ? sides[1].toInt(&high) : 0;
    return wide && high && width == height && width > 0 ? width : 0;
}

bool draw(const QString& path) {
    const QFileInfo file(path);
    if (!QDir().mkpath(file.path())) {
        std::fprintf(stderr, "artgen: cannot create the folder of %s\n", qPrintable(path));
        return false;
    }
    if (const int size = themeIconSize(file); size > 0) {
        return writePng(path, render(size, 64, safeIcon));
    }
    const QString name = file.fileName();
    if (name == u"00032.ico") {
        return writeFile(path, iconOf(closedFolder, 16, {16, 32}));
    }
    if (name == u"00023.ico") {
        return writeFile(path, iconOf(openFolder, 16, {16, 32}));
    }
    if (name == u"vaultry.ico") {
        return writeFile(path, iconOf(safeIcon, 64, {16, 32, 48, 64}));
    }
    const QList<std::pair<const char16_t*, std::function<QImage()>>> pictures = {
        {u"vaultry.png", [] { return render(64, 64, safeIcon); }},
        {u"background.png", [] { return background(); }},
        {u"read.png", [] { return render(28, 28, padlock); }},
        {u"new.png", [] { return render(32, 32, newDocument); }},
        {u"del.png", [] { return render(26, 26, redCross); }},
        {u"save.png", [] { return render(24, 24, disk); }},
        {u"cancel.png", [] { return render(24, 24, undoArrow); }},
        {u"arrow-down.png", [] { return dropArrow(QColor(0x35, 0x52, 0x78)); }},
        {u"arrow-down-disabled.png", [] { return dropArrow(QColor(0x9c, 0xa6, 0xb3)); }},
        {u"tick.png", [] { return tickMark(QColor(0x1f, 0x4f, 0x8a)); }},
    };
    for (const auto& [known, picture] : pictures) {
        if (name == QStringView(known)) {
            return writePng(path, picture());
        }
    }
    std::fprintf(stderr, "artgen: no picture is called %s\n", qPrintable(path));
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: artgen FILE...\n");
        return 2;
    }
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        ok = draw(QString::fromLocal8Bit(argv[i])) && ok;
    }
    return ok ? 0 : 1;
}
