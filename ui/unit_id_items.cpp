#include "ui/unit_id_items.h"

#include "ui/complib/check_list_box.h"
#include "ui/complib/message_dlg.h"

void AddUnitIdItems(TCheckListBox& list) {
  for (int id = 0; id <= kHighestUnitId; ++id) list.Add(AnsiString(id));
  list.SetMultiSelect(true);
}

UnitIdSet IdsNamedBy(const AnsiStrVector& tokens) {
  MyPcre pattern(kUnitIdPattern, 0);
  UnitIdSet named;
  for (const AnsiString& token : tokens) {
    // Each token on its own: the same id in two tokens (or two ports) is
    // still that one id here, where the port table would refuse the pair.
    UnitIdSet seen;
    UnitIdList ids;
    if (ParseSlaveAddrList(ci_string(token.data(), token.Length()), pattern,
                           seen, ids)) {
      named |= seen;
    }
  }
  return named;
}

void ToggleSelectedGroup(TCheckListBox& list) {
  if (list.SelCount() < 2) return;
  for (int i = 0; i < list.Count(); ++i) {
    if (list.Selected(i) && list.ItemEnabled(i))
      list.SetChecked(i, !list.Checked(i));
  }
}

int CountChosenIds(const TCheckListBox& list) {
  int chosen = 0;
  for (int i = 0; i < list.Count(); ++i) {
    if (list.ItemEnabled(i) && list.Checked(i)) ++chosen;
  }
  return chosen;
}

bool AppendChosenIds(const TCheckListBox& list, AnsiString& ids) {
  bool any = false;
  for (int i = 0; i < list.Count(); ++i) {
    if (!list.ItemEnabled(i) || !list.Checked(i)) continue;
    if (any) ids += ",";
    ids += list.Strings(i);
    any = true;
  }
  return any;
}

bool AnIdIsChosen(const TCheckListBox& list) {
  if (CountChosenIds(list) > 0) return true;
  MessageDlg("You have to select 1 Unit ID at least", mtError, {mbOK}, 0);
  return false;
}
