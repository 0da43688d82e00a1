#pragma once
// The unit-id list of a serial port (its SlaveAddrList), as the operator
// writes it: ids and ascending ranges, separated by commas, blanks or tabs.
//
//   "1, 3-5"   -> 1 3 4 5
//   "007"      -> 7
//   "0-255"    -> every id
//
// Every id is 0 to 255 and may be listed once across all ports of the
// gateway; the caller keeps the set of ids met so far.
#include <bitset>
#include <vector>

#include "common/ci_string.h"
#include "common/my_pcre.h"

// One token: a number, or two numbers joined by a hyphen.
inline constexpr const char* kUnitIdPattern = "^((\\d+)|(\\d+-\\d+))$";
inline constexpr const char* kUnitIdDelimiters = ", \t";
inline constexpr int kHighestUnitId = 255;

using UnitIdSet = std::bitset<kHighestUnitId + 1>;
using UnitIdList = std::vector<int>;

// Parses `text` with `pattern` (a MyPcre of kUnitIdPattern). On success
// appends the ids in the order written to `ids`, marks them in `seen` and
// gives true. False for a token that is neither form, a number above 255,
// a range that is not ascending (5-5, 9-3), or an id in `seen` or listed
// twice; `seen` and `ids` are then left as they were.
bool ParseSlaveAddrList(const ci_string& text, MyPcre& pattern, UnitIdSet& seen,
                        UnitIdList& ids);
