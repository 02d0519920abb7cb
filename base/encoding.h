// Conversions between the encodings the system meets: GBK (code page 936) inside, UTF-8 on
// terminals and in user files, UTF-16 from ODBC drivers and wide (UTF-32 wchar_t) text for the
// regular expressions. All conversions go through glibc's iconv and never drop the rest of a
// text at a bad character: a character GBK cannot hold becomes "?", a byte sequence that is not
// valid in the source encoding becomes U+FFFD (or "?" when the target is GBK).
#ifndef NEWSCLASS_BASE_ENCODING_H_
#define NEWSCLASS_BASE_ENCODING_H_

#include <string>
#include <string_view>

namespace newsclass {

// GBK bytes to wide text; invalid GBK bytes become U+FFFD, one per bad byte.
std::wstring gbkToWide(std::string_view gbk);
// Wide text to GBK; characters outside GBK become "?".
std::string wideToGbk(std::wstring_view wide);

// GBK bytes to UTF-8; invalid GBK bytes become U+FFFD.
std::string gbkToUtf8(std::string_view gbk);
// UTF-8 to GBK; characters outside GBK and invalid UTF-8 bytes become "?".
std::string utf8ToGbk(std::string_view utf8);

// UTF-16 code units (as ODBC's SQLWCHAR delivers them) to GBK; characters outside GBK become "?".
std::string utf16ToGbk(std::u16string_view utf16);
// UTF-16 code units (driver messages, column and DBMS names) to UTF-8; an unpaired surrogate
// becomes U+FFFD.
std::string utf16ToUtf8(std::u16string_view utf16);
// GBK to UTF-16 code units, for binding text parameters.
std::u16string gbkToUtf16(std::string_view gbk);
// UTF-8 to UTF-16 code units.
std::u16string utf8ToUtf16(std::string_view utf8);

// The length (1 to 4) of the well-formed UTF-8 sequence at text[at], with its code point in
// `codePoint`; 0, leaving `codePoint` alone, when the bytes there are not one (a stray
// continuation byte, a cut-off sequence, overlong forms, surrogates, values past U+10FFFF).
// Needs at < text.size().
size_t decodeUtf8At(std::string_view text, size_t at, char32_t& codePoint);
// True when the bytes are valid UTF-8 (an all-ASCII text is valid UTF-8).
bool isValidUtf8(std::string_view bytes);
// The offset of the first byte that does not start a valid UTF-8 sequence (overlong forms,
// surrogates and values past U+10FFFF included), or npos when the bytes are valid UTF-8.
size_t invalidUtf8Offset(std::string_view bytes);
// The offset of the first byte that does not start a character of code page 936 (GBK with the
// euro sign at 0x80), a lead byte cut off at the end included, or npos when all are valid.
size_t invalidGbkOffset(std::string_view bytes);

// Text a user wrote (a corpus, stop words, a user dictionary) to GBK: valid UTF-8 that holds
// non-ASCII bytes is read as UTF-8, anything else is taken as GBK already.
std::string userTextToGbk(std::string_view bytes);

// A UTF-8 string literal in GBK, for the system's Chinese console labels.
inline std::string gbk(std::string_view utf8Literal) { return utf8ToGbk(utf8Literal); }

}  // namespace newsclass

#endif  // NEWSCLASS_BASE_ENCODING_H_
