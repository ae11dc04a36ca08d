#pragma once
// Ownership of one reference to a reference-counted client object (metadata, builder, blob...).
#include <utility>

namespace qdz::db {

template <typename T>
class RefPtr {
 public:
  RefPtr() = default;
  explicit RefPtr(T* object) : object_(object) {}
  ~RefPtr() { reset(); }
  RefPtr(const RefPtr&) = delete;
  RefPtr& operator=(const RefPtr&) = delete;
  RefPtr(RefPtr&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  RefPtr& operator=(RefPtr&& other) noexcept {
    if (this != &other) {
      reset();
      object_ = std::exchange(other.object_, nullptr);
    }
    return *this;
  }

  T* get() const { return object_; }
  T* operator->() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }
  // Gives up the reference without releasing it: a successful close() or free() has done that.
  T* forget() { return std::exchange(object_, nullptr); }
  void reset(T* object = nullptr) {
    if (object_ != nullptr) object_->release();
    object_ = object;
  }

 private:
  T* object_ = nullptr;
};

}  // namespace qdz::db
