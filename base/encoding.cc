#include "base/encoding.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <type_traits>

namespace newsclass {
namespace {

// Marks UTF-8 input: a character that cannot be converted is skipped as a whole sequence.
constexpr size_t kUtf8Unit = 0;

// The length of the UTF-8 sequence at `in` when it is well formed, else 1.
size_t utf8SequenceLength(const char* in, size_t left) {
  unsigned char lead = static_cast<unsigned char>(in[0]);
  size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  if (length > left) return 1;
  for (size_t i = 1; i < length; ++i) {
    if ((static_cast<unsigned char>(in[i]) & 0xC0) != 0x80) return 1;
  }
  return length;
}

// How much of the remaining input to hand iconv at once. glibc converts through an internal
// buffer and, at an unconvertible character, redoes the work done since the call began, so a long
// text with many such characters would cost time in the square of its length. Windows of a few
// kilobytes, cut at character boundaries, keep it linear. GBK input (unit 1) always converts to
// Unicode and goes whole.
size_t conversionWindow(const char* in, size_t left, size_t unit) {
  constexpr size_t kWindow = 4096;
  if (unit == 1 || left <= kWindow) return left;
  size_t window = kWindow;
  if (unit == kUtf8Unit) {
    while (window > 0 && (static_cast<unsigned char>(in[window]) & 0xC0) == 0x80) --window;
    return window == 0 ? left : window;
  }
  window -= window % unit;
  if (unit == 2) {
    // Keep a high surrogate with its low half.
    uint16_t last;
    std::memcpy(&last, in + window - 2, 2);
    if (last >= 0xD800 && last <= 0xDBFF) window -= 2;
  }
  return window;
}

// One iconv descriptor per direction, opened on first use and kept for the process: opening
// a descriptor costs far more than converting a short text.
class Converter {
 public:
  Converter(const char* to, const char* from) : to_(to), from_(from) {
    handle_ = iconv_open(to, from);
    if (handle_ == reinterpret_cast<iconv_t>(-1)) {
      throw std::runtime_error(std::string("iconv cannot convert from ") + from + " to " + to);
    }
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  ~Converter() { iconv_close(handle_); }

  // Converts the whole input. On an invalid or unconvertible sequence the converter skips
  // `badInputUnit` bytes of input and appends `replacement` to the output, then goes on.
  std::string convert(const char* data, size_t size, size_t badInputUnit,
                      std::string_view replacement) const {
    std::string out;
    out.resize(size * 2 + 16);
    iconv(handle_, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(data);
    size_t inLeft = size;
    size_t used = 0;
    while (inLeft > 0) {
      char* outPtr = out.data() + used;
      size_t outLeft = out.size() - used;
      size_t window = conversionWindow(in, inLeft, badInputUnit);
      size_t windowLeft = window;
      size_t rc = iconv(handle_, &in, &windowLeft, &outPtr, &outLeft);
      inLeft -= window - windowLeft;
      used = out.size() - outLeft;
      if (rc != static_cast<size_t>(-1)) continue;
      if (errno == E2BIG) {
        out.resize(out.size() * 2 + 16);
      } else if (errno == EILSEQ || errno == EINVAL) {
        size_t skip = badInputUnit == kUtf8Unit ? utf8SequenceLength(in, inLeft)
                                                : (badInputUnit < inLeft ? badInputUnit : inLeft);
        if (badInputUnit == 2 && inLeft >= 4) {
          // A surrogate pair is one character and becomes one replacement.
          uint16_t high, low;
          std::memcpy(&high, in, 2);
          std::memcpy(&low, in + 2, 2);
          if (high >= 0xD800 && high <= 0xDBFF && low >= 0xDC00 && low <= 0xDFFF) skip = 4;
        }
        in += skip;
        inLeft -= skip;
        if (out.size() - used < replacement.size()) out.resize(out.size() * 2 + 16);
        std::memcpy(out.data() + used, replacement.data(), replacement.size());
        used += replacement.size();
        iconv(handle_, nullptr, nullptr, nullptr, nullptr);
      } else {
        throw std::runtime_error(std::string("iconv failed converting from ") + from_ + " to " +
                                 to_ + ": " + std::strerror(errno));
      }
    }
    // Flush any shift state (none for these encodings, but iconv asks for it).
    char* outPtr = out.data() + used;
    size_t outLeft = out.size() - used;
    iconv(handle_, nullptr, nullptr, &outPtr, &outLeft);
    used = out.size() - outLeft;
    out.resize(used);
    return out;
  }

 // The offset of the first input byte that does not convert, or npos when all of it does.
  size_t firstInvalid(const char* data, size_t size) const {
    char buffer[4096];
    iconv(handle_, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(data);
    size_t inLeft = size;
    while (inLeft > 0) {
      char* outPtr = buffer;
      size_t outLeft = sizeof buffer;
      if (iconv(handle_, &in, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1)) break;
      if (errno == E2BIG) continue;
      return static_cast<size_t>(in - data);
    }
    return std::string_view::npos;
  }

 private:
  const char* to_;
  const char* from_;
  iconv_t handle_;
};

const Converter& converter(int which) {
  // CP936 is glibc's name for Windows code page 936 (GBK with the euro sign at 0x80).
  thread_local Converter gbkToWcharT("WCHAR_T", "CP936");
  thread_local Converter wcharTToGbk("CP936", "WCHAR_T");
  thread_local Converter gbkToUtf8Conv("UTF-8", "CP936");
  thread_local Converter utf8ToGbkConv("CP936", "UTF-8");
  thread_local Converter utf16ToGbkConv("CP936", "UTF-16LE");
  thread_local Converter gbkToUtf16Conv("UTF-16LE", "CP936");
  thread_local Converter utf8ToUtf16Conv("UTF-16LE", "UTF-8");
  thread_local Converter utf16ToUtf8Conv("UTF-8", "UTF-16LE");
  switch (which) {
    case 0: return gbkToWcharT;
    case 1: return wcharTToGbk;
    case 2: return gbkToUtf8Conv;
    case 3: return utf8ToGbkConv;
    case 4: return utf16ToGbkConv;
    case 5: return gbkToUtf16Conv;
    case 6: return utf8ToUtf16Conv;
    default: return utf16ToUtf8Conv;
  }
}

// True when every unit of the text is below 0x80, so that it converts unit by unit.
template <typename Char>
bool isAscii(std::basic_string_view<Char> text) {
  for (Char c : text) {
    if (static_cast<std::make_unsigned_t<Char>>(c) >= 0x80) return false;
  }
  return true;
}

// Bytes from the UTF-16LE converters as UTF-16 code units.
std::u16string asUtf16Units(const std::string& bytes) {
  std::u16string out(bytes.size() / sizeof(char16_t), u'\0');
  std::memcpy(out.data(), bytes.data(), out.size() * sizeof(char16_t));
  return out;
}

std::string wideReplacement() {
  wchar_t replacement = 0xFFFD;
  return std::string(reinterpret_cast<const char*>(&replacement), sizeof replacement);
}

std::string utf16Replacement() {
  char16_t replacement = 0xFFFD;
  return std::string(reinterpret_cast<const char*>(&replacement), sizeof replacement);
}

}  // namespace

std::wstring gbkToWide(std::string_view gbkText) {
  if (isAscii<char>(gbkText)) return std::wstring(gbkText.begin(), gbkText.end());
  static const std::string replacement = wideReplacement();
  std::string bytes = converter(0).convert(gbkText.data(), gbkText.size(), 1, replacement);
  std::wstring wide(bytes.size() / sizeof(wchar_t), L'\0');
  std::memcpy(wide.data(), bytes.data(), wide.size() * sizeof(wchar_t));
  return wide;
}

std::string wideToGbk(std::wstring_view wide) {
  if (isAscii(wide)) return std::string(wide.begin(), wide.end());
  return converter(1).convert(reinterpret_cast<const char*>(wide.data()),
                              wide.size() * sizeof(wchar_t), sizeof(wchar_t), "?");
}

std::string gbkToUtf8(std::string_view gbkText) {
  if (isAscii<char>(gbkText)) return std::string(gbkText);
  return converter(2).convert(gbkText.data(), gbkText.size(), 1, "\xEF\xBF\xBD");
}

std::string utf8ToGbk(std::string_view utf8) {
  if (isAscii<char>(utf8)) return std::string(utf8);
  return converter(3).convert(utf8.data(), utf8.size(), kUtf8Unit, "?");
}

std::string utf16ToGbk(std::u16string_view utf16) {
  if (isAscii(utf16)) return std::string(utf16.begin(), utf16.end());
  return converter(4).convert(reinterpret_cast<const char*>(utf16.data()),
                              utf16.size() * sizeof(char16_t), sizeof(char16_t), "?");
}

std::u16string gbkToUtf16(std::string_view gbkText) {
  static const std::string replacement = utf16Replacement();
  return asUtf16Units(converter(5).convert(gbkText.data(), gbkText.size(), 1, replacement));
}

std::u16string utf8ToUtf16(std::string_view utf8) {
  static const std::string replacement = utf16Replacement();
  return asUtf16Units(converter(6).convert(utf8.data(), utf8.size(), 1, replacement));
}

std::string utf16ToUtf8(std::u16string_view utf16) {
  if (isAscii(utf16)) return std::string(utf16.begin(), utf16.end());
  return converter(7).convert(reinterpret_cast<const char*>(utf16.data()),
                              utf16.size() * sizeof(char16_t), sizeof(char16_t), "\xEF\xBF\xBD");
}

bool isValidUtf8(std::string_view bytes) { return invalidUtf8Offset(bytes) == std::string_view::npos; }

size_t decodeUtf8At(std::string_view text, size_t at, char32_t& codePoint) {
  const unsigned char lead = static_cast<unsigned char>(text[at]);
  size_t length;
  char32_t value;
  if (lead < 0x80) {
    length = 1;
    value = lead;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    const unsigned char next = static_cast<unsigned char>(text[at + k]);
    if ((next & 0xC0) != 0x80) return 0;
    value = value << 6 | (next & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
  if ((length == 3 && value < 0x800) || (length == 4 && (value < 0x10000 || value > 0x10FFFF)) ||
      (value >= 0xD800 && value <= 0xDFFF)) {
    return 0;
  }
  codePoint = value;
  return length;
}

size_t invalidUtf8Offset(std::string_view bytes) {
  char32_t codePoint;
  for (size_t i = 0; i < bytes.size();) {
    const size_t length = decodeUtf8At(bytes, i, codePoint);
    if (length == 0) return i;
    i += length;
  }
  return std::string_view::npos;
}

size_t invalidGbkOffset(std::string_view bytes) {
  if (isAscii<char>(bytes)) return std::string_view::npos;
  return converter(5).firstInvalid(bytes.data(), bytes.size());
}

std::string userTextToGbk(std::string_view bytes) {
  // A UTF-8 byte order mark says the encoding outright and is not part of the text.
  if (bytes.starts_with("\xEF\xBB\xBF")) return utf8ToGbk(bytes.substr(3));
  if (isAscii<char>(bytes)) return std::string(bytes);
  if (isValidUtf8(bytes)) return utf8ToGbk(bytes);
  return std::string(bytes);
}

}  // namespace newsclass
