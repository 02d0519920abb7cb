// predict's input: the FILEs it reads (UTF-8 or GBK, decided as a whole or line by line) and
// the ids of --tsv lines, which must be non-empty and unique in the whole run.
#ifndef NEWSCLASS_CLI_PREDICT_INPUT_H_
#define NEWSCLASS_CLI_PREDICT_INPUT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace newsclass {

// The ids of a --tsv run: each must be non-empty and given once in the whole run, so that every
// answer is found by its id alone.
class IdRegister {
 public:
  // Adds the id of line `line` of input `input` (0, 1, ...), named `where` in errors:
  // DataFileError "WHERE: line N: empty id" or "WHERE: line N: id X repeats [OTHER ]line M".
  void add(const std::string& id, size_t input, const std::string& where, uint64_t line);
  // The name of input `input` in errors about a later input.
  void nameInput(size_t input, const std::string& where);

 private:
  struct Place {
    size_t input;
    uint64_t line;
  };
  std::unordered_map<std::string, Place> seen_;
  std::vector<std::string> inputNames_;
};

// Checks the --tsv lines of a whole input, named `where`: each an id, a tab and its text (or
// blank), the ids against the run's earlier ones. DataFileError naming the line otherwise.
void checkTsvIds(std::string_view text, size_t input, const std::string& where, IdRegister& ids);

// The text of an input FILE in GBK. A file that is valid UTF-8 as a whole is converted at once;
// any other is decided line by line, as standard input is (UTF-8 when the line is valid UTF-8
// and holds a non-ASCII byte, GBK otherwise), so that a file mixing both encodings reads every
// line right. DataFileError naming the file when it cannot be read.
std::string readInputText(const std::string& file);

// An input FILE that is missing or not a readable file is named as an input, not as a data file
// some stage should have written: DataFileError "FILE: no such input file", "FILE: is a folder,
// not an input file" or "FILE: cannot open the input file for reading".
void requireInputFile(const std::string& file);

}  // namespace newsclass

#endif  // NEWSCLASS_CLI_PREDICT_INPUT_H_
