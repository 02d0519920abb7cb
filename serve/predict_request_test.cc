// Request bodies as serve reads them: texts converted to the model's GBK, the fields' defaults,
// and the refusals at the edges of each field's range.
#include "serve/predict_request.h"

#include <gtest/gtest.h>

#include <string>

#include "base/encoding.h"

namespace newsclass {
namespace {

std::string refusal(const std::string& body, size_t maxTexts = 10) {
  try {
    parsePredictRequest(body, maxTexts);
  } catch (const RequestError& error) {
    return error.what();
  }
  return "accepted";
}

TEST(PredictRequestTest, TextsArriveInGbkWithTheFieldsDefaults) {
  const PredictRequest request =
      parsePredictRequest(R"({"texts": ["国足", "\u51fa\u7248", "", "a\tb"]})", 10);
  ASSERT_EQ(request.texts.size(), 4u);
  EXPECT_EQ(request.texts[0], utf8ToGbk("国足"));
  EXPECT_EQ(request.texts[0], "\xB9\xFA\xD7\xE3");
  EXPECT_EQ(request.texts[1], utf8ToGbk("出版"));
  EXPECT_EQ(request.texts[2], "");
  EXPECT_EQ(request.texts[3], "a\tb");
  EXPECT_EQ(request.top, 0u);
  EXPECT_FALSE(request.neighbours);
  EXPECT_FALSE(request.explain);
}

TEST(PredictRequestTest, ACharacterOutsideGbkBecomesAQuestionMarkAsPredictReadsIt) {
  const PredictRequest request = parsePredictRequest(R"({"texts": ["a😀b"]})", 10);
  EXPECT_EQ(request.texts[0], "a?b");
}

TEST(PredictRequestTest, TheFieldsAtTheEdgesOfTheirRanges) {
  const PredictRequest request = parsePredictRequest(
      R"({"texts": ["a"], "top": 2147483647, "neighbours": true, "explain": true})", 1);
  EXPECT_EQ(request.top, 2147483647u);
  EXPECT_TRUE(request.neighbours);
  EXPECT_TRUE(request.explain);
  EXPECT_EQ(parsePredictRequest(R"({"texts": ["a"], "top": 1})", 1).top, 1u);
  EXPECT_EQ(refusal(R"({"texts": ["a"], "top": 2147483648})"),
            "\"top\" must be a whole number from 1 to 2147483647, got 2147483648");
  EXPECT_EQ(refusal(R"({"texts": ["a"], "top": -1})"),
            "\"top\" must be a whole number from 1 to 2147483647, got -1");
  EXPECT_EQ(refusal(R"({"texts": ["a"], "top": null})"),
            "\"top\" must be a whole number from 1 to 2147483647, got null");
  EXPECT_EQ(refusal(R"({"texts": ["a", "b", "c"]})", 2),
            "\"texts\" holds 3 texts, more than 2 (--max-texts)");
  EXPECT_EQ(refusal(R"({"texts": ["a", "b"]})", 2), "accepted");
}

TEST(PredictRequestTest, RefusalsNameWhatIsWrong) {
  EXPECT_EQ(refusal("\xEF\xBB\xBF{\"texts\": [\"a\"]}"), "accepted");  // a byte-order mark
  EXPECT_EQ(refusal("{\"texts\": [\"\xC0\xAF\"]}"), "the body is not valid UTF-8 (byte 12)");
  EXPECT_EQ(refusal(""), "the body is not JSON: parse error at line 1, column 1: syntax error "
                         "while parsing value - unexpected end of input; expected '[', '{', or "
                         "a literal");
  EXPECT_EQ(refusal("{\"texts\": [\"a\"]} x"),
            "the body is not JSON: parse error at line 1, column 18: syntax error while parsing "
            "value - invalid literal; last read: '\"a\"]} x'; expected end of input");
  EXPECT_EQ(refusal("\"texts\""), "the body must be a JSON object with \"texts\", got a string");
  EXPECT_EQ(refusal(R"({"texts": {"a": "b"}})"),
            "\"texts\" must be a list of strings, got an object");
  EXPECT_EQ(refusal(R"({"texts": [null]})"), "\"texts\"[0] must be a string, got null");
  EXPECT_EQ(refusal(R"({"texts": ["a"], "neighbours": "yes"})"),
            "\"neighbours\" must be true or false, got a string");
  EXPECT_EQ(refusal(R"({"Texts": ["a"]})"),
            "unknown field \"Texts\" (the fields are texts, top, neighbours and explain)");
  EXPECT_EQ(refusal(std::string(100000, '[')), "the body nests deeper than a request does");
  // A number past the doubles' range is refused, not thrown on as another kind of error.
  EXPECT_EQ(refusal(R"({"texts": ["a"], "top": 1e999})"),
            "the body is not JSON: number overflow parsing '1e999'");
}

}  // namespace
}  // namespace newsclass
