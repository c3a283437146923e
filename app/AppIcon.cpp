#include "AppIcon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <array>
#include <cmath>

namespace quillon::app {
namespace {

constexpr double canvas = 256.0;  // the drawing is made on this grid, then scaled
constexpr int laneCount = 4;
constexpr std::array<bool, laneCount> laneHasSignal{true, false, true, false};

void drawBackground(QPainter& painter) {
    QLinearGradient gradient(0, 0, 0, canvas);
    gradient.setColorAt(0.0, QColor(0x34, 0x47, 0x7E));
    gradient.setColorAt(1.0, QColor(0x1A, 0x22, 0x3F));
    painter.setPen(Qt::NoPen);
    painter.setBrush(gradient);
    painter.drawRoundedRect(QRectF(12, 12, canvas - 24, canvas - 24), 44, 44);
}

// A burst of signal whose loudness swells and fades across the lane.
QPainterPath waveform(double left, double right, double centre, double height, double phase) {
    QPainterPath path;
    const int steps = 96;
    for (int i = 0; i <= steps; ++i) {
        const double t = static_cast<double>(i) / steps;
        const double envelope = std::sin(t * M_PI) * (0.55 + 0.45 * std::sin(t * 9.0 + phase));
        const double y = centre - height * envelope * std::sin(t * 38.0 + phase * 3.0);
        const QPointF point(left + t * (right - left), y);
        if (i == 0)
            path.moveTo(point);
        else
            path.lineTo(point);
    }
    return path;
}

void drawLanes(QPainter& painter) {
    const double left = 46, right = canvas - 46;
    const double top = 58, pitch = 46;
    for (int lane = 0; lane < laneCount; ++lane) {
        const double centre = top + lane * pitch;
        if (laneHasSignal[static_cast<std::size_t>(lane)]) {
            painter.setPen(QPen(QColor(0x7F, 0xE3, 0xF0), 7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            painter.drawPath(waveform(left, right, centre, 17, lane * 1.3));
        } else {
            painter.setPen(QPen(QColor(0xF2, 0x6D, 0x6D, 0xD0), 6, Qt::DotLine, Qt::RoundCap));
            painter.drawLine(QPointF(left, centre), QPointF(right, centre));
        }
    }
}

}  // namespace

void paintAppIcon(QPainter& painter, int size) {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / canvas, size / canvas);
    drawBackground(painter);
    drawLanes(painter);
}

QImage drawAppIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    paintAppIcon(painter, size);
    return image;
}

QIcon appIcon() {
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) icon.addPixmap(QPixmap::fromImage(drawAppIcon(size)));
    return icon;
}

}  // namespace quillon::app
