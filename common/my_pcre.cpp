#include "common/my_pcre.h"

MyPcre::MyPcre(const char* pattern, int options) {
  const char* message = nullptr;
  compiled_ = pcre_compile(pattern, options, &message, &error_offset_, nullptr);
  if (compiled_ == nullptr) {
    status_ = kCompileFailed;
    if (message != nullptr) error_text_ = message;
    return;
  }
  // A null result without a message only means the study found nothing
  // that would speed a run up.
  message = nullptr;
  study_ = pcre_study(compiled_, 0, &message);
  if (study_ == nullptr && message != nullptr) {
    status_ = kStudyFailed;
    return;
  }
  int capture_count = 0;
  if (pcre_fullinfo(compiled_, study_, PCRE_INFO_CAPTURECOUNT,
                    &capture_count) != 0) {
    status_ = kInfoFailed;
    error_text_ = "pcre_fullinfo() failed";
    return;
  }
  offsets_.assign(3 * static_cast<std::size_t>(capture_count) + 6, 0);
  slot_count_ = capture_count + 1;
}

MyPcre::~MyPcre() {
  if (study_ != nullptr) pcre_free_study(study_);
  if (compiled_ != nullptr) pcre_free(compiled_);
}

int MyPcre::Exec(const char* subject, int length, int start_offset,
                 int options) {
  if (status_ != 0) return status_;
  last_result_ = pcre_exec(compiled_, study_, subject, length, start_offset,
                           options, offsets_.data(),
                           static_cast<int>(offsets_.size()));
  return last_result_;
}

int MyPcre::GetMatch(MatchedPoint& point, int index) const {
  if (last_result_ < 1 || index < 0 || index >= last_result_) {
    return kNoSuchMatch;
  }
  point.start = offsets_[2 * static_cast<std::size_t>(index)];
  point.end = offsets_[2 * static_cast<std::size_t>(index) + 1];
  return 0;
}

int MyPcre::GetMatches(std::vector<MatchedPoint>& points) const {
  if (last_result_ < 1 ||
      points.size() < static_cast<std::size_t>(last_result_)) {
    return kNoSuchMatch;
  }
  for (int i = 0; i < last_result_; ++i) GetMatch(points[i], i);
  return last_result_;
}
