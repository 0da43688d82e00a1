#pragma once
// What the unit-id pickers share: a check-list box with one item per unit
// id, "0" to "255", so that an item's index is its id.
#include "common/string_tokenizer.h"
#include "gateway/slave_addr_list.h"
#include "platform/ansi_string.h"

class TCheckListBox;

// Adds the 256 items and switches multiple selection on.
void AddUnitIdItems(TCheckListBox& list);

// The ids that `tokens` (tokens of SlaveAddrList values) name, read as the
// port table reads them: ranges such as 1-5 and leading zeros count, and
// an id named twice is simply named. A token the port table would refuse
// names nothing.
UnitIdSet IdsNamedBy(const AnsiStrVector& tokens);

// With two or more items selected, toggles the check of each selected
// item that is enabled; otherwise does nothing.
void ToggleSelectedGroup(TCheckListBox& list);

// The number of items both enabled and checked: the ids chosen for the
// port at hand (ids locked by other ports do not count).
int CountChosenIds(const TCheckListBox& list);

// Appends the chosen ids in ascending order, joined with ","; true when
// there was at least one.
bool AppendChosenIds(const TCheckListBox& list, AnsiString& ids);

// The check on OK: true when an id is chosen; otherwise tells the operator
// that one is needed and gives false.
bool AnIdIsChosen(const TCheckListBox& list);
