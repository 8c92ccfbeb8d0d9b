// Values as bytes and back, in the machine's own order: the messages between the processes of
// one run, which all run the same build.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>

#include "base/texts.h"
#include "zelbo/error.h"

namespace zelbo {

class ByteWriter {
 public:
  explicit ByteWriter(std::string& out) : out_(out) {}
  template <class T>
  void put(T value) {
    static_assert(std::is_trivially_copyable_v<T>);
    out_.append(reinterpret_cast<const char*>(&value), sizeof value);
  }
  void putText(std::string_view text) {
    put(static_cast<std::uint64_t>(text.size()));
    out_.append(text);
  }

 private:
  std::string& out_;
};

// Reads what a ByteWriter wrote; bytes that end too soon are the program's own fault.
class ByteReader {
 public:
  ByteReader(std::string_view bytes, std::size_t& at) : bytes_(bytes), at_(at) {}
  template <class T>
  T get() {
    static_assert(std::is_trivially_copyable_v<T>);
    T value;
    std::memcpy(&value, need(sizeof value), sizeof value);
    return value;
  }
  std::string getText() {
    const auto size = get<std::uint64_t>();
    const char* data = need(size);
    return std::string(data, size);
  }
  bool atEnd() const { return at_ == bytes_.size(); }

 private:
  const char* need(std::uint64_t size) {
    if (size > bytes_.size() - at_) throw Error(Error::Kind::internal, text::kMalformedMessage);
    const char* data = bytes_.data() + at_;
    at_ += size;
    return data;
  }
  std::string_view bytes_;
  std::size_t& at_;
};

}  // namespace zelbo
