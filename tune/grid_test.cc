#include "tune/grid.h"

#include <gtest/gtest.h>

#include <string>

#include "base/errors.h"

namespace newsclass {
namespace {

std::string refusal(const std::string& spec) {
  try {
    parseGrid(spec);
  } catch (const UsageError& error) {
    return error.what();
  }
  return "";
}

TEST(GridTest, EveryCombinationTheFirstKeyVaryingSlowest) {
  const auto settings = parseGrid(" classifier=linear,logistic ; c=0.5, 2 ;terms=words+chars;");
  ASSERT_EQ(settings.size(), 4u);
  EXPECT_EQ(settings[0], (TuneSetting{{"classifier", "linear"}, {"c", "0.5"}, {"terms", "words+chars"}}));
  EXPECT_EQ(settings[1], (TuneSetting{{"classifier", "linear"}, {"c", "2"}, {"terms", "words+chars"}}));
  EXPECT_EQ(settings[2], (TuneSetting{{"classifier", "logistic"}, {"c", "0.5"}, {"terms", "words+chars"}}));
  EXPECT_EQ(settings[3], (TuneSetting{{"classifier", "logistic"}, {"c", "2"}, {"terms", "words+chars"}}));
  EXPECT_EQ(parseGrid("classifier=knn;weighting=spec,tfidf;vote=count,similarity;k=5,10,20;"
                      "measure=chi,ig;count=0,1000;knn_weight=0;class_weight=none")
                .size(),
            48u);
}

TEST(GridTest, WhatTheOptionsWouldRefuseIsRefusedByName) {
  EXPECT_EQ(refusal(""), "--grid: no setting (write key=value,value;key=value)");
  EXPECT_EQ(refusal(" ; "), "--grid: no setting (write key=value,value;key=value)");
  EXPECT_EQ(refusal("c=1;;k=5"), "--grid: \"\" is not key=value[,value...]");
  EXPECT_EQ(refusal("c"), "--grid: \"c\" is not key=value[,value...]");
  EXPECT_EQ(refusal("C=1"), "--grid: unknown key \"C\"; the keys are classifier, c, class_weight, "
                            "knn_weight, k, vote, weighting, terms, measure, count");
  EXPECT_EQ(refusal("c=1;c=2"), "--grid: \"c\" is given twice");
  EXPECT_EQ(refusal("c=1,,2"), "--grid: c has an empty value");
  EXPECT_EQ(refusal("c=1,1"), "--grid: c=1 is given twice");
  EXPECT_EQ(refusal("c=abc"), "--grid: c=abc: expected a positive number");
  EXPECT_EQ(refusal("c=0"), "--grid: c=0: expected a positive number");
  EXPECT_EQ(refusal("c=inf"), "--grid: c=inf: expected a positive number");
  EXPECT_EQ(refusal("classifier=svm"), "--grid: classifier=svm: expected knn, linear or logistic");
  EXPECT_EQ(refusal("terms=characters"),
            "--grid: terms=characters: expected words, chars or words+chars");
  EXPECT_EQ(refusal("k=0"), "--grid: k=0: expected a whole number from 1 to 2147483647");
  EXPECT_EQ(refusal("count=-1"), "--grid: count=-1: expected a whole number from 0 to 2147483647");
  EXPECT_EQ(refusal("knn_weight=-0.5"), "--grid: knn_weight=-0.5: expected 0 or a positive number");
  EXPECT_EQ(refusal("measure=bm25").rfind("--grid: measure=bm25: expected ", 0), 0u);
  EXPECT_EQ(refusal("vote=majority"), "--grid: vote=majority: expected count or similarity");
  std::string many = "k=";
  for (int k = 1; k <= 101; ++k) many += (k == 1 ? "" : ",") + std::to_string(k);
  EXPECT_EQ(refusal(many + ";c=" + many.substr(2)), "--grid: more than 10000 settings");
}

}  // namespace
}  // namespace newsclass
