#include "base/progress.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

namespace newsclass {
namespace {

TEST(ProgressLineTest, ShowsCountPercentRateAndTimeLeft) {
  EXPECT_EQ(ProgressMeter::line("dictionary", 0, 10000, "articles", 0.0),
            "dictionary: 0/10000 articles (0%)");
  EXPECT_EQ(ProgressMeter::line("dictionary", 2500, 10000, "articles", 0.5),
            "dictionary: 2500/10000 articles (25%), 5000/s, 2 s left");
  // Time left rounds up: never "0 s left" while work remains.
  EXPECT_EQ(ProgressMeter::line("classification", 999, 1000, "articles", 1.0),
            "classification: 999/1000 articles (99%), 999/s, 1 s left");
  EXPECT_EQ(ProgressMeter::line("classification", 1000, 1000, "articles", 2.0),
            "classification: 1000/1000 articles (100%), 500/s");
  // More than expected (rows added meanwhile) stays at 100%; an unknown total shows the count.
  EXPECT_EQ(ProgressMeter::line("x", 12, 10, "lines", 0.01), "x: 12/10 lines (100%)");
  EXPECT_EQ(ProgressMeter::line("predict", 42, 0, "lines", 2.0), "predict: 42 lines, 21/s");
}

TEST(ProgressMeterTest, DrawsAtOnceAndAtTheEndThenErases) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  ProgressDisplay display(fds[1]);
  {
    ProgressMeter meter(&display, "dictionary", 3);
    meter.advance();
    meter.advance(2);  // within a tenth of a second of the first draw: not drawn
  }
  close(fds[1]);
  std::string written;
  char buffer[512];
  for (ssize_t got; (got = read(fds[0], buffer, sizeof buffer)) > 0;) written.append(buffer, got);
  close(fds[0]);
  EXPECT_EQ(written,
            "\rdictionary: 0/3 articles (0%)\x1b[K"
            "\rdictionary: 3/3 articles (100%)\x1b[K"
            "\r\x1b[K");
}

TEST(ProgressMeterTest, NoDisplayDrawsNothingAndAPipeIsNoTerminal) {
  ProgressMeter meter(nullptr, "dictionary", 3);
  meter.advance();
  meter.finish();
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  EXPECT_FALSE(progressWanted(false, true, fds[1], fds[1]));
  close(fds[0]);
  close(fds[1]);
}

}  // namespace
}  // namespace newsclass
