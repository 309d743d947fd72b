#include "app/AppIcon.h"

#include <QPainter>
#include <QPainterPath>

namespace qm {

QPixmap AppIconPixmap(int ASize) {
  QPixmap pix(ASize, ASize);
  pix.fill(Qt::transparent);
  QPainter p(&pix);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(ASize / 64.0, ASize / 64.0);
  // Rounded blue tile.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x1f, 0x5f, 0xa8));
  p.drawRoundedRect(QRectF(2, 2, 60, 60), 10, 10);
  // A sheet with a folded corner.
  QPainterPath sheet;
  sheet.moveTo(16, 10);
  sheet.lineTo(40, 10);
  sheet.lineTo(50, 20);
  sheet.lineTo(50, 54);
  sheet.lineTo(16, 54);
  sheet.closeSubpath();
  p.setBrush(Qt::white);
  p.drawPath(sheet);
  QPainterPath fold;
  fold.moveTo(40, 10);
  fold.lineTo(40, 20);
  fold.lineTo(50, 20);
  fold.closeSubpath();
  p.setBrush(QColor(0xc8, 0xd6, 0xea));
  p.drawPath(fold);
  // Text lines.
  p.setBrush(QColor(0x9a, 0xa8, 0xbc));
  for (int i = 0; i < 4; ++i) p.drawRect(QRectF(21, 26 + i * 6, i == 3 ? 14 : 24, 2.5));
  // The quill across the sheet.
  QPainterPath quill;
  quill.moveTo(56, 6);
  quill.cubicTo(44, 12, 34, 26, 28, 46);
  quill.cubicTo(38, 34, 50, 22, 56, 6);
  p.setBrush(QColor(0xf2, 0xa9, 0x1f));
  p.drawPath(quill);
  p.setPen(QPen(QColor(0x6b, 0x3e, 0x0c), 1.6, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(52, 12), QPointF(24, 54));
  return pix;
}

QIcon AppIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256}) icon.addPixmap(AppIconPixmap(size));
  return icon;
}

}  // namespace qm
