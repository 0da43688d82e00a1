#pragma once
// A long-lived global object whose construction and destruction happen at
// points the program chooses, not in the unspecified order of static
// initialisation across files. The holder itself is constant-initialised.
#include <cassert>
#include <optional>
#include <utility>

template <class T>
class GlobalObject {
 public:
  constexpr GlobalObject() = default;
  GlobalObject(const GlobalObject&) = delete;
  GlobalObject& operator=(const GlobalObject&) = delete;

  template <class... Args>
  T& Build(Args&&... args) {
    assert(!object_.has_value());
    return object_.emplace(std::forward<Args>(args)...);
  }
  void Destroy() { object_.reset(); }
  bool IsBuilt() const { return object_.has_value(); }

  T* operator->() { return &*object_; }
  const T* operator->() const { return &*object_; }
  T& operator*() { return *object_; }
  const T& operator*() const { return *object_; }

 private:
  std::optional<T> object_;
};
