#include "base/progress.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>

#include "base/stage_clock.h"

namespace newsclass {
namespace {

constexpr int64_t kRedrawMs = 100;

void writeAll(int fd, const std::string& text) {
  const char* data = text.data();
  size_t left = text.size();
  while (left > 0) {
    const ssize_t wrote = ::write(fd, data, left);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return;  // a progress line is not worth an error
    data += wrote;
    left -= static_cast<size_t>(wrote);
  }
}

bool sameFile(int a, int b) {
  struct stat first {}, second {};
  if (::fstat(a, &first) != 0 || ::fstat(b, &second) != 0) return false;
  return first.st_dev == second.st_dev && first.st_ino == second.st_ino &&
         first.st_rdev == second.st_rdev;
}

}  // namespace

void ProgressDisplay::draw(const std::string& text) { writeAll(fd_, "\r" + text + "\x1b[K"); }

void ProgressDisplay::clear() { writeAll(fd_, "\r\x1b[K"); }

bool progressWanted(bool turnedOff, bool quiet, int outFd, int errFd) {
  if (turnedOff || ::isatty(errFd) != 1) return false;
  return quiet || !(::isatty(outFd) == 1 && sameFile(outFd, errFd));
}

ProgressMeter::ProgressMeter(ProgressDisplay* display, std::string label, int64_t total,
                             std::string unit)
    : display_(display),
      label_(std::move(label)),
      unit_(std::move(unit)),
      total_(total),
      startMs_(StageClock::nowMilliseconds()) {
  if (display_ != nullptr) maybeDraw(true);
}

ProgressMeter::~ProgressMeter() { finish(); }

void ProgressMeter::finish() {
  if (display_ != nullptr && !finished_) {
    maybeDraw(true);
    display_->clear();
  }
  finished_ = true;
}

void ProgressMeter::maybeDraw(bool force) {
  const int64_t now = StageClock::nowMilliseconds();
  if (!force && now - lastDrawMs_ < kRedrawMs) return;
  lastDrawMs_ = now;
  display_->draw(line(label_, done_, total_, unit_, static_cast<double>(now - startMs_) / 1000.0));
}

std::string ProgressMeter::line(const std::string& label, int64_t done, int64_t total,
                                const std::string& unit, double seconds) {
  char text[256];
  int length = 0;
  if (total > 0) {
    const int percent = static_cast<int>(std::min<int64_t>(100, done * 100 / total));
    length = std::snprintf(text, sizeof text, "%s: %lld/%lld %s (%d%%)", label.c_str(),
                           static_cast<long long>(done), static_cast<long long>(total),
                           unit.c_str(), percent);
  } else {
    length = std::snprintf(text, sizeof text, "%s: %lld %s", label.c_str(),
                           static_cast<long long>(done), unit.c_str());
  }
  std::string result(text, static_cast<size_t>(std::max(0, length)));
  if (seconds >= 0.05 && done > 0) {
    const double rate = static_cast<double>(done) / seconds;
    result += ", " + std::to_string(static_cast<long long>(std::llround(rate))) + "/s";
    if (total > done) {
      const double left = static_cast<double>(total - done) / rate;
      result += ", " + std::to_string(static_cast<long long>(std::ceil(left))) + " s left";
    }
  }
  return result;
}

}  // namespace newsclass
