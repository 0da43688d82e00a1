#pragma once
// TPopupMenu: a menu that the program pops up at a point of the screen.
// Popup returns at once; an item's handler runs when the operator picks it.
#include <QMenu>
#include <functional>

#include "platform/ansi_string.h"

class TPopupMenu : public QMenu {
 public:
  explicit TPopupMenu(QWidget* parent = nullptr) : QMenu(parent) {}

  // `OnClick` runs when the operator picks the item.
  QAction* AddItem(const char* name, const AnsiString& caption,
                   std::function<void()> OnClick);
  // X and Y in screen coordinates.
  void Popup(int X, int Y) { popup(QPoint(X, Y)); }
};
