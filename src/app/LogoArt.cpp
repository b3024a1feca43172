#include "app/LogoArt.h"

#include <QPainter>
#include <QPainterPath>

namespace fendrik {

namespace {
const QColor kSheet(255, 255, 255);
const QColor kInk(0, 0, 128);
const QColor kLine(0, 128, 128);
const QColor kGlass(192, 255, 255);
const QColor kHandle(128, 64, 0);

// A sheet with a folded corner, a part outline and a title block, and a
// magnifying glass over it; size gives the scale.
void DrawSheetAndGlass(QPainter& p, QRectF sheet, double stroke) {
  const double fold = sheet.width() * 0.25;
  QPainterPath outline;
  outline.moveTo(sheet.topLeft());
  outline.lineTo(sheet.right() - fold, sheet.top());
  outline.lineTo(sheet.right(), sheet.top() + fold);
  outline.lineTo(sheet.bottomRight());
  outline.lineTo(sheet.bottomLeft());
  outline.closeSubpath();
  p.setPen(QPen(kInk, stroke));
  p.setBrush(kSheet);
  p.drawPath(outline);
  p.drawLine(QPointF(sheet.right() - fold, sheet.top()), QPointF(sheet.right() - fold, sheet.top() + fold));
  p.drawLine(QPointF(sheet.right() - fold, sheet.top() + fold), QPointF(sheet.right(), sheet.top() + fold));

  // A simple part: a plate with a bore, drawn in the line colour.
  p.setPen(QPen(kLine, stroke));
  p.setBrush(Qt::NoBrush);
  QRectF plate(sheet.left() + sheet.width() * 0.15, sheet.top() + sheet.height() * 0.3, sheet.width() * 0.6,
               sheet.height() * 0.25);
  p.drawRect(plate);
  double bore = plate.height() * 0.5;
  p.drawEllipse(QPointF(plate.center()), bore / 2, bore / 2);

  // Title block lines at the foot of the sheet.
  p.setPen(QPen(kInk, stroke * 0.75));
  double blockTop = sheet.bottom() - sheet.height() * 0.14;
  p.drawLine(QPointF(sheet.left(), blockTop), QPointF(sheet.right(), blockTop));
  p.drawLine(QPointF(sheet.center().x(), blockTop), QPointF(sheet.center().x(), sheet.bottom()));
}

void DrawGlass(QPainter& p, QPointF centre, double radius, double stroke) {
  p.setPen(QPen(kHandle, stroke * 2.5, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(centre + QPointF(radius * 0.7, radius * 0.7), centre + QPointF(radius * 1.8, radius * 1.8));
  p.setPen(QPen(kInk, stroke * 1.5));
  QColor glass = kGlass;
  glass.setAlpha(170);
  p.setBrush(glass);
  p.drawEllipse(centre, radius, radius);
}
}  // namespace

QPixmap DrawLogo() {
  QPixmap logo(75, 111);
  logo.fill(QColor(192, 192, 255));
  QPainter p(&logo);
  p.setRenderHint(QPainter::Antialiasing);
  DrawSheetAndGlass(p, QRectF(8, 6, 52, 70), 1.5);
  DrawGlass(p, QPointF(44, 58), 14, 1.5);

  // The program's name under the picture.
  QFont font("DejaVu Sans", 1);
  font.setPixelSize(15);
  font.setBold(true);
  p.setFont(font);
  p.setPen(kInk);
  p.drawText(QRectF(0, 86, 75, 22), Qt::AlignCenter, "Fendrik");
  return logo;
}

QIcon DrawWindowIcon() {
  QPixmap icon(32, 32);
  icon.fill(Qt::transparent);
  QPainter p(&icon);
  DrawSheetAndGlass(p, QRectF(3, 1, 20, 27), 1);
  DrawGlass(p, QPointF(19, 18), 7, 1);
  return QIcon(icon);
}

}  // namespace fendrik
