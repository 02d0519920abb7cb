// One progress line on a terminal for the long stages: done/total, percent, rate and time left,
// redrawn in place. It goes only to a terminal, never to a pipe or a file, so that scripts and
// logs see exactly the stage's own lines; the command line decides whether a stage gets one.
#ifndef NEWSCLASS_BASE_PROGRESS_H_
#define NEWSCLASS_BASE_PROGRESS_H_

#include <cstdint>
#include <string>

namespace newsclass {

// Where progress lines are drawn: a file descriptor that is a terminal.
class ProgressDisplay {
 public:
  explicit ProgressDisplay(int fd) : fd_(fd) {}
  // Replaces the line on display by `text` ("\r", the text, erase to the end of the line).
  void draw(const std::string& text);
  // Erases the line on display.
  void clear();

 private:
  int fd_;
};

// Whether progress lines are drawn: only when standard error is a terminal, not turned off, and
// the per-article lines cannot fight them: with --quiet, or when standard output goes elsewhere
// than the terminal standard error is.
bool progressWanted(bool turnedOff, bool quiet, int outFd = 1, int errFd = 2);

// The progress of one stage. Draws at once, then at most every tenth of a second, and once more
// at the end, then erases the line, so that the stage's own lines start on a clean one. Whatever
// the stage wrote to standard output before must be flushed before the meter is made. A null
// display draws nothing, at no cost.
class ProgressMeter {
 public:
  ProgressMeter(ProgressDisplay* display, std::string label, int64_t total,
                std::string unit = "articles");
  ~ProgressMeter();
  ProgressMeter(const ProgressMeter&) = delete;
  ProgressMeter& operator=(const ProgressMeter&) = delete;

  // Records `done` items finished in all.
  void update(int64_t done) {
    done_ = done;
    if (display_ != nullptr) maybeDraw(false);
  }
  void advance(int64_t items = 1) { update(done_ + items); }
  // Draws the final state and erases the line; the destructor does it when the stage did not.
  void finish();

  // The line for a state, e.g. "dictionary: 1200/10000 articles (12%), 3400/s, 3 s left".
  static std::string line(const std::string& label, int64_t done, int64_t total,
                          const std::string& unit, double seconds);

 private:
  void maybeDraw(bool force);

  ProgressDisplay* display_;
  std::string label_;
  std::string unit_;
  int64_t total_;
  int64_t done_ = 0;
  int64_t startMs_;
  int64_t lastDrawMs_ = 0;
  bool finished_ = false;
};

}  // namespace newsclass

#endif  // NEWSCLASS_BASE_PROGRESS_H_
