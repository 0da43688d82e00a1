#pragma once
// TRadioGroup: a framed group of radio buttons of which at most one is
// chosen. OnClick reports every change of the chosen item, whether the
// operator clicked or the program set ItemIndex.
#include <QGroupBox>
#include <functional>

#include "platform/ansi_string.h"

class QButtonGroup;
class QVBoxLayout;

class TRadioGroup : public QGroupBox {
 public:
  TRadioGroup(const AnsiString& caption, QWidget* parent = nullptr);

  void AddItem(const AnsiString& text);
  int ItemCount() const;
  AnsiString ItemText(int index) const;

  // -1 when no item is chosen.
  int ItemIndex() const { return item_index_; }
  void SetItemIndex(int index);

  std::function<void()> OnClick;

 private:
  void Chosen(int index);

  QButtonGroup* buttons_;
  QVBoxLayout* layout_;
  int item_index_ = -1;
};
