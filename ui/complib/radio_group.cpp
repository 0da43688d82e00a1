#include "ui/complib/radio_group.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ui/complib/text.h"

TRadioGroup::TRadioGroup(const AnsiString& caption, QWidget* parent)
    : QGroupBox(ToQString(caption), parent),
      buttons_(new QButtonGroup(this)),
      layout_(new QVBoxLayout(this)) {
  layout_->setContentsMargins(8, 2, 8, 2);
  layout_->setSpacing(0);
  connect(buttons_, &QButtonGroup::idToggled, this, [this](int id, bool on) {
    if (on) Chosen(id);
  });
}

void TRadioGroup::AddItem(const AnsiString& text) {
  auto* button = new QRadioButton(ToQString(text), this);
  buttons_->addButton(button, ItemCount());
  layout_->addWidget(button);
}

int TRadioGroup::ItemCount() const {
  return static_cast<int>(buttons_->buttons().size());
}

AnsiString TRadioGroup::ItemText(int index) const {
  const QAbstractButton* button = buttons_->button(index);
  return button == nullptr ? AnsiString() : ToAnsiString(button->text());
}

void TRadioGroup::SetItemIndex(int index) {
  if (index == item_index_) return;
  if (QAbstractButton* button = buttons_->button(index)) {
    button->setChecked(true);  // reports through Chosen
    return;
  }
  // An exclusive group will not clear its last checked button.
  buttons_->setExclusive(false);
  if (QAbstractButton* checked = buttons_->checkedButton())
    checked->setChecked(false);
  buttons_->setExclusive(true);
  Chosen(-1);
}

void TRadioGroup::Chosen(int index) {
  if (index == item_index_) return;
  item_index_ = index;
  if (OnClick) OnClick();
}
