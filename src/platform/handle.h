// Move-only owner of one operating-system handle or descriptor.
//
// The value is stored as an intptr_t so that no OS type leaks into the
// interface; each platform folder converts it back (a HANDLE on Windows,
// an int descriptor on POSIX). The platform's CloseNative closes it.
#pragma once

#include <cstdint>

namespace platform {

// Closes a native handle value. Returns 0 or the system error code.
// Implemented once per platform.
[[nodiscard]] int CloseNative(std::intptr_t value);

class Handle {
 public:
  static constexpr std::intptr_t kInvalid = -1;

  Handle() = default;
  explicit Handle(std::intptr_t value) : value_(value) {}
  // Nobody is left to hear of a failed close.
  ~Handle() { (void)Close(); }

  Handle(Handle&& other) noexcept : value_(other.Release()) {}
  Handle& operator=(Handle&& other) noexcept {
    if (this != &other) {
      (void)Close();
      value_ = other.Release();
    }
    return *this;
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  bool valid() const { return value_ != kInvalid; }
  std::intptr_t get() const { return value_; }
  std::intptr_t Release() {
    std::intptr_t v = value_;
    value_ = kInvalid;
    return v;
  }
  // Closes the handle if it is open. Returns 0, or the system error code
  // when the system refused to close an open handle; the handle is
  // forgotten either way. Only the close of a write end says something
  // (the last writer gone, data the file system took late); a caller that
  // closes anything else may leave the answer unexamined.
  [[nodiscard]] int Close() {
    if (value_ == kInvalid) return 0;
    return CloseNative(Release());
  }

 private:
  std::intptr_t value_ = kInvalid;
};

}  // namespace platform
