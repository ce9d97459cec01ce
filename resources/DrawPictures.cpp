// Draws the window's pictures into PNG files. The pictures are committed in
// resources/pictures; run the `pictures` target to draw them again after a
// change here. Every picture is drawn on a 16 x 16 grid and rendered at each
// size it ships in, so the larger copies stay sharp on high-DPI screens.

#include "tools/OutputFolder.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

namespace {

using Draw = std::function<void(QPainter&)>;

const QColor kOutline(40, 40, 40);

QPen outlinePen(const QColor& color, qreal width = 1.0)
{
    QPen pen(color, width);
    pen.setJoinStyle(Qt::MiterJoin);
    return pen;
}

// A plus sign made of two bars, filled and outlined.
void drawPlus(QPainter& p)
{
    QPainterPath plus;
    plus.addRect(6.5, 2.5, 3, 11);
    plus.addRect(2.5, 6.5, 11, 3);
    plus.setFillRule(Qt::WindingFill);
    p.setPen(outlinePen(QColor(0, 100, 0)));
    p.setBrush(QColor(40, 180, 40));
    p.drawPath(plus.simplified());
}

void drawCross(QPainter& p)
{
    QPen pen(QColor(120, 0, 0), 4.2, Qt::SolidLine, Qt::FlatCap);
    p.setPen(pen);
    p.drawLine(QPointF(3, 3), QPointF(13, 13));
    p.drawLine(QPointF(13, 3), QPointF(3, 13));
    pen.setColor(QColor(225, 30, 30));
    pen.setWidthF(2.4);
    p.setPen(pen);
    p.drawLine(QPointF(3.6, 3.6), QPointF(12.4, 12.4));
    p.drawLine(QPointF(12.4, 3.6), QPointF(3.6, 12.4));
}

// A thick arrow along `points` (tail to tip) with its head at the last point.
void drawArrow(QPainter& p, QPointF tail, QPointF tip, qreal width, const QColor& fill)
{
    const QLineF shaft(tail, tip);
    const QLineF unit = shaft.unitVector();
    const QPointF direction(unit.dx(), unit.dy());
    const QPointF normal(-direction.y(), direction.x());
    const qreal headLength = width * 1.6;
    const qreal headHalf = width * 1.3;
    const QPointF neck = tip - direction * headLength;
    QPolygonF arrow;
    arrow << tail + normal * (width / 2) << neck + normal * (width / 2) << neck + normal * headHalf
          << tip << neck - normal * headHalf << neck - normal * (width / 2)
          << tail - normal * (width / 2);
    p.setPen(outlinePen(QColor(0, 90, 0), 0.9));
    p.setBrush(fill);
    p.drawPolygon(arrow);
}

void drawArrowUpLeft(QPainter& p)
{
    drawArrow(p, QPointF(14, 14), QPointF(2, 2), 3.2, QColor(50, 190, 50));
}

void drawDoor(QPainter& p)
{
    // Frame and the dark opening behind the door.
    p.setPen(outlinePen(QColor(70, 45, 20)));
    p.setBrush(QColor(60, 60, 60));
    p.drawRect(QRectF(1.5, 1.5, 8, 13));
    // The door, swung open towards the viewer.
    QPolygonF door;
    door << QPointF(1.5, 1.5) << QPointF(6.5, 3.5) << QPointF(6.5, 15.5) << QPointF(1.5, 14.5);
    p.setBrush(QColor(170, 110, 50));
    p.drawPolygon(door);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(240, 210, 80));
    p.drawEllipse(QPointF(5.3, 9.5), 0.7, 0.7);
    drawArrow(p, QPointF(7.5, 8), QPointF(15, 8), 2.6, QColor(50, 190, 50));
}

void drawNotesPage(QPainter& p)
{
    QPolygonF page;
    page << QPointF(2.5, 0.5) << QPointF(10.5, 0.5) << QPointF(13.5, 3.5) << QPointF(13.5, 15.5)
         << QPointF(2.5, 15.5);
    p.setPen(outlinePen(QColor(110, 110, 110)));
    p.setBrush(Qt::white);
    p.drawPolygon(page);
    QPolygonF fold;
    fold << QPointF(10.5, 0.5) << QPointF(10.5, 3.5) << QPointF(13.5, 3.5);
    p.setBrush(QColor(215, 215, 215));
    p.drawPolygon(fold);
    QPen letter(QColor(20, 60, 210), 1.8, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
    p.setPen(letter);
    p.setBrush(Qt::NoBrush);
    QPolygonF n;
    n << QPointF(5, 13) << QPointF(5, 5.5) << QPointF(10.5, 13) << QPointF(10.5, 5.5);
    p.drawPolyline(n);
}

void drawTools(QPainter& p)
{
    // Wrench: a shaft from bottom left to top right with an open jaw.
    p.save();
    p.translate(8, 8);
    p.rotate(45);
    p.setPen(outlinePen(QColor(60, 60, 70), 0.8));
    p.setBrush(QColor(175, 180, 195));
    QPainterPath wrench;
    wrench.addRoundedRect(QRectF(-1.3, -4, 2.6, 11.5), 1, 1);
    QPainterPath jaw;
    jaw.addEllipse(QPointF(0, -5.2), 3.2, 3.2);
    QPainterPath mouth;
    mouth.addRect(QRectF(-1.1, -9, 2.2, 4.2));
    p.drawPath(wrench.united(jaw).subtracted(mouth));
    p.restore();
    // Hammer: a wooden handle from bottom right to top left with a steel head.
    p.save();
    p.translate(8, 8);
    p.rotate(-45);
    p.setPen(outlinePen(QColor(80, 50, 20), 0.8));
    p.setBrush(QColor(190, 130, 60));
    p.drawRoundedRect(QRectF(-1.1, -3.5, 2.2, 11.5), 0.8, 0.8);
    p.setPen(outlinePen(QColor(40, 40, 50), 0.8));
    p.setBrush(QColor(110, 115, 130));
    p.drawRect(QRectF(-4.5, -7, 9, 3.6));
    p.restore();
}

// The run button's picture: an arrow leading from one frame into another.
void drawRunBackup(QPainter& p)
{
    p.setPen(outlinePen(QColor(30, 60, 130)));
    p.setBrush(QColor(200, 220, 250));
    p.drawRect(QRectF(0.5, 0.5, 7, 7));
    p.setBrush(QColor(255, 240, 170));
    p.setPen(outlinePen(QColor(140, 100, 20)));
    p.drawRect(QRectF(8.5, 8.5, 7, 7));
    drawArrow(p, QPointF(4, 4), QPointF(13, 13), 2.4, QColor(50, 190, 50));
}

// The program's own icon: a storage box with an arrow going into it.
void drawApplication(QPainter& p)
{
    p.setPen(outlinePen(QColor(30, 50, 100)));
    p.setBrush(QColor(70, 110, 190));
    p.drawRoundedRect(QRectF(1.5, 8.5, 13, 6.5), 1.2, 1.2);
    p.setBrush(QColor(150, 190, 240));
    p.drawRect(QRectF(3, 10.5, 10, 2));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(80, 230, 80));
    p.drawEllipse(QPointF(12.3, 13.6), 0.7, 0.7);
    drawArrow(p, QPointF(8, 0.5), QPointF(8, 10), 2.8, QColor(50, 190, 50));
}

struct Picture
{
    const char* name;
    Draw draw;
    std::vector<int> sizes;
};

bool render(const QString& folder, const Picture& picture, int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 16.0, size / 16.0);
    picture.draw(painter);
    painter.end();
    const QString file = QStringLiteral("%1/%2-%3.png").arg(folder).arg(picture.name).arg(size);
    if (!image.save(file)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication application(argc, argv);
    const std::optional<QString> folder = tarvik::tools::outputFolder(argc, argv);
    if (!folder)
        return 2;
    const std::vector<Picture> pictures = {
        {"plus", drawPlus, {16, 32}},           {"exit", drawDoor, {16, 32}},
        {"notes", drawNotesPage, {16, 32}},     {"arrow", drawArrowUpLeft, {16, 32}},
        {"cross", drawCross, {16, 32}},         {"tools", drawTools, {16, 32}},
        {"runbackup", drawRunBackup, {16, 32}}, {"application", drawApplication, {16, 32, 48, 64}},
    };
    bool ok = true;
    for (const Picture& picture : pictures)
        for (int size : picture.sizes)
            ok = render(*folder, picture, size) && ok;
    return ok ? 0 : 1;
}
