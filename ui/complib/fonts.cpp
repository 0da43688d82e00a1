#include "ui/complib/fonts.h"

#include <QStringList>
#include <cstring>

namespace {

bool Is(const char* name, const char* face) {
  return std::strcmp(name, face) == 0;
}

}  // namespace

QFont FormFont(const char* name, int height, FontStyle style) {
  QFont font;
  if (Is(name, "Courier New")) {
    font.setFamilies(QStringList{"Courier New", "Liberation Mono", "DejaVu Sans Mono"});
    font.setStyleHint(QFont::TypeWriter);
  } else if (Is(name, "Arial Black")) {
    font.setFamilies(QStringList{"Arial Black", "Liberation Sans", "DejaVu Sans"});
    font.setStyleHint(QFont::SansSerif);
    font.setWeight(QFont::Black);
  } else {
    // "MS Sans Serif" and "System": the desktop's own sans-serif face.
    font.setStyleHint(QFont::SansSerif);
  }
  if (height < 0)
    font.setPixelSize(-height);
  else if (height > 0)
    font.setPointSize(height);
  if (style == FontStyle::Bold) font.setBold(true);
  if (style == FontStyle::Italic) font.setItalic(true);
  return font;
}
