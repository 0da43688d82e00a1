#pragma once
// TCheckListBox: a list box with a check box per item. An item that is
// not enabled is drawn greyed and the operator cannot change its check;
// it can still be selected, and the program can still check it.
#include "ui/complib/list_box.h"

class TCheckListBox : public TListBox {
  Q_OBJECT

 public:
  explicit TCheckListBox(QWidget* parent);

  bool Checked(int index) const;
  void SetChecked(int index, bool checked);
  bool ItemEnabled(int index) const;
  void SetItemEnabled(int index, bool enabled);

 protected:
  QListWidgetItem* NewItem(const QString& text) override;
};
