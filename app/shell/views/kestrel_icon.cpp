#include "app/shell/views/kestrel_icon.h"

#include <QPainter>
#include <QPainterPath>

QPixmap KestrelPicture(int size) {
  QPixmap picture(size, size);
  picture.fill(Qt::transparent);
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / 64.0, size / 64.0);

  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0x1F, 0x4E, 0x79));
  painter.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);

  // Radio waves rising from the lower left corner.
  QPen wave(QColor(0x9C, 0xC3, 0xE6), 3.0, Qt::SolidLine, Qt::RoundCap);
  painter.setPen(wave);
  painter.setBrush(Qt::NoBrush);
  for (int ring = 1; ring <= 3; ++ring) {
    const qreal radius = 9.0 * ring;
    painter.drawArc(QRectF(12 - radius, 52 - radius, 2 * radius, 2 * radius), 0, 90 * 16);
  }

  // The wing: a swept shape across the top right.
  QPainterPath wing;
  wing.moveTo(20, 30);
  wing.cubicTo(30, 14, 44, 10, 58, 10);
  wing.cubicTo(50, 16, 46, 22, 44, 30);
  wing.cubicTo(38, 27, 30, 27, 20, 30);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0xF4, 0xA2, 0x3C));
  painter.drawPath(wing);
  return picture;
}

QIcon KestrelIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128}) icon.addPixmap(KestrelPicture(size));
  return icon;
}
