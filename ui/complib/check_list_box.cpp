#include "ui/complib/check_list_box.h"

#include <QStyledItemDelegate>

namespace {

// Where an item keeps whether it is enabled. Qt's own disabled state would
// also keep the item from being selected, which this list allows.
constexpr int kEnabledRole = Qt::UserRole + 1;

bool IsEnabled(const QModelIndex& index) {
  const QVariant enabled = index.data(kEnabledRole);
  return !enabled.isValid() || enabled.toBool();
}

// Draws a locked item, check box and text, as a disabled one.
class LockedItemsGreyed : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option,
                       const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    if (!IsEnabled(index)) option->state &= ~QStyle::State_Enabled;
  }
};

}  // namespace

TCheckListBox::TCheckListBox(QWidget* parent) : TListBox(parent) {
  setItemDelegate(new LockedItemsGreyed(this));
}

QListWidgetItem* TCheckListBox::NewItem(const QString& text) {
  auto* entry = new QListWidgetItem(text);
  entry->setFlags(entry->flags() | Qt::ItemIsUserCheckable);
  entry->setCheckState(Qt::Unchecked);
  return entry;
}

bool TCheckListBox::Checked(int index) const {
  const QListWidgetItem* entry = item(index);
  return entry != nullptr && entry->checkState() == Qt::Checked;
}

void TCheckListBox::SetChecked(int index, bool checked) {
  if (QListWidgetItem* entry = item(index))
    entry->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

bool TCheckListBox::ItemEnabled(int index) const {
  const QListWidgetItem* entry = item(index);
  return entry != nullptr && IsEnabled(indexFromItem(entry));
}

void TCheckListBox::SetItemEnabled(int index, bool enabled) {
  QListWidgetItem* entry = item(index);
  if (entry == nullptr) return;
  entry->setData(kEnabledRole, enabled);
  // The operator's check box follows the enabled state.
  entry->setFlags(enabled ? entry->flags() | Qt::ItemIsUserCheckable
                          : entry->flags() & ~Qt::ItemIsUserCheckable);
}
