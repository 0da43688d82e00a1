#include "ui/tree_images.h"

#include <QPainter>
#include <QPixmap>

namespace {

void DrawComputer(QPainter& paint) {
  paint.setPen(Qt::black);
  paint.setBrush(QColor(192, 192, 192));
  paint.drawRect(2, 1, 11, 9);                     // screen frame
  paint.fillRect(4, 3, 8, 6, QColor(0, 128, 128));  // screen
  paint.drawRect(6, 10, 3, 2);                     // neck
  paint.drawRect(1, 12, 13, 2);                    // base
}

void DrawPlug(QPainter& paint) {
  paint.setPen(Qt::black);
  paint.setBrush(QColor(255, 215, 0));
  paint.drawRect(5, 1, 1, 4);  // pins
  paint.drawRect(9, 1, 1, 4);
  paint.setBrush(QColor(96, 96, 96));
  paint.drawRect(3, 5, 9, 5);  // body
  paint.setPen(QPen(Qt::black, 2));
  paint.drawLine(7, 10, 7, 13);  // cable
  paint.drawLine(7, 13, 13, 15);
}

}  // namespace

QIcon DrawTreeImage(TreeImage image) {
  QPixmap pixmap(16, 16);
  const bool selected =
      image == kComputerSelectedImage || image == kPlugSelectedImage;
  pixmap.fill(selected ? QColor(0, 0, 128) : QColor(Qt::transparent));
  QPainter paint(&pixmap);
  if (image == kComputerImage || image == kComputerSelectedImage)
    DrawComputer(paint);
  else
    DrawPlug(paint);
  return QIcon(pixmap);
}
