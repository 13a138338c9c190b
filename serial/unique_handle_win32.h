// Owns one Win32 kernel handle (device, event, thread) and closes it on destruction.
#pragma once

#include <windows.h>

#include <utility>

namespace veltra::serial::detail {

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
    if (m_h != nullptr) {
      ::CloseHandle(m_h);
    }
    m_h = h == INVALID_HANDLE_VALUE ? nullptr : h;
  }

private:
  HANDLE m_h = nullptr;
};

} // namespace veltra::serial::detail
