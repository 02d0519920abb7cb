// Plain values packed into a byte string and read back in the same order: what the ranks of a
// distributed run send each other. Numbers keep their exact bits (doubles included), in this
// machine's byte order: every rank of one job runs the same program on the same kind of machine.
#ifndef NEWSCLASS_BASE_BYTE_MESSAGE_H_
#define NEWSCLASS_BASE_BYTE_MESSAGE_H_

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>

namespace newsclass {

class MessageWriter {
 public:
  template <typename T>
  void put(T value) {
    static_assert(std::is_trivially_copyable_v<T>);
    bytes_.append(reinterpret_cast<const char*>(&value), sizeof value);
  }
  void putText(std::string_view text) {
    put<uint64_t>(text.size());
    bytes_.append(text);
  }
  std::string& bytes() { return bytes_; }

 private:
  std::string bytes_;
};

class MessageReader {
 public:
  explicit MessageReader(std::string_view bytes) : bytes_(bytes) {}

  template <typename T>
  T get() {
    static_assert(std::is_trivially_copyable_v<T>);
    T value;
    std::memcpy(&value, take(sizeof value), sizeof value);
    return value;
  }
  std::string_view getText() {
    const uint64_t size = get<uint64_t>();
    return std::string_view(take(size), size);
  }
  bool done() const { return position_ == bytes_.size(); }

 private:
  // A message is only ever read by the program that wrote it; one cut short is a fault of the
  // transport, not of the user's data.
  const char* take(uint64_t size) {
    if (size > bytes_.size() - position_) throw std::runtime_error("a rank's message is cut short");
    const char* at = bytes_.data() + position_;
    position_ += size;
    return at;
  }

  std::string_view bytes_;
  size_t position_ = 0;
};

}  // namespace newsclass

#endif  // NEWSCLASS_BASE_BYTE_MESSAGE_H_
