#pragma once

#include <platform/component/guid.h>
#include <platform/component/status.h>

#include <atomic>
#include <cstdint>
#include <utility>

namespace platform {

// The root of every component interface: identity through QueryInterface and
// a lifetime governed by a reference count. An object lives while anyone holds
// a reference and frees itself when the last one is released.
class Unknown {
 public:
  static constexpr Guid kIid = Guid::FromLiteral("{32E86E18-06FA-49AA-BAEB-A039B46329EA}");

  // Hands out the object's interface `iid` (adding a reference), or
  // Status::NoInterface with `*object` set to null.
  virtual Status QueryInterface(const Guid& iid, void** object) = 0;
  virtual std::uint32_t AddRef() = 0;
  virtual std::uint32_t Release() = 0;

 protected:
  ~Unknown() = default;
};

// An owning reference to an interface: one AddRef on copy, one Release on
// destruction.
template <typename T>
class Ref {
 public:
  Ref() = default;
  Ref(std::nullptr_t) {}
  // Takes over a reference the caller already holds.
  static Ref Adopt(T* pointer) {
    Ref ref;
    ref.pointer_ = pointer;
    return ref;
  }
  // Adds a reference of its own.
  static Ref Share(T* pointer) {
    if (pointer != nullptr) pointer->AddRef();
    return Adopt(pointer);
  }
  Ref(const Ref& other) : pointer_(other.pointer_) {
    if (pointer_ != nullptr) pointer_->AddRef();
  }
  Ref(Ref&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
  Ref& operator=(Ref other) noexcept {
    std::swap(pointer_, other.pointer_);
    return *this;
  }
  ~Ref() { Reset(); }

  void Reset() {
    if (T* pointer = std::exchange(pointer_, nullptr)) pointer->Release();
  }
  T* get() const { return pointer_; }
  T* operator->() const { return pointer_; }
  T& operator*() const { return *pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }
  // For calls that hand out a reference through a `void**`.
  void** Receive() {
    Reset();
    return reinterpret_cast<void**>(&pointer_);
  }

 private:
  T* pointer_ = nullptr;
};

// The interface `U` of `object`, or null when it has none.
template <typename U, typename T>
Ref<U> Query(T* object) {
  Ref<U> result;
  if (object != nullptr) object->QueryInterface(U::kIid, result.Receive());
  return result;
}

// A thread-safe reference count starting at one, for objects to build on.
class ReferenceCount {
 public:
  std::uint32_t Increment() { return count_.fetch_add(1, std::memory_order_relaxed) + 1; }
  // Returns the count left; the owner frees itself at zero.
  std::uint32_t Decrement() { return count_.fetch_sub(1, std::memory_order_acq_rel) - 1; }

 private:
  std::atomic<std::uint32_t> count_{1};
};

}  // namespace platform
