#pragma once
// MyPcre: one regular expression, compiled and studied once when the object
// is built, then run any number of times. A pattern that fails to compile
// leaves the object in a failed status; every run then reports that status
// (a negative number), so a failed pattern never matches.
#include <pcre.h>

#include <cstdint>
#include <string>
#include <vector>

// Offsets of one capture, counted from the start of the subject. A group
// that took no part in the match has -1 for both.
struct MatchedPoint {
  std::int32_t start = -1;
  std::int32_t end = -1;
};

class MyPcre {
 public:
  // Status values besides 0 (ready).
  static constexpr int kCompileFailed = -1;
  static constexpr int kStudyFailed = -2;
  static constexpr int kInfoFailed = -3;
  // Result of GetMatch/GetMatches when the last run gives no such capture.
  static constexpr int kNoSuchMatch = -4;

  MyPcre(const char* pattern, int options);
  ~MyPcre();
  MyPcre(const MyPcre&) = delete;
  MyPcre& operator=(const MyPcre&) = delete;

  // Runs the pattern over `length` bytes of `subject` from `start_offset`.
  // The bytes before the offset stay visible, so "^" at the offset looks
  // at the byte before it. Returns the status when it is not 0, else
  // PCRE's result: the number of offset pairs set, or a negative code.
  int Exec(const char* subject, int length, int start_offset, int options);

  // Offset pair `index` of the last run (0: the whole match).
  // 0, or kNoSuchMatch with `point` untouched.
  int GetMatch(MatchedPoint& point, int index) const;
  // Fills the first "last result" entries; the vector is never resized.
  // The last result, or kNoSuchMatch with nothing changed.
  int GetMatches(std::vector<MatchedPoint>& points) const;

  int Status() const { return status_; }
  int LastResult() const { return last_result_; }
  // Capture count + 1: how many MatchedPoint entries a match can fill.
  int SlotCount() const { return slot_count_; }
  int ErrorOffset() const { return error_offset_; }
  const std::string& ErrorText() const { return error_text_; }

 private:
  pcre* compiled_ = nullptr;
  pcre_extra* study_ = nullptr;
  // Three entries per capture slot plus one spare triple, so that a run
  // never reports a vector too small.
  std::vector<int> offsets_;
  int last_result_ = -1;
  int slot_count_ = 0;
  int error_offset_ = 0;
  std::string error_text_;
  int status_ = 0;
};
