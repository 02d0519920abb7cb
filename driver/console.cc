#include "driver/console.h"

#include <langinfo.h>

#include <algorithm>
#include <cctype>
#include <clocale>
#include <string>

#include "driver/encoding.h"
#include "driver/text_utils.h"

namespace newsclass {

bool parseConsoleEncoding(std::string_view name, ConsoleEncoding& encoding) {
  std::string lower(name);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (lower == "auto") {
    encoding = detectConsoleEncoding();
  } else if (lower == "gbk") {
    encoding = ConsoleEncoding::kGbk;
  } else if (lower == "utf-8" || lower == "utf8") {
    encoding = ConsoleEncoding::kUtf8;
  } else {
    return false;
  }
  return true;
}

ConsoleEncoding detectConsoleEncoding() {
  // The character set of the user's locale, as the environment (LC_ALL, LC_CTYPE, LANG) sets it.
  const char* previous = std::setlocale(LC_CTYPE, nullptr);
  std::string saved = previous ? previous : "C";
  std::setlocale(LC_CTYPE, "");
  std::string codeset = nl_langinfo(CODESET);
  std::setlocale(LC_CTYPE, saved.c_str());
  std::transform(codeset.begin(), codeset.end(), codeset.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  if (codeset == "GBK" || codeset == "GB2312" || codeset == "GB18030" || codeset == "CP936" ||
      codeset == "EUC-CN") {
    return ConsoleEncoding::kGbk;
  }
  return ConsoleEncoding::kUtf8;
}

void Console::write(std::string_view gbkText) {
  if (encoding_ == ConsoleEncoding::kGbk) {
    out_->write(gbkText.data(), static_cast<std::streamsize>(gbkText.size()));
  } else {
    std::string converted = gbkToUtf8(gbkText);
    out_->write(converted.data(), static_cast<std::streamsize>(converted.size()));
  }
}

void Console::line(std::string_view gbkText) {
  write(gbkText);
  out_->put('\n');
}

void Console::timingLine(std::string_view gbkLabel, double seconds) {
  write(gbkLabel);
  std::string number = formatSeconds(seconds);
  number.push_back('\n');
  out_->write(number.data(), static_cast<std::streamsize>(number.size()));
}

void Console::detail(std::string_view gbkText) {
  if (quiet_) return;
  line(gbkText);
}

}  // namespace newsclass
