#include "knn/category_check.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "driver/encoding.h"
#include "driver/errors.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

using testing::TestEnvironment;

std::string refusal(CorpusProcessor& processor, const CategoryList& categories) {
  try {
    checkCategoriesInTable(processor, categories, "TrainingCorpus");
  } catch (const UsageError& e) {
    return e.what();
  }
  return "(accepted)";
}

TEST(CategoryCheckTest, EmptyTableAndBlankCategoriesHoldNoCategory) {
  TestEnvironment env;
  CorpusProcessor processor = env.processor(1, 10);
  EXPECT_EQ(refusal(processor, {"history"}),
            "--categories: none of history occurs in TrainingCorpus, which holds no categorised "
            "article");
  testing::insertArticles(env.environment.connectionString, "TrainingCorpus",
                          {{1, "t", "   ", "x"}, {2, "t", "", "x"}});
  EXPECT_EQ(refusal(processor, {"history", "culture"}),
            "--categories: none of history, culture occurs in TrainingCorpus, which holds no "
            "categorised article");
}

TEST(CategoryCheckTest, NamesAreComparedTrimmedAndExactlyAndShownForTheConsole) {
  TestEnvironment env;
  std::ostringstream out;
  Console utf8(out, ConsoleEncoding::kUtf8);
  env.environment.console = &utf8;
  CorpusProcessor processor = env.processor(1, 10);
  testing::insertArticles(env.environment.connectionString, "TrainingCorpus",
                          {{1, "t", gbk("历史 "), "x"},
                           {2, "t", " sport", "x"},
                           {3, "t", "sport", "x"},
                           {4, "t", "Art", "x"}});
  EXPECT_EQ(refusal(processor, {"art", gbk("文化"), "sport "}),
            "--categories: none of art, 文化, sport  occurs in TrainingCorpus, whose categories "
            "are Art, sport, 历史");
  EXPECT_EQ(refusal(processor, {"art", gbk("历史")}), "(accepted)");
  EXPECT_EQ(refusal(processor, {"sport"}), "(accepted)");
  EXPECT_EQ(out.str(), "");
}

}  // namespace
}  // namespace newsclass
