#include "ui/Icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <functional>

namespace {

const QColor kBlue(30, 90, 200);
// The reverse commands' colour.
const QColor kAmber(210, 120, 10);

QIcon Draw(const std::function<void(QPainter&)>& paint) {
    QIcon icon;
    for (int size : {16, 24, 32, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 32.0, size / 32.0);
        paint(painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

void ArrowHead(QPainter& p, QPointF tip, double angleDegrees, const QColor& colour) {
    p.save();
    p.translate(tip);
    p.rotate(angleDegrees);
    QPainterPath head;
    head.moveTo(0, 0);
    head.lineTo(-8, -5.5);
    head.lineTo(-8, 5.5);
    head.closeSubpath();
    p.fillPath(head, colour);
    p.restore();
}

// Three short lines standing for code.
void CodeLines(QPainter& p) {
    p.setPen(QPen(QColor(120, 120, 120), 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(14, 8), QPointF(28, 8));
    p.drawLine(QPointF(14, 16), QPointF(28, 16));
    p.drawLine(QPointF(14, 24), QPointF(28, 24));
}

}  // namespace

QIcon RunIcon(ERunIcon which) {
    switch (which) {
        case ERunIcon::kStepInto:
            return Draw([](QPainter& p) {
                CodeLines(p);
                p.setPen(QPen(kBlue, 3, Qt::SolidLine, Qt::RoundCap));
                p.drawLine(QPointF(6, 3), QPointF(6, 18));
                ArrowHead(p, QPointF(6, 27), 90, kBlue);
            });
        case ERunIcon::kBounceOver:
            return Draw([](QPainter& p) {
                CodeLines(p);
                p.setPen(QPen(kBlue, 3, Qt::SolidLine, Qt::RoundCap));
                QPainterPath arc;
                arc.moveTo(6, 10);
                arc.cubicTo(6, -2, 30, -2, 30, 10);
                p.setBrush(Qt::NoBrush);
                p.drawPath(arc);
                ArrowHead(p, QPointF(30, 17), 90, kBlue);
                p.fillRect(QRectF(3, 21, 7, 7), kBlue);
            });
        case ERunIcon::kStepOut:
            return Draw([](QPainter& p) {
                CodeLines(p);
                p.setPen(QPen(kBlue, 3, Qt::SolidLine, Qt::RoundCap));
                p.drawLine(QPointF(6, 28), QPointF(6, 13));
                ArrowHead(p, QPointF(6, 4), -90, kBlue);
            });
        case ERunIcon::kRun:
        case ERunIcon::kRunAll:
            return Draw([which](QPainter& p) {
                QPainterPath triangle;
                triangle.moveTo(7, 4);
                triangle.lineTo(28, 16);
                triangle.lineTo(7, 28);
                triangle.closeSubpath();
                p.fillPath(triangle, QColor(30, 160, 60));
                p.setPen(QPen(QColor(20, 110, 40), 1.5));
                p.drawPath(triangle);
                if (which == ERunIcon::kRunAll) {
                    p.setPen(QPen(QColor(20, 110, 40), 3));
                    p.drawLine(QPointF(3, 4), QPointF(3, 28));
                }
            });
        case ERunIcon::kStop:
        case ERunIcon::kStopAll:
            return Draw([which](QPainter& p) {
                p.setPen(QPen(QColor(150, 20, 20), 1.5));
                p.setBrush(QColor(210, 40, 40));
                p.drawRoundedRect(QRectF(6, 6, 20, 20), 3, 3);
                if (which == ERunIcon::kStopAll) {
                    p.setPen(QPen(Qt::white, 2.5));
                    p.drawLine(QPointF(11, 16), QPointF(21, 16));
                }
            });
        case ERunIcon::kInterrupt:
            return Draw([](QPainter& p) {
                QPainterPath bolt;
                bolt.moveTo(19, 2);
                bolt.lineTo(7, 18);
                bolt.lineTo(15, 18);
                bolt.lineTo(12, 30);
                bolt.lineTo(25, 13);
                bolt.lineTo(17, 13);
                bolt.closeSubpath();
                p.fillPath(bolt, QColor(250, 200, 30));
                p.setPen(QPen(QColor(170, 120, 0), 1.5));
                p.drawPath(bolt);
            });
        case ERunIcon::kStepBack:
            return Draw([](QPainter& p) {
                CodeLines(p);
                // Back up one line: a hooked arrow curling upwards.
                p.setPen(QPen(kAmber, 3, Qt::SolidLine, Qt::RoundCap));
                QPainterPath hook;
                hook.moveTo(10, 27);
                hook.cubicTo(2, 27, 2, 13, 6, 12);
                p.setBrush(Qt::NoBrush);
                p.drawPath(hook);
                ArrowHead(p, QPointF(6, 4), -90, kAmber);
            });
        case ERunIcon::kRunBack:
            return Draw([](QPainter& p) {
                QPainterPath triangle;
                triangle.moveTo(25, 4);
                triangle.lineTo(4, 16);
                triangle.lineTo(25, 28);
                triangle.closeSubpath();
                p.fillPath(triangle, kAmber);
                p.setPen(QPen(kAmber.darker(140), 1.5));
                p.drawPath(triangle);
                p.setPen(QPen(kAmber.darker(140), 3));
                p.drawLine(QPointF(29, 4), QPointF(29, 28));
            });
        case ERunIcon::kBreakpoint:
            return Draw([](QPainter& p) {
                p.setPen(QPen(QColor(140, 0, 0), 1.5));
                p.setBrush(QColor(210, 30, 30));
                p.drawEllipse(QRectF(6, 6, 20, 20));
            });
    }
    return {};
}

QIcon ProcessorIcon(int slot) {
    return Draw([slot](QPainter& p) {
        p.setPen(QPen(QColor(90, 90, 90), 2));
        for (int n = 0; n < 4; ++n) {
            const double at = 9 + n * 4.7;
            p.drawLine(QPointF(at, 2), QPointF(at, 6));
            p.drawLine(QPointF(at, 26), QPointF(at, 30));
            p.drawLine(QPointF(2, at), QPointF(6, at));
            p.drawLine(QPointF(26, at), QPointF(30, at));
        }
        p.setPen(QPen(QColor(40, 40, 40), 1.5));
        p.setBrush(QColor(60, 70, 90));
        p.drawRoundedRect(QRectF(6, 6, 20, 20), 2, 2);
        QFont font = p.font();
        font.setPixelSize(15);
        font.setBold(true);
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(QRectF(6, 6, 20, 20), Qt::AlignCenter, QString::number(slot));
    });
}
