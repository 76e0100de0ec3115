// Owners for what the component model hands around: counted interface
// references (ComPtr) and variants (VariantHolder). Each gives back what it
// holds exactly once, when it goes or is reset, on every path out of a scope.
//
// Neither is synchronised: a holder is used by one thread at a time, like any
// other local value or member. The counts of the objects they hold are the
// objects' own business (atomic in this system's objects).
#pragma once

#include <cstddef>
#include <utility>

#include "ComTypes.h"

// One counted reference to an interface. A reference the callee already
// counted for us (an out-parameter, a creation, GetErrorInfo) is taken over
// by Adopt, Attach or AddressOf; Share counts a new one for a pointer that
// was only lent to us. Copies count a reference each; moves hand it over.
template <class T>
class ComPtr {
 public:
  constexpr ComPtr() = default;
  constexpr ComPtr(std::nullptr_t) {}
  ComPtr(const ComPtr& other) : p_(other.p_) {
    if (p_) p_->AddRef();
  }
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  // The new reference is counted before the old one is given back, so
  // assigning a holder to itself, or to another holder of the same object,
  // never lets the object go.
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }
  ~ComPtr() { Reset(); }

  // Takes over the reference `p` carries; counts nothing.
  static ComPtr Adopt(T* p) {
    ComPtr held;
    held.p_ = p;
    return held;
  }
  // Counts a new reference to `p` (may be null), which stays the lender's too.
  static ComPtr Share(T* p) {
    if (p) p->AddRef();
    return Adopt(p);
  }

  // Gives back what is held and takes over the reference `p` carries.
  void Attach(T* p) {
    if (T* old = std::exchange(p_, p)) old->Release();
  }
  // Hands the reference to the caller, who must give it back; the holder is empty after.
  [[nodiscard]] T* Detach() { return std::exchange(p_, nullptr); }
  // Gives back what is held; the holder is empty after.
  void Reset() { Attach(nullptr); }

  // For an out-parameter: empties the holder, then lets the callee store a
  // counted reference that becomes the holder's.
  T** AddressOf() {
    Reset();
    return &p_;
  }
  // AddressOf in the form QueryInterface and creation take.
  void** VoidAddressOf() { return reinterpret_cast<void**>(AddressOf()); }

  // The pointer, lent: the caller counts a reference of its own to keep it.
  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

// A variant that is cleared (VariantClear: text and arrays freed, interface
// references given back) when the holder goes or is reset. Not copyable: a
// copy of a variant's contents is made with VariantCopy into another holder.
class VariantHolder {
 public:
  VariantHolder() { VariantInit(&v_); }
  VariantHolder(VariantHolder&& other) noexcept : v_(other.v_) { VariantInit(&other.v_); }
  VariantHolder& operator=(VariantHolder&& other) noexcept {
    if (this != &other) {
      VariantClear(&v_);
      v_ = other.v_;
      VariantInit(&other.v_);
    }
    return *this;
  }
  VariantHolder(const VariantHolder&) = delete;
  VariantHolder& operator=(const VariantHolder&) = delete;
  ~VariantHolder() { VariantClear(&v_); }

  // Takes over what `value` owns (a variant made by MakeByteBuffer, say);
  // `value` itself must not be cleared afterwards.
  static VariantHolder Adopt(const VARIANT& value) {
    VariantHolder held;
    held.v_ = value;
    return held;
  }

  // Clears what is held and takes over what `value` owns.
  void Attach(const VARIANT& value) {
    VariantClear(&v_);
    v_ = value;
  }
  // Hands what is held to the caller, who must clear it; the holder is empty after.
  [[nodiscard]] VARIANT Detach() {
    const VARIANT out = v_;
    VariantInit(&v_);
    return out;
  }
  // Clears what is held; the holder is empty after.
  void Reset() { VariantClear(&v_); }

  // For an out-parameter: clears the holder, then lets the callee fill it.
  VARIANT* AddressOf() {
    Reset();
    return &v_;
  }

  // The variant itself, lent: to read, to fill field by field, or to pass as
  // an in-argument (which the callee does not own).
  VARIANT* Get() { return &v_; }
  const VARIANT* Get() const { return &v_; }
  VARIANT* operator->() { return &v_; }
  const VARIANT* operator->() const { return &v_; }
  VARIANT& operator*() { return v_; }
  const VARIANT& operator*() const { return v_; }

 private:
  VARIANT v_;
};
