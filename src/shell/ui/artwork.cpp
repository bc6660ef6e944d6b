#include "shell/ui/artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace ostrel {
namespace {

const QColor kChipBody(52, 56, 64);
const QColor kPin(196, 200, 206);

// An eight-pin chip in `r`, pins left and right, with the notch at the top.
void drawChip(QPainter& p, const QRectF& r) {
    const qreal pinW = r.width() * 0.14;
    const qreal body = r.width() - 2 * pinW;
    p.setPen(Qt::NoPen);
    p.setBrush(kPin);
    for (int i = 0; i < 4; ++i) {
        const qreal y = r.top() + r.height() * (0.14 + 0.22 * i);
        p.drawRect(QRectF(r.left(), y, pinW + 1, r.height() * 0.1));
        p.drawRect(QRectF(r.right() - pinW - 1, y, pinW + 1, r.height() * 0.1));
    }
    QLinearGradient shade(r.topLeft(), r.bottomRight());
    shade.setColorAt(0, kChipBody.lighter(140));
    shade.setColorAt(1, kChipBody);
    p.setBrush(shade);
    const QRectF b(r.left() + pinW, r.top(), body, r.height());
    p.drawRoundedRect(b, 2, 2);
    p.setBrush(kChipBody.darker(160));
    p.drawEllipse(QPointF(b.left() + body * 0.2, b.top() + r.height() * 0.12), body * 0.07,
                  body * 0.07);
}

// A thick arrow from `from` to `to`.
void drawArrow(QPainter& p, QPointF from, QPointF to, const QColor& color) {
    QPen pen(color, 5, Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    const QPointF d = to - from;
    const qreal len = std::hypot(d.x(), d.y());
    const QPointF u = d / len;
    const QPointF n(-u.y(), u.x());
    p.drawLine(from, to - u * 8);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    QPolygonF head;
    head << to << to - u * 12 + n * 8 << to - u * 12 - n * 8;
    p.drawPolygon(head);
}

void drawCheck(QPainter& p, const QRectF& r, const QColor& color, qreal width) {
    QPen pen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    QPainterPath path;
    path.moveTo(r.left(), r.center().y());
    path.lineTo(r.left() + r.width() * 0.38, r.bottom());
    path.lineTo(r.right(), r.top());
    p.drawPath(path);
}

void paint(QPainter& p, ToolPicture picture) {
    // Drawn on a 48 by 48 grid; the painter scales it.
    switch (picture) {
        case ToolPicture::Open: {
            p.setPen(QPen(QColor(150, 110, 20), 1.5));
            p.setBrush(QColor(236, 190, 70));
            p.drawRoundedRect(QRectF(4, 10, 20, 8), 2, 2);
            p.drawRoundedRect(QRectF(4, 14, 40, 26), 3, 3);
            p.setBrush(QColor(250, 214, 110));
            QPolygonF front;
            front << QPointF(10, 22) << QPointF(46, 22) << QPointF(40, 40) << QPointF(4, 40);
            p.drawPolygon(front);
            break;
        }
        case ToolPicture::Save: {
            p.setPen(QPen(QColor(20, 50, 110), 1.5));
            p.setBrush(QColor(48, 98, 190));
            p.drawRoundedRect(QRectF(5, 5, 38, 38), 3, 3);
            p.setBrush(QColor(235, 240, 248));
            p.drawRect(QRectF(12, 5, 24, 14));
            p.setBrush(QColor(48, 98, 190));
            p.drawRect(QRectF(28, 8, 5, 8));
            p.setBrush(Qt::white);
            p.drawRoundedRect(QRectF(10, 25, 28, 16), 2, 2);
            break;
        }
        case ToolPicture::Fill: {
            // A grid of bytes, the lower rows filled.
            p.setPen(QPen(QColor(90, 90, 90), 1));
            for (int row = 0; row < 5; ++row)
                for (int col = 0; col < 5; ++col) {
                    p.setBrush(row >= 2 ? QColor(70, 150, 230) : QColor(245, 245, 245));
                    p.drawRect(QRectF(6 + col * 7.5, 6 + row * 7.5, 7, 7));
                }
            drawArrow(p, QPointF(44, 4), QPointF(44, 26), QColor(30, 110, 200));
            break;
        }
        case ToolPicture::Bank: {
            drawChip(p, QRectF(4, 8, 28, 32));
            p.setPen(QPen(QColor(60, 60, 60), 4, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(36, 36), QPointF(45, 45));
            p.setPen(QPen(QColor(60, 60, 60), 2.5));
            p.setBrush(QColor(210, 235, 255, 200));
            p.drawEllipse(QPointF(30, 28), 10, 10);
            break;
        }
        case ToolPicture::Auto: {
            drawChip(p, QRectF(4, 8, 28, 32));
            p.setPen(QPen(QColor(20, 110, 40), 1.5));
            p.setBrush(QColor(60, 190, 80));
            QPolygonF bolt;
            bolt << QPointF(34, 6) << QPointF(24, 27) << QPointF(32, 27) << QPointF(27, 44)
                 << QPointF(44, 20) << QPointF(35, 20) << QPointF(42, 6);
            p.drawPolygon(bolt);
            break;
        }
        case ToolPicture::Erase: {
            p.translate(24, 26);
            p.rotate(-35);
            p.setPen(QPen(QColor(120, 60, 70), 1.5));
            p.setBrush(QColor(240, 130, 150));
            p.drawRoundedRect(QRectF(-18, -9, 22, 18), 3, 3);
            p.setBrush(QColor(90, 130, 210));
            p.drawRoundedRect(QRectF(4, -9, 14, 18), 3, 3);
            p.resetTransform();
            p.setPen(QPen(QColor(150, 150, 150), 2, Qt::DashLine));
            p.drawLine(QPointF(4, 44), QPointF(44, 44));
            break;
        }
        case ToolPicture::Write:
            drawChip(p, QRectF(10, 20, 28, 26));
            drawArrow(p, QPointF(24, 2), QPointF(24, 30), QColor(210, 50, 40));
            break;
        case ToolPicture::Read:
            drawChip(p, QRectF(10, 20, 28, 26));
            drawArrow(p, QPointF(24, 32), QPointF(24, 2), QColor(40, 160, 60));
            break;
        case ToolPicture::Verify:
            drawChip(p, QRectF(4, 8, 28, 32));
            drawCheck(p, QRectF(22, 14, 22, 20), QColor(30, 150, 50), 6);
            break;
        case ToolPicture::Bulk:
            drawChip(p, QRectF(18, 4, 24, 22));
            drawChip(p, QRectF(11, 13, 24, 22));
            drawChip(p, QRectF(4, 22, 24, 22));
            break;
        case ToolPicture::Device: {
            // The chip catalogue: a stack of records.
            p.setPen(QPen(QColor(60, 80, 110), 1.5));
            for (int i = 2; i >= 0; --i) {
                const qreal y = 10 + i * 11;
                p.setBrush(QColor(110, 150, 200));
                p.drawRect(QRectF(8, y, 32, 11));
                p.setBrush(QColor(170, 200, 235));
                p.drawEllipse(QRectF(8, y - 5, 32, 10));
            }
            p.setBrush(QColor(110, 150, 200));
            p.drawChord(QRectF(8, 38, 32, 10), 180 * 16, 180 * 16);
            break;
        }
        case ToolPicture::About: {
            p.setPen(QPen(QColor(20, 70, 150), 1.5));
            QRadialGradient glow(QPointF(20, 18), 26);
            glow.setColorAt(0, QColor(120, 180, 250));
            glow.setColorAt(1, QColor(30, 100, 200));
            p.setBrush(glow);
            p.drawEllipse(QPointF(24, 24), 20, 20);
            p.setPen(Qt::NoPen);
            p.setBrush(Qt::white);
            p.drawEllipse(QPointF(24, 14), 3.2, 3.2);
            p.drawRoundedRect(QRectF(21, 20, 6, 16), 2, 2);
            break;
        }
    }
}

}  // namespace

QPixmap toolPixmap(ToolPicture picture, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 48.0, size / 48.0);
    paint(p, picture);
    return pixmap;
}

QIcon toolIcon(ToolPicture picture) {
    QIcon icon;
    icon.addPixmap(toolPixmap(picture, 48));
    icon.addPixmap(toolPixmap(picture, 96));
    return icon;
}

QPixmap programPicture(int width, int height) {
    QPixmap pixmap(width, height);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    // The programmer: a board with the socket lever, and a chip in the socket.
    const QRectF board(width * 0.08, height * 0.12, width * 0.84, height * 0.76);
    QLinearGradient green(board.topLeft(), board.bottomLeft());
    green.setColorAt(0, QColor(40, 140, 90));
    green.setColorAt(1, QColor(20, 90, 60));
    p.setPen(QPen(QColor(15, 60, 40), 2));
    p.setBrush(green);
    p.drawRoundedRect(board, 8, 8);
    const QRectF socket(board.left() + board.width() * 0.32, board.top() + board.height() * 0.14,
                        board.width() * 0.36, board.height() * 0.72);
    p.setBrush(QColor(35, 35, 38));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(socket, 4, 4);
    p.setBrush(QColor(200, 160, 40));
    p.drawRect(QRectF(socket.right() - 4, socket.top() - height * 0.08, 4, height * 0.1));
    drawChip(p, socket.adjusted(socket.width() * 0.15, socket.height() * 0.1,
                                -socket.width() * 0.15, -socket.height() * 0.45));
    // The USB plug on the left and the busy lamp on the right.
    p.setBrush(QColor(180, 185, 190));
    p.drawRect(QRectF(board.left() - width * 0.06, board.center().y() - height * 0.08, width * 0.08,
                      height * 0.16));
    p.setBrush(QColor(255, 90, 60));
    p.drawEllipse(QPointF(board.right() - board.width() * 0.12, board.top() + board.height() * 0.2),
                  height * 0.05, height * 0.05);
    return pixmap;
}

}  // namespace ostrel
