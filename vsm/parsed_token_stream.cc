#include "vsm/parsed_token_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <string>

#include "base/parallel.h"
#include "base/text_file_reader.h"
#include "vsm/weight_text.h"

namespace newsclass {
namespace {

// Bytes after a block that a parser may read: CachedWeightParser loads 16 bytes of a token.
constexpr size_t kPadding = 16;

}  // namespace

ParsedTokenStream::ParsedTokenStream(const std::string& path, int threads,
                                     size_t blockBytesPerThread)
    : path_(path),
      threads_(std::max(1, threads)),
      // At most 64 MB a block, however many threads.
      blockBytes_(std::min<size_t>(std::max<size_t>(1, blockBytesPerThread) *
                                       static_cast<size_t>(std::max(1, threads)),
                                   size_t{64} << 20)),
      lanes_(1) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) {
    throw fileError(path, std::string("cannot open for reading: ") + std::strerror(errno));
  }
  struct stat status {};
  if (::fstat(fd_, &status) == 0 && S_ISREG(status.st_mode)) {
    fileSize_ = static_cast<uint64_t>(status.st_size);
    sizeKnown_ = true;
  }
}

ParsedTokenStream::~ParsedTokenStream() {
  if (fd_ >= 0) ::close(fd_);
}

uint64_t ParsedTokenStream::remaining() const {
  const uint64_t read = blockOffset_ + nextOffset_;
  return fileSize_ > read ? fileSize_ - read : 0;
}

bool ParsedTokenStream::readBlock() {
  for (auto& lane : lanes_) lane.clear();
  lane_ = 0;
  at_ = 0;
  if (atEnd_ && carry_.empty()) return false;
  blockOffset_ += blockSize_;
  nextOffset_ = 0;
  const size_t cut = fillBlock();
  if (cut == 0) return false;  // the end, with nothing left
  parseBlock(cut);
  return true;
}

size_t ParsedTokenStream::fillBlock() {
  // The cut-off token first, then as much of the file as the block holds.
  size_t filled = carry_.size();
  // A block need not be larger than what is left of a regular file, plus one byte so that the
  // read that finds the end falls in this block: a small file costs a small buffer. A file that
  // grows meanwhile is still read whole, in further blocks.
  size_t chunk = blockBytes_;
  if (sizeKnown_) {
    const uint64_t readSoFar = blockOffset_ + filled;
    const uint64_t left = fileSize_ > readSoFar ? fileSize_ - readSoFar : 0;
    chunk = static_cast<size_t>(std::min<uint64_t>(chunk, left + 1));
  }
  block_.resize(std::max(block_.size(), filled + chunk + kPadding));
  if (!carry_.empty()) std::memcpy(block_.data(), carry_.data(), carry_.size());
  carry_.clear();
  const size_t cut = readUntilCut(filled);
  carry_.assign(block_.begin() + static_cast<std::ptrdiff_t>(cut),
                block_.begin() + static_cast<std::ptrdiff_t>(filled));
  blockSize_ = cut;
  std::memset(block_.data() + cut, 0, kPadding);
  return cut;
}

size_t ParsedTokenStream::readUntilCut(size_t& filled) {
  // A token longer than the block makes the block grow until a white space or the end ends it.
  for (size_t searched = 0;;) {
    readIntoBlock(filled);
    if (atEnd_) return filled;
    size_t last = filled;
    while (last > searched && !isSpace(block_[last - 1])) --last;
    if (last > searched) return last;
    searched = filled;
    if (block_.size() > (uint64_t{1} << 31)) {
      // Token offsets are 32 bits; no vector file holds a token of gigabytes.
      throw fileError(path_, "a token at byte " + std::to_string(blockOffset_) +
                                 " is longer than 2 GB");
    }
    block_.resize(block_.size() * 2);
  }
}

void ParsedTokenStream::readIntoBlock(size_t& filled) {
  while (!atEnd_ && filled < block_.size() - kPadding) {
    const ssize_t got = ::read(fd_, block_.data() + filled, block_.size() - kPadding - filled);
    if (got < 0) {
      if (errno == EINTR) continue;
      throw fileError(path_, std::string("cannot read: ") + std::strerror(errno));
    }
    if (got == 0) atEnd_ = true;
    filled += static_cast<size_t>(got);
  }
}

void ParsedTokenStream::parseBlock(size_t cut) {
  // One run of the block per thread, each starting at a token's start.
  const size_t lanes = static_cast<size_t>(threads_);
  std::vector<size_t> starts(lanes + 1, cut);
  starts[0] = 0;
  for (size_t lane = 1; lane < lanes; ++lane) {
    size_t at = std::max(starts[lane - 1], cut * lane / lanes);
    while (at < cut && !isSpace(block_[at])) ++at;
    starts[lane] = at;
  }
  lanes_.resize(lanes);
  parsers_.resize(lanes);
  runInParallel(threads_, lanes,
                [&](size_t lane, size_t) { parseLane(lane, starts[lane], starts[lane + 1]); });
}

void ParsedTokenStream::parseLane(size_t lane, size_t first, size_t last) {
  if (!parsers_[lane]) parsers_[lane] = std::make_unique<CachedWeightParser>();
  CachedWeightParser& parser = *parsers_[lane];
  std::vector<Token>& tokens = lanes_[lane];
  const char* const base = block_.data();
  const char* p = base + first;
  const char* const end = base + last;
  tokens.reserve(static_cast<size_t>(end - p) / 8);
  while (true) {
    while (p < end && isSpace(*p)) ++p;
    if (p == end) break;
    const char* start = p;
    while (p < end && !isSpace(*p)) ++p;
    const std::string_view text(start, static_cast<size_t>(p - start));
    const std::optional<double> value = parser.parse(text);
    tokens.push_back(Token{static_cast<uint32_t>(start - base),
                           static_cast<uint32_t>(text.size()), value.value_or(0.0),
                           value.has_value(), value.has_value() && std::isfinite(*value)});
  }
}

}  // namespace newsclass
