#include "ui/complib/popup_menu.h"

#include "ui/complib/text.h"

QAction* TPopupMenu::AddItem(const char* name, const AnsiString& caption,
                             std::function<void()> OnClick) {
  QAction* item = addAction(ToQString(caption));
  item->setObjectName(name);
  connect(item, &QAction::triggered, this, [OnClick] { OnClick(); });
  return item;
}
