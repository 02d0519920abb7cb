// evaluate --format html rendered in a real browser: headless Chromium must find every
// category, the heat map and the accuracy in the rendered page, and draw a screenshot that is
// not blank. Skips itself where Chromium is not installed.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "testing/command_runner.h"
#include "testing/test_support.h"

namespace newsclass {
namespace {

constexpr const char* kLexicon = "/usr/lib/python3/dist-packages/jieba/dict.txt";

std::string findChromium() {
  for (const char* path : {"/usr/bin/chromium", "/usr/bin/chromium-browser"}) {
    if (std::filesystem::exists(path)) return path;
  }
  return "";
}

// Runs a shell command and returns its standard output.
std::string outputOf(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return output;
  char buffer[4096];
  for (size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, got);
  pclose(pipe);
  return output;
}

class HtmlReportBrowserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    chromium = findChromium();
    if (chromium.empty()) {
      GTEST_SKIP() << "chromium is not installed (Debian package chromium): the browser test "
                      "of the HTML report is skipped";
    }
    if (!std::filesystem::exists(kLexicon)) GTEST_SKIP() << kLexicon << " is not installed";
  }

  testing::CommandResult run(std::vector<std::string> command) {
    std::vector<std::string> arguments = testing::sampleCorpusArguments(data);
    arguments.insert(arguments.end(), {"-q"});
    arguments.insert(arguments.end(), command.begin(), command.end());
    return testing::runCommand(arguments);
  }

  std::string browser(const std::string& what) {
    return "timeout 120 " + chromium + " --headless --no-sandbox --disable-gpu --hide-scrollbars " +
           "--user-data-dir=" + dir.file("profile") + " --window-size=1200,2000 " + what +
           " 2>/dev/null";
  }

  std::string chromium;
  testing::TempDir dir;
  std::string data = dir.file("data");
};

TEST_F(HtmlReportBrowserTest, RenderedPageHoldsEveryCategoryTheHeatMapAndTheAccuracy) {
  ASSERT_EQ(run({"import", "sample/corpus.tsv"}).code, 0);
  ASSERT_EQ(run({"pipeline", "--measure", "chi", "--count", "1000", "--k", "10"}).code, 0);
  const testing::CommandResult html = run({"evaluate", "--format", "html"});
  ASSERT_EQ(html.code, 0) << html.err;
  const std::string page = dir.file("report.html");
  testing::writeFileBytes(page, html.out);
  // The accuracy the text report gives, as the page must show it.
  const std::string text = run({"evaluate"}).out;
  const size_t at = text.find("\naccuracy");
  ASSERT_NE(at, std::string::npos) << text;
  const std::string accuracy = text.substr(text.find_first_of("0123456789", at), 6);

  const std::string dom = outputOf(browser("--dump-dom file://" + page));
  ASSERT_FALSE(dom.empty()) << "chromium rendered nothing";
  for (const char* category :
       {"history", "culture", "reading", "military", "society&amp;law", "entertainment"}) {
    EXPECT_NE(dom.find(category), std::string::npos) << category;
  }
  EXPECT_NE(dom.find("<svg id=\"confusion-heatmap\""), std::string::npos);
  EXPECT_NE(dom.find("Accuracy <b>" + accuracy + "</b>"), std::string::npos) << accuracy;

  // The screenshot is not blank: a page with content compresses far worse than an empty one.
  const std::string blank = dir.file("blank.html");
  testing::writeFileBytes(blank, "<!DOCTYPE html><html><body></body></html>\n");
  const std::string shot = dir.file("report.png");
  const std::string blankShot = dir.file("blank.png");
  outputOf(browser("--screenshot=" + shot + " file://" + page));
  outputOf(browser("--screenshot=" + blankShot + " file://" + blank));
  ASSERT_TRUE(std::filesystem::exists(shot)) << "no screenshot";
  ASSERT_TRUE(std::filesystem::exists(blankShot)) << "no screenshot of the blank page";
  EXPECT_EQ(testing::readFileBytes(shot).substr(0, 8), "\x89PNG\r\n\x1a\n");
  EXPECT_GT(std::filesystem::file_size(shot), 4 * std::filesystem::file_size(blankShot))
      << std::filesystem::file_size(shot) << " bytes against a blank page's "
      << std::filesystem::file_size(blankShot);
}

}  // namespace
}  // namespace newsclass
