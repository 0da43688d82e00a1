#include "ui/complib/list_box.h"

#include "ui/complib/text.h"

TListBox::TListBox(QWidget* parent) : QListWidget(parent) {
  setSelectionMode(QAbstractItemView::SingleSelection);
  connect(this, &QListWidget::itemClicked, this, [this] {
    if (OnClick) OnClick();
  });
}

void TListBox::Add(const AnsiString& text) { addItem(NewItem(ToQString(text))); }

QListWidgetItem* TListBox::NewItem(const QString& text) {
  return new QListWidgetItem(text);
}

AnsiString TListBox::Strings(int index) const {
  const QListWidgetItem* entry = item(index);
  return entry == nullptr ? AnsiString() : ToAnsiString(entry->text());
}

void TListBox::SetMultiSelect(bool multiple) {
  setSelectionMode(multiple ? QAbstractItemView::ExtendedSelection
                            : QAbstractItemView::SingleSelection);
}

bool TListBox::MultiSelect() const {
  return selectionMode() == QAbstractItemView::ExtendedSelection;
}

int TListBox::ItemIndex() const {
  if (MultiSelect()) return currentRow();
  // Ctrl+click can deselect the one item and leave the caret on it.
  const QList<QListWidgetItem*> selected = selectedItems();
  return selected.isEmpty() ? -1 : row(selected.first());
}

void TListBox::SetItemIndex(int index) {
  if (!MultiSelect()) {
    setCurrentRow(index);
    return;
  }
  const QModelIndex at = model()->index(index, 0);
  selectionModel()->setCurrentIndex(at, QItemSelectionModel::NoUpdate);
  if (at.isValid()) scrollTo(at);
}

bool TListBox::Selected(int index) const {
  const QListWidgetItem* entry = item(index);
  return entry != nullptr && entry->isSelected();
}

void TListBox::SetSelected(int index, bool selected) {
  if (QListWidgetItem* entry = item(index)) entry->setSelected(selected);
}

int TListBox::SelCount() const {
  return static_cast<int>(selectedItems().size());
}
