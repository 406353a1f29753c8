#include "forms/archer_images.h"

#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int Side = 16;

QPixmap transparentCanvas()
{
    QPixmap canvas(Side, Side);
    canvas.fill(Qt::transparent);
    return canvas;
}

} // namespace

TImageList::TImageList(int width, int height, QObject* parent)
    : QObject(parent)
    , width_(width)
    , height_(height)
{
}

int TImageList::Add(const QPixmap& image)
{
    images_.append(image.size() == QSize(width_, height_)
                       ? image
                       : image.scaled(width_, height_, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    return Count() - 1;
}

QPixmap DrawLandscapeImage()
{
    QPixmap canvas = transparentCanvas();
    QPainter p(&canvas);
    p.setRenderHint(QPainter::Antialiasing);

    // A rounded picture frame; the corners stay transparent.
    QPainterPath frame;
    frame.addRoundedRect(QRectF(0.5, 1.5, 15, 13), 2, 2);
    p.setClipPath(frame);

    QLinearGradient sky(0, 1, 0, 10);
    sky.setColorAt(0, QColor(0x3C, 0x8C, 0xE6));
    sky.setColorAt(1, QColor(0xB4, 0xDC, 0xFF));
    p.fillRect(QRectF(0, 0, Side, Side), sky);

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xFF, 0xE0, 0x40));
    p.drawEllipse(QPointF(11.5, 5), 2, 2); // the sun

    p.setBrush(QColor(0x5A, 0xB4, 0x3C));
    p.drawEllipse(QRectF(-6, 8, 16, 12)); // far hill
    p.setBrush(QColor(0x2E, 0x8B, 0x2E));
    p.drawEllipse(QRectF(4, 9.5, 18, 12)); // near hill

    p.setClipping(false);
    p.setPen(QPen(QColor(0x30, 0x50, 0x80), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(frame);
    return canvas;
}

QPixmap DrawPersonImage()
{
    QPixmap canvas = transparentCanvas();
    QPainter p(&canvas);
    p.setRenderHint(QPainter::Antialiasing);
    const QPen outline(QColor(0x40, 0x30, 0x20), 1);

    // Shoulders: the top half of an ellipse, cut at the bottom edge.
    p.setPen(outline);
    p.setBrush(QColor(0x2A, 0x5C, 0xC8));
    QPainterPath shoulders;
    shoulders.moveTo(1.5, 15.5);
    shoulders.cubicTo(1.5, 10.5, 4.5, 9.5, 8, 9.5);
    shoulders.cubicTo(11.5, 9.5, 14.5, 10.5, 14.5, 15.5);
    shoulders.closeSubpath();
    p.drawPath(shoulders);

    // Head, with hair on top.
    p.setBrush(QColor(0xF5, 0xC8, 0x9A));
    p.drawEllipse(QPointF(8, 5.5), 3.5, 4);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x6B, 0x42, 0x1E));
    QPainterPath hair;
    hair.moveTo(4.6, 5);
    hair.cubicTo(4.6, 0.5, 11.4, 0.5, 11.4, 5);
    hair.cubicTo(10, 3, 6, 3, 4.6, 5);
    p.drawPath(hair);
    return canvas;
}
