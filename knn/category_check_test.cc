#include "knn/category_check.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "base/encoding.h"
#include "base/errors.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

using testing::TestEnvironment;

std::string refusal(CorpusProcessor& processor, const CategoryList& categories) {
  try {
    checkCategoriesInTable(processor.environment(), categories, "TrainingCorpus");
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

TEST(CategoryCheckTest, ATableOfManyCategoriesGivesAShortLine) {
  TestEnvironment env;
  CorpusProcessor processor = env.processor(1, 5000);
  std::vector<testing::TestArticle> articles;
  for (int id = 1; id <= 5000; ++id) {
    char name[16];
    std::snprintf(name, sizeof name, "c%05d", id);
    articles.push_back({id, "t", name, "x"});
  }
  testing::insertArticles(env.environment.connectionString, "TrainingCorpus", articles);
  CategoryList asked;
  for (int i = 0; i < 12; ++i) {
    char name[8];
    std::snprintf(name, sizeof name, "x%d", i);
    asked.push_back(name);
  }
  EXPECT_EQ(refusal(processor, asked),
            "--categories: none of x0, x1, x2, x3, x4, x5, x6, x7, x8, x9 ... and 2 more occurs in "
            "TrainingCorpus, whose categories are c00001, c00002, c00003, c00004, c00005, c00006, "
            "c00007, c00008, c00009, c00010 ... and 4,990 more");
}

}  // namespace
}  // namespace newsclass
