// Owns one Win32 kernel handle (file, device, event, mutex, thread) and closes it on
// destruction. INVALID_HANDLE_VALUE, which CreateFile gives on failure, is held as no handle.
#pragma once

#include <windows.h>

#include <utility>

namespace veltra::common {

class UniqueHandle {
public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE h) : m_h(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
  UniqueHandle(UniqueHandle&& o) noexcept : m_h(std::exchange(o.m_h, nullptr)) {}
  UniqueHandle& operator=(UniqueHandle&& o) noexcept {
    if (this != &o) {
      Reset(std::exchange(o.m_h, nullptr));
    }
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { Reset(); }

  HANDLE Get() const { return m_h; }
  bool Valid() const { return m_h != nullptr; }
  void Reset(HANDLE h = nullptr) {
    Close();
    m_h = h == INVALID_HANDLE_VALUE ? nullptr : h;
  }
  // Closes now; false when CloseHandle failed.
  bool Close() {
    const HANDLE h = std::exchange(m_h, nullptr);
    return h == nullptr || ::CloseHandle(h) != FALSE;
  }

private:
  HANDLE m_h = nullptr;
};

} // namespace veltra::common
