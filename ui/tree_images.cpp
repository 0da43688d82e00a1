#include "ui/tree_images.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QPixmap>

namespace {

// The colours of one picture.
struct Ink {
  QColor line;
  QColor computer_case;
  QColor screen;
  QColor plug_body;
};

// On the tree's white: dark lines, coloured parts.
const Ink kPlainInk{Qt::black, QColor(192, 192, 192), QColor(0, 128, 128),
                    QColor(96, 96, 96)};

// On the selection colour the picture is a silhouette in the colour that
// the selected text is drawn in, which the style makes stand out there;
// the selection colour itself shows around it and through the screen.
Ink SelectedInk() {
  const QColor ink = QGuiApplication::palette().color(QPalette::HighlightedText);
  return {ink, ink, Qt::transparent, ink};
}

void DrawComputer(QPainter& paint, const Ink& ink) {
  paint.setPen(ink.line);
  paint.setBrush(ink.computer_case);
  paint.drawRect(2, 1, 11, 9);               // screen frame
  paint.fillRect(4, 3, 8, 6, ink.screen);    // screen
  paint.drawRect(6, 10, 3, 2);               // neck
  paint.drawRect(1, 12, 13, 2);              // base
}

void DrawPlug(QPainter& paint, const Ink& ink) {
  paint.setPen(ink.line);
  paint.drawRect(5, 1, 1, 4);  // pins
  paint.drawRect(9, 1, 1, 4);
  paint.setBrush(ink.plug_body);
  paint.drawRect(3, 5, 9, 5);  // body
  paint.setPen(QPen(ink.line, 2));
  paint.drawLine(7, 10, 7, 13);  // cable
  paint.drawLine(7, 13, 13, 15);
}

}  // namespace

QIcon DrawTreeImage(TreeImage image) {
  const bool selected =
      image == kComputerSelectedImage || image == kPlugSelectedImage;
  const Ink ink = selected ? SelectedInk() : kPlainInk;
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  {
    QPainter paint(&pixmap);
    // The screen is cut out of the case, so the selection colour shows
    // through it.
    paint.setCompositionMode(QPainter::CompositionMode_Source);
    if (image == kComputerImage || image == kComputerSelectedImage)
      DrawComputer(paint, ink);
    else
      DrawPlug(paint, ink);
  }
  // The tree draws a selected node's picture in its selected mode, which
  // would tint it with the selection colour: the picture is meant as drawn.
  QIcon icon;
  icon.addPixmap(pixmap, QIcon::Normal);
  icon.addPixmap(pixmap, QIcon::Selected);
  return icon;
}
