#include "base/json_line.h"

#include <cmath>
#include <stdexcept>
#include <utility>

#include "base/text_utils.h"

namespace newsclass {

JsonLine::JsonLine() : out_("{"), holdsValue_{false} {}

void JsonLine::separate() {
  if (holdsValue_.back()) out_ += ',';
  holdsValue_.back() = true;
}

void JsonLine::key(std::string_view key) {
  separate();
  out_ += gbkJsonString(key);
  out_ += ':';
}

JsonLine& JsonLine::text(std::string_view key, std::string_view gbkText) {
  this->key(key);
  out_ += gbkJsonString(gbkText);
  return *this;
}

JsonLine& JsonLine::number(std::string_view key, double value) {
  this->key(key);
  out_ += std::isfinite(value) ? shortestDecimal(value) : "null";
  return *this;
}

JsonLine& JsonLine::integer(std::string_view key, int64_t value) {
  this->key(key);
  out_ += std::to_string(value);
  return *this;
}

JsonLine& JsonLine::openList(std::string_view key) {
  this->key(key);
  out_ += '[';
  holdsValue_.push_back(false);
  return *this;
}

JsonLine& JsonLine::openItem() {
  separate();
  out_ += '{';
  holdsValue_.push_back(false);
  return *this;
}

JsonLine& JsonLine::closeItem() {
  out_ += '}';
  holdsValue_.pop_back();
  return *this;
}

JsonLine& JsonLine::closeList() {
  out_ += ']';
  holdsValue_.pop_back();
  return *this;
}

std::string JsonLine::finish() {
  if (holdsValue_.size() != 1) throw std::logic_error("JsonLine: a list or item is still open");
  out_ += "}\n";
  return std::move(out_);
}

}  // namespace newsclass
