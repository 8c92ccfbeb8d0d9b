// An array of plain records that grows at its end and is emptied whole: the unfolded graph's
// storage. Unlike a vector it keeps its length as a count, so that asking the length (a new
// record's number) is a load rather than a pointer difference divided by the record's size,
// which the firings ask several times each. Storage grows by reallocation, which leaves the
// unused part untouched: it costs no memory until it is written.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <iterator>
#include <new>
#include <type_traits>
#include <utility>

namespace zelbo {

template <class T>
class AppendArray {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

 public:
  AppendArray() = default;
  AppendArray(const AppendArray&) = delete;
  AppendArray& operator=(const AppendArray&) = delete;
  AppendArray(AppendArray&& other) noexcept { swap(other); }
  AppendArray& operator=(AppendArray&& other) noexcept {
    swap(other);
    return *this;
  }
  ~AppendArray() { std::free(data_); }

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T* data() { return data_; }
  const T* data() const { return data_; }
  T& operator[](std::size_t i) { return data_[i]; }
  const T& operator[](std::size_t i) const { return data_[i]; }
  T& front() { return data_[0]; }
  const T& front() const { return data_[0]; }
  T& back() { return data_[size_ - 1]; }
  const T& back() const { return data_[size_ - 1]; }

  T* begin() { return data_; }
  T* end() { return data_ + size_; }
  const T* begin() const { return data_; }
  const T* end() const { return data_ + size_; }
  std::reverse_iterator<T*> rbegin() { return std::reverse_iterator<T*>(end()); }
  std::reverse_iterator<T*> rend() { return std::reverse_iterator<T*>(begin()); }
  std::reverse_iterator<const T*> rbegin() const { return std::reverse_iterator<const T*>(end()); }
  std::reverse_iterator<const T*> rend() const { return std::reverse_iterator<const T*>(begin()); }

  // A new record at the end, as its type's defaults make it.
  T& emplace_back() {
    if (size_ == capacity_) [[unlikely]] grow();
    return *::new (static_cast<void*>(data_ + size_++)) T{};
  }
  void push_back(const T& value) {
    if (size_ == capacity_) [[unlikely]] grow();
    ::new (static_cast<void*>(data_ + size_++)) T(value);
  }
  // Empties the array; the storage stays for the next use.
  void clear() { size_ = 0; }

 private:
  [[gnu::noinline]] void grow() {
    const std::size_t capacity = capacity_ ? 2 * capacity_ : 16;
    void* moved = std::realloc(data_, capacity * sizeof(T));
    if (!moved) throw std::bad_alloc();
    data_ = static_cast<T*>(moved);
    capacity_ = capacity;
  }
  void swap(AppendArray& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
  }

  T* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace zelbo
