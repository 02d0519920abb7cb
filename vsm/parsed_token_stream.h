// The tokens of a vector file with every token already parsed as a weight, read in blocks whose
// tokens are split and parsed on several threads. A reader walking the tokens one by one then
// costs little more than a loop over the parsed values, and the parsing runs on every core.
// Splits tokens as FileTokenStream does and fails with its messages; holds one block of the file
// (a few megabytes per thread) and the parsed tokens of that block, never the whole file.
#ifndef NEWSCLASS_VSM_PARSED_TOKEN_STREAM_H_
#define NEWSCLASS_VSM_PARSED_TOKEN_STREAM_H_

#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace newsclass {

class CachedWeightParser;

class ParsedTokenStream {
 public:
  // Opens `path`; `threads` parse each block. Throws DataFileError
  // "<path>: cannot open for reading: <reason>".
  ParsedTokenStream(const std::string& path, int threads, size_t blockBytesPerThread = 4 << 20);
  ~ParsedTokenStream();
  ParsedTokenStream(const ParsedTokenStream&) = delete;
  ParsedTokenStream& operator=(const ParsedTokenStream&) = delete;

  // The next token, or false at the end of the file. The token stays valid until the next call.
  // Throws DataFileError "<path>: cannot read: <reason>" when reading fails.
  bool next(std::string_view& token) {
    while (at_ == lanes_[lane_].size()) {
      if (lane_ + 1 < lanes_.size()) {
        ++lane_;
        at_ = 0;
      } else if (!readBlock()) {
        return false;
      }
    }
    const Token& current = lanes_[lane_][at_++];
    nextOffset_ = current.offset + current.length;
    token = std::string_view(block_.data() + current.offset, current.length);
    weight_ = current.valid ? std::optional<double>(current.value) : std::nullopt;
    return true;
  }

  // Appends to `out` the weights of up to `count` next tokens while they are numbers with a
  // finite value, and returns how many it took; it stops early at a token that is not, and may
  // stop early at the end of a block. Cheaper than next for the long runs of weights.
  size_t takeFiniteWeights(size_t count, std::vector<double>& out) {
    const std::vector<Token>& tokens = lanes_[lane_];
    const size_t end = std::min(tokens.size(), at_ + count);
    const size_t first = at_;
    while (at_ < end && tokens[at_].finite) out.push_back(tokens[at_++].value);
    if (at_ > first) nextOffset_ = tokens[at_ - 1].offset + tokens[at_ - 1].length;
    return at_ - first;
  }

  // The last token returned by next, parsed as a weight (parseWeightToken's result).
  std::optional<double> weight() const { return weight_; }

  // Bytes of the file not returned yet as far as its size at opening tells (0 when unknown).
  uint64_t remaining() const;

 private:
  struct Token {
    uint32_t offset;
    uint32_t length;
    double value;
    bool valid;
    bool finite;  // valid and finite
  };

  static bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
  }
  // Reads the next block, cut after its last white space, and parses its tokens. False at the
  // end of the file, when no token is left.
  bool readBlock();
  // Fills block_ with the token the last block cut off and the file's next bytes, carries what
  // follows the block's last white space over to the next block, and returns the bytes the
  // block keeps (all that is left at the end of the file; 0 when nothing is).
  size_t fillBlock();
  // Reads on after the `filled` bytes of block_ (adding what it reads to `filled`) until the
  // block is full or the file ends; a full block that one token fills is doubled and read on.
  // Returns the bytes up to and with the block's last white space (all of them at the end of
  // the file).
  size_t readUntilCut(size_t& filled);
  // Reads until block_ is full but for its padding, or the file ends (atEnd_).
  void readIntoBlock(size_t& filled);
  // Splits the first `cut` bytes of block_ into one run per thread, each starting at a token,
  // and parses the runs' tokens into lanes_ side by side.
  void parseBlock(size_t cut);
  void parseLane(size_t lane, size_t first, size_t last);

  std::string path_;
  int fd_ = -1;
  int threads_;
  size_t blockBytes_;
  std::vector<char> block_;     // the current block and padding after it
  size_t blockSize_ = 0;        // bytes of the current block
  std::vector<char> carry_;     // the start of a token the last block cut off
  bool atEnd_ = false;
  uint64_t fileSize_ = 0;
  bool sizeKnown_ = false;      // a regular file: fileSize_ is its size
  uint64_t blockOffset_ = 0;    // file offset of block_[0]
  std::vector<std::vector<Token>> lanes_;  // the block's tokens, one run per thread, in order
  size_t lane_ = 0;
  size_t at_ = 0;
  uint64_t nextOffset_ = 0;     // block offset after the last token returned
  std::optional<double> weight_;
  std::vector<std::unique_ptr<CachedWeightParser>> parsers_;  // one per thread, kept warm
};

}  // namespace newsclass

#endif  // NEWSCLASS_VSM_PARSED_TOKEN_STREAM_H_
