#pragma once
// TListBox: a list of text items, with single or multiple selection.
// ItemIndex is the caret: the selected item in a single-selection list;
// in a multiple-selection list the item with the focus rectangle, which
// moves without changing what is selected. -1 when there is none.
#include <QListWidget>
#include <functional>

#include "platform/ansi_string.h"

class TListBox : public QListWidget {
  Q_OBJECT

 public:
  explicit TListBox(QWidget* parent);

  void Clear() { clear(); }
  void Add(const AnsiString& text);
  int Count() const { return count(); }
  AnsiString Strings(int index) const;

  // Ctrl and Shift extend the selection, as in a file list.
  void SetMultiSelect(bool multiple);
  bool MultiSelect() const;

  int ItemIndex() const;
  // Moves the caret to `index` and scrolls it into view.
  void SetItemIndex(int index);
  bool Selected(int index) const;
  void SetSelected(int index, bool selected);
  int SelCount() const;

  // A mouse click on an item, after the list has updated its selection
  // and check boxes.
  std::function<void()> OnClick;

 protected:
  // The item a new text becomes; kinds of list with more per item extend it.
  virtual QListWidgetItem* NewItem(const QString& text);
};
