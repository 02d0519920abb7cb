#include "linear/linear_model_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "base/errors.h"
#include "linear/linear_model.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

// A model file as training writes it: three classes over two features and the bias.
const std::string kHeader =
    "solver_type L2R_L2LOSS_SVC_DUAL\nnr_class 3\nlabel 2 0 1\nnr_feature 2\nbias 1\nw\n";
const std::string kRows =
    "0.5 -0.25 1.0000000000000002 \n-3.2526065174565133e-19 0 -0 \n0.125 4.9406564584124654e-324 -1 \n";

// The message the file `bytes` is refused with over `categories` categories, "" when it parses.
std::string refusal(const std::string& bytes, size_t categories = 3) {
  try {
    parseLinearModelFile("data/linear.model", bytes, categories);
    return "";
  } catch (const DataFileError& error) {
    return error.what();
  }
}

// `text` with its line `line` (from 1) replaced by `replacement` (no line end).
std::string withLine(const std::string& text, size_t line, const std::string& replacement) {
  size_t begin = 0;
  for (size_t i = 1; i < line; ++i) begin = text.find('\n', begin) + 1;
  const size_t end = text.find('\n', begin);
  return text.substr(0, begin) + replacement + text.substr(end);
}

TEST(LinearModelFileTest, AFileAsTrainingWritesItGivesEveryNumberExactly) {
  const LinearModelFile model = parseLinearModelFile("m", kHeader + kRows, 3);
  EXPECT_EQ(model.labels, (std::vector<int>{2, 0, 1}));
  EXPECT_EQ(model.featureCount, 2);
  EXPECT_EQ(model.bias, 1.0);
  EXPECT_EQ(model.columns(), 3u);
  const std::vector<double> expected = {0.5, -0.25, 1.0000000000000002, -3.2526065174565133e-19,
                                        0.0, -0.0, 0.125, 4.9406564584124654e-324, -1.0};
  ASSERT_EQ(model.weights.size(), expected.size());
  EXPECT_EQ(std::memcmp(model.weights.data(), expected.data(), expected.size() * sizeof(double)), 0);
  // Two classes are one machine: one weight a row. No line end after the last row is fine.
  const LinearModelFile two = parseLinearModelFile(
      "m", "solver_type L2R_L2LOSS_SVC_DUAL\nnr_class 2\nlabel 1 0\nnr_feature 1\nbias 1\nw\n2 \n-3", 2);
  EXPECT_EQ(two.columns(), 1u);
  EXPECT_EQ(two.weights, (std::vector<double>{2, -3}));
}

TEST(LinearModelFileTest, HeaderLinesOutOfPlaceOrUnknownNameTheirLine) {
  EXPECT_EQ(refusal(""), "data/linear.model: line 1: not a linear model (run classify --classifier "
                         "linear to train it)");
  EXPECT_EQ(refusal("P6\n" + kRows), "data/linear.model: line 1: not a linear model (run classify "
                                     "--classifier linear to train it)");
  EXPECT_EQ(refusal(withLine(kHeader + kRows, 1, "solver_type MCSVM_CS")),
            "data/linear.model: line 1: solver \"MCSVM_CS\" is not L2R_L2LOSS_SVC_DUAL, the one "
            "classify trains with");
  // liblinear itself takes the lines in any order; training never writes them so.
  EXPECT_EQ(refusal(withLine(kHeader + kRows, 2, "label 2 0 1")),
            "data/linear.model: line 2: \"label 2 0 1\" is not the nr_class line");
  EXPECT_EQ(refusal(withLine(kHeader + kRows, 4, "nr_feature 2 3")),
            "data/linear.model: line 4: \"nr_feature 2 3\" is not the nr_feature line");
  EXPECT_EQ(refusal(withLine(kHeader + kRows, 5, "rho 0")),
            "data/linear.model: line 5: \"rho 0\" is not the bias line");
  EXPECT_EQ(refusal(withLine(kHeader + kRows, 6, "w x")),
            "data/linear.model: line 6: \"w x\" is not the w line");
  EXPECT_EQ(refusal("solver_type L2R_L2LOSS_SVC_DUAL\nnr_class 3\n"),
            "data/linear.model: line 3: the label line is missing (the file ends)");
  // A long or unprintable line is shown cut, its control bytes as '?'.
  EXPECT_EQ(refusal(withLine(kHeader + kRows, 2, "\x1b[31m" + std::string(50, 'x'))),
            "data/linear.model: line 2: \"?[31m" + std::string(35, 'x') +
                "...\" is not the nr_class line");
}

TEST(LinearModelFileTest, ClassesAndLabelsMustBeTheCategoriesOnce) {
  const std::string file = kHeader + kRows;
  EXPECT_EQ(refusal(file, 4),
            "data/linear.model: line 2: nr_class 3 does not match the 4 categories (run classify "
            "--classifier linear again)");
  EXPECT_EQ(refusal(withLine(file, 2, "nr_class +3")),
            "data/linear.model: line 2: nr_class \"+3\" is not a decimal number");
  EXPECT_EQ(refusal(withLine(file, 2, "nr_class 99999999999999999999")),
            "data/linear.model: line 2: nr_class \"99999999999999999999\" is not a decimal number");
  EXPECT_EQ(refusal(withLine(file, 3, "label 2 0")),
            "data/linear.model: line 3: 2 labels for nr_class 3");
  EXPECT_EQ(refusal(withLine(file, 3, "label 2 0 1 1")),
            "data/linear.model: line 3: 4 labels for nr_class 3");
  EXPECT_EQ(refusal(withLine(file, 3, "label 2 0 0")),
            "data/linear.model: line 3: label 0 is listed twice");
  EXPECT_EQ(refusal(withLine(file, 3, "label 2 0 3")),
            "data/linear.model: line 3: label \"3\" is not a category number (0 to 2)");
  EXPECT_EQ(refusal(withLine(file, 3, "label -1 0 1")),
            "data/linear.model: line 3: label \"-1\" is not a category number (0 to 2)");
  EXPECT_EQ(refusal(withLine(file, 3, "label 2 0 1.0")),
            "data/linear.model: line 3: label \"1.0\" is not a category number (0 to 2)");
}

TEST(LinearModelFileTest, FeatureCountAndBiasMustBeWhatTrainingWrites) {
  const std::string file = kHeader + kRows;
  EXPECT_EQ(refusal(withLine(file, 4, "nr_feature -5")),
            "data/linear.model: line 4: nr_feature -5 is not a feature count (1 to 2147483646)");
  EXPECT_EQ(refusal(withLine(file, 4, "nr_feature 0")),
            "data/linear.model: line 4: nr_feature 0 is not a feature count (1 to 2147483646)");
  EXPECT_EQ(refusal(withLine(file, 4, "nr_feature 2147483647")),
            "data/linear.model: line 4: nr_feature 2147483647 is not a feature count (1 to "
            "2147483646)");
  EXPECT_EQ(refusal(withLine(file, 4, "nr_feature 18446744073709551611")),
            "data/linear.model: line 4: nr_feature \"18446744073709551611\" is not a decimal number");
  EXPECT_EQ(refusal(withLine(file, 4, "nr_feature 0x10")),
            "data/linear.model: line 4: nr_feature \"0x10\" is not a decimal number");
  for (const char* bias : {"nan", "inf", "-1", "1.5", "1x"}) {
    EXPECT_EQ(refusal(withLine(file, 5, std::string("bias ") + bias)),
              "data/linear.model: line 5: bias \"" + std::string(bias) +
                  "\" is not 1, the bias classify trains with");
  }
  EXPECT_EQ(refusal(withLine(file, 5, "bias 1.0")), "");
}

TEST(LinearModelFileTest, WeightsMustBeFiniteAndExactlyAsManyAsTheFeatures) {
  const std::string file = kHeader + kRows;
  EXPECT_EQ(refusal(withLine(file, 8, "0 nan 0")),
            "data/linear.model: line 8: weight 2 \"nan\" is not a finite number");
  EXPECT_EQ(refusal(withLine(file, 9, "-inf 0 0")),
            "data/linear.model: line 9: weight 1 \"-inf\" is not a finite number");
  EXPECT_EQ(refusal(withLine(file, 7, "0 0 1e999")),
            "data/linear.model: line 7: weight 3 \"1e999\" is not a number");
  // Finite weights whose sum could still overflow a decision value.
  EXPECT_EQ(refusal(withLine(withLine(file, 7, "1e300 0 0"), 8, "1e300 0 0")),
            "data/linear.model: line 8: weight 1 \"1e300\": the weights of its column add up "
            "beyond 1e300");
  EXPECT_EQ(refusal(withLine(withLine(file, 7, "0 -1e300 0"), 9, "0 0 -1e300")), "");
  EXPECT_EQ(refusal(withLine(file, 7, "0 0 +1")),
            "data/linear.model: line 7: weight 3 \"+1\" is not a number");
  EXPECT_EQ(refusal(withLine(file, 7, "0 0 1,5")),
            "data/linear.model: line 7: weight 3 \"1,5\" is not a number");
  EXPECT_EQ(refusal(withLine(file, 8, "0 0")),
            "data/linear.model: line 8: 2 weights, expected 3 (one per class)");
  EXPECT_EQ(refusal(withLine(file, 8, "0 0 0 0")),
            "data/linear.model: line 8: 4 weights, expected 3 (one per class)");
  // Rows missing: the file ends where the third should be.
  EXPECT_EQ(refusal(kHeader + "1 2 3 \n4 5 6 \n"),
            "data/linear.model: line 9: weight row 3 of 3 is missing (the file ends)");
  EXPECT_EQ(refusal(withLine(file, 4, "nr_feature 3")),
            "data/linear.model: line 10: weight row 4 of 4 is missing (the file ends)");
  // Anything after the last row, a blank line too.
  EXPECT_EQ(refusal(file + "0 0 0 \n"), "data/linear.model: line 10: text after the 3 weight rows");
  EXPECT_EQ(refusal(file + "\n"), "data/linear.model: line 10: text after the 3 weight rows");
  // Two classes take one weight a row.
  EXPECT_EQ(refusal("solver_type L2R_L2LOSS_SVC_DUAL\nnr_class 2\nlabel 0 1\nnr_feature 1\nbias "
                    "1\nw\n1 2 \n3 4 \n",
                    2),
            "data/linear.model: line 7: 2 weights, expected 1 (two classes)");
}

TEST(LinearModelFileTest, LoadingRefusesBeforeLiblinearSeesTheFileAndKeepsGoodFilesExact) {
  testing::TempDir dir;
  const std::string path = dir.file("linear.model");
  testing::writeFileBytes(path, kHeader + kRows);
  const LinearModel model = LinearModel::load(path, 3);
  EXPECT_EQ(model.featureCount(), 2u);
  std::vector<double> values;
  // Feature 0 with weight 1: row 0 plus the bias row, per machine; the machines are labels 2 0 1.
  model.decide({{0, 1.0}}, 3, values);
  ASSERT_EQ(values.size(), 3u);
  EXPECT_EQ(values[2], 0.5 + 0.125);
  EXPECT_EQ(values[0], -0.25 + 4.9406564584124654e-324);
  EXPECT_EQ(values[1], 1.0000000000000002 - 1);
  // Saved again, the same bytes come back but for the weights' own form.
  model.save(dir.file("again.model"));
  EXPECT_EQ(testing::readFileBytes(dir.file("again.model")).substr(0, kHeader.size()), kHeader);

  // Damaged files are refused with the line, and liblinear prints nothing of its own.
  for (const std::string& bad : {withLine(kHeader + kRows, 2, "nr_klass 3"),
                                 withLine(kHeader + kRows, 4, "nr_feature -5"),
                                 withLine(kHeader + kRows, 8, "0 nan 0"), kHeader + kRows + "x\n"}) {
    testing::writeFileBytes(path, bad);
    ::testing::internal::CaptureStderr();
    EXPECT_THROW(LinearModel::load(path, 3), DataFileError);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  }
  testing::writeFileBytes(path, kHeader + kRows);
  try {
    LinearModel::load(path, 6);
    ADD_FAILURE() << "a model of 3 classes loaded for 6 categories";
  } catch (const DataFileError& error) {
    EXPECT_EQ(std::string(error.what()),
              path + ": line 2: nr_class 3 does not match the 6 categories (run classify "
                     "--classifier linear again)");
  }
  try {
    LinearModel::load(dir.file("missing.model"), 3);
    ADD_FAILURE() << "a missing model loaded";
  } catch (const DataFileError& error) {
    EXPECT_EQ(std::string(error.what()).rfind(dir.file("missing.model") + ": cannot open", 0), 0u)
        << error.what();
  }
}

}  // namespace
}  // namespace newsclass
