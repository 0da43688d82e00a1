#pragma once
// Fonts of the form descriptions, by the Windows font name and height
// they were designed with. A negative height is the character height in
// pixels. Faces that Linux lacks fall back to a face of the same kind
// (proportional, fixed-pitch).
#include <QFont>

enum class FontStyle { Regular, Bold, Italic };

QFont FormFont(const char* name, int height, FontStyle style = FontStyle::Regular);
