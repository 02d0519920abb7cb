// One JSON object on one line, written field by field, for answers that scripts read line by
// line (predict's jsonl). Fields come out in the order they are added, lists and objects nest,
// and the writer puts the commas. Strings are GBK text, escaped as gbkJsonString does (so the
// console's conversion to UTF-8 gives plain JSON); numbers are the shortest decimal text that
// reads back as the same double, whole numbers plain decimal.
#ifndef NEWSCLASS_BASE_JSON_LINE_H_
#define NEWSCLASS_BASE_JSON_LINE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace newsclass {

class JsonLine {
 public:
  JsonLine();

  // A field of the object being written: `key` and a GBK string, a number or a whole number.
  // A number that is not finite has no JSON text and is written as null.
  JsonLine& text(std::string_view key, std::string_view gbkText);
  JsonLine& number(std::string_view key, double value);
  JsonLine& integer(std::string_view key, int64_t value);

  // A list of objects under `key`: openList, then for each item openItem ... closeItem, then
  // closeList.
  JsonLine& openList(std::string_view key);
  JsonLine& openItem();
  JsonLine& closeItem();
  JsonLine& closeList();

  // The object closed and ended by a newline. Every list and item opened must be closed.
  std::string finish();

 private:
  // Opens a value inside the current object or list: the comma before every value but the first.
  void separate();
  void key(std::string_view key);

  std::string out_;
  // One entry per open object or list: whether it holds a value yet.
  std::vector<bool> holdsValue_;
};

}  // namespace newsclass

#endif  // NEWSCLASS_BASE_JSON_LINE_H_
