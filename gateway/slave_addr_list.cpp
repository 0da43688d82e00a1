#include "gateway/slave_addr_list.h"

#include <charconv>
#include <cstdint>
#include <string_view>
#include <utility>

#include "common/string_tokenizer.h"

namespace {

// What a matching token's capture count tells apart: groups 0 to 2 are set
// for a single number, group 3 for a range.
constexpr int kSingleNumberMatch = 3;
constexpr int kSingleNumberGroup = 2;
constexpr int kRangeGroup = 3;

// A whole run of decimal digits as an id. Runs too long for 32 bits fail
// here instead of wrapping round into the id range.
bool ReadId(std::string_view digits, int& id) {
  std::uint32_t value = 0;
  const auto [end, error] =
      std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || end != digits.data() + digits.size() ||
      value > kHighestUnitId) {
    return false;
  }
  id = static_cast<int>(value);
  return true;
}

std::string_view Group(const MyPcre& pattern, std::string_view token,
                       int index) {
  MatchedPoint point;
  if (pattern.GetMatch(point, index) != 0 || point.start < 0) return {};
  return token.substr(static_cast<std::size_t>(point.start),
                      static_cast<std::size_t>(point.end - point.start));
}

bool Take(int id, UnitIdSet& seen, UnitIdList& ids) {
  if (seen.test(static_cast<std::size_t>(id))) return false;
  seen.set(static_cast<std::size_t>(id));
  ids.push_back(id);
  return true;
}

bool TakeRange(std::string_view range, UnitIdSet& seen, UnitIdList& ids) {
  const std::size_t hyphen = range.find('-');
  int low = 0;
  int high = 0;
  if (hyphen == std::string_view::npos ||
      !ReadId(range.substr(0, hyphen), low) ||
      !ReadId(range.substr(hyphen + 1), high) || low >= high) {
    return false;
  }
  for (int id = low; id <= high; ++id) {
    if (!Take(id, seen, ids)) return false;
  }
  return true;
}

bool TakeToken(std::string_view token, MyPcre& pattern, UnitIdSet& seen,
               UnitIdList& ids) {
  const int matched =
      pattern.Exec(token.data(), static_cast<int>(token.size()), 0, 0);
  if (matched < 1) return false;
  if (matched == kSingleNumberMatch) {
    int id = 0;
    return ReadId(Group(pattern, token, kSingleNumberGroup), id) &&
           Take(id, seen, ids);
  }
  return TakeRange(Group(pattern, token, kRangeGroup), seen, ids);
}

}  // namespace

bool ParseSlaveAddrList(const ci_string& text, MyPcre& pattern, UnitIdSet& seen,
                        UnitIdList& ids) {
  // Work on copies, so that a list rejected half-way changes nothing.
  UnitIdSet seen_here = seen;
  UnitIdList ids_here = ids;
  StringTokenizer<ci_string> tokens(text, kUnitIdDelimiters);
  while (tokens.HasMoreTokens()) {
    ci_string token;
    tokens.NextToken(token);
    if (!TakeToken(ToView(token), pattern, seen_here, ids_here)) return false;
  }
  seen = seen_here;
  ids = std::move(ids_here);
  return true;
}
