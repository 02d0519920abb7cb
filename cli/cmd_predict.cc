// predict: labels new articles, one per input line, with the KNN model of the data folder. The
// labels go to standard output; the segmenter's start-up lines and the loading lines go to
// standard error, so that the output holds nothing but the answers.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/encoding.h"
#include "base/errors.h"
#include "base/parallel.h"
#include "base/progress.h"
#include "base/text_file_reader.h"
#include "base/text_utils.h"
#include "cli/cmd_model.h"
#include "cli/cmd_options.h"
#include "cli/commands.h"
#include "cli/data_folder_files.h"
#include "cli/provenance.h"
#include "corpusdb/queries.h"
#include "evaluation/evaluation_report.h"
#include "knn/category_check.h"
#include "knn/knn_predictor.h"
#include "linear/linear_run.h"
#include "segmentation/segmenter_binding.h"

namespace newsclass {
namespace {

struct PredictOptions {
  std::vector<std::string> files;
  bool tsv = false;
  std::string format = "text";
  bool neighbours = false;
  int k = 0;                // 0: as model.json records, else 10
  std::string vote;         // empty: as model.json records, else count
  std::string weighting;    // empty: as model.json records, else spec
  std::string classifier;   // empty: as model.json records, else knn
};

// What the data folder's model.json records for `key`, or `fallback` when it records nothing.
std::string recorded(const Provenance& facts, const std::string& key, const std::string& fallback) {
  auto found = facts.find(key);
  return found == facts.end() ? fallback : found->second;
}

// One input line on its way to its answer.
struct PendingLine {
  std::string file;  // GBK; empty unless the answers name their file
  std::string key;   // the line number, or the id of a --tsv line
  std::string text;  // GBK
  KnnPrediction prediction;
  // No label: the line is blank, or holds no keyword of the model. Its answer is an empty
  // category with score 0.
  bool empty = true;
};

// The ids of a --tsv run: each must be non-empty and given once in the whole run, so that every
// answer is found by its id alone.
class IdRegister {
 public:
  // `where` names the input (a file, or standard input) in an error; `input` tells inputs apart.
  void add(const std::string& id, size_t input, const std::string& where, uint64_t line) {
    if (id.empty()) throw DataFileError(where + ": line " + std::to_string(line) + ": empty id");
    const auto [found, fresh] = seen_.try_emplace(id, Place{input, line});
    if (fresh) return;
    const Place& first = found->second;
    throw DataFileError(where + ": line " + std::to_string(line) + ": id " + id + " repeats " +
                        (first.input == input ? "" : inputNames_.at(first.input) + " ") +
                        "line " + std::to_string(first.line));
  }
  // The name of input `input` (0, 1, ...) in errors about a later input.
  void nameInput(size_t input, const std::string& where) {
    if (inputNames_.size() <= input) inputNames_.resize(input + 1);
    inputNames_[input] = where;
  }

 private:
  struct Place {
    size_t input;
    uint64_t line;
  };
  std::unordered_map<std::string, Place> seen_;
  std::vector<std::string> inputNames_;
};

// The --tsv id of a line: the bytes before its first tab (none: not an id line).
std::optional<std::string_view> tsvId(std::string_view line) {
  const size_t tab = line.find('\t');
  if (tab == std::string_view::npos) return std::nullopt;
  return line.substr(0, tab);
}

// The text of an input FILE in GBK. A file that is valid UTF-8 as a whole is converted at once;
// any other is decided line by line, as standard input is (UTF-8 when the line is valid UTF-8
// and holds a non-ASCII byte, GBK otherwise), so that a file mixing both encodings reads every
// line right.
std::string readInputText(const std::string& file) {
  std::string bytes;
  if (const auto reason = tryReadTextFile(file, bytes)) {
    throw DataFileError(file + ": cannot read the input file (" + *reason + ")");
  }
  if (isValidUtf8(bytes)) return userTextToGbk(bytes);
  std::string text;
  text.reserve(bytes.size());
  for (size_t pos = 0; pos < bytes.size();) {
    size_t end = bytes.find('\n', pos);
    if (end == std::string::npos) end = bytes.size();
    const std::string_view line(bytes.data() + pos, end - pos);
    if (std::all_of(line.begin(), line.end(), [](char c) { return (c & 0x80) == 0; })) {
      text += line;
    } else {
      text += userTextToGbk(line);
    }
    if (end < bytes.size()) text += '\n';
    pos = end + 1;
  }
  return text;
}

// An input FILE that is missing or not a readable file is named as an input, not as a data file
// some stage should have written.
void requireInputFile(const std::string& file) {
  std::error_code ec;
  const auto status = std::filesystem::status(file, ec);
  if (status.type() == std::filesystem::file_type::not_found) {
    throw DataFileError(file + ": no such input file");
  }
  if (status.type() == std::filesystem::file_type::directory) {
    throw DataFileError(file + ": is a folder, not an input file");
  }
  std::ifstream probe(file, std::ios::binary);
  if (!probe) throw DataFileError(file + ": cannot open the input file for reading");
}

class LinePredictor {
 public:
  // Answers with `knn` or, when that is null, with `linear`.
  LinePredictor(RunContext& context, CorpusProcessor& processor, KnnPredictor* knn,
                const LinearPredictor* linear, const PredictOptions& options)
      : context_(context), processor_(processor), knn_(knn), linear_(linear), options_(options),
        stopWords_(processor.loadStopWords()) {
    const size_t lanes = static_cast<size_t>(std::max(1, context.environment().threads));
    for (size_t lane = 0; lane < lanes; ++lane) {
      if (knn_ != nullptr) {
        scratch_.push_back(knn_->makeScratch());
      } else {
        counters_.push_back(linear_->makeCounter());
      }
    }
  }

  // Input `input` (0, 1, ...) begins: `where` names it in errors, `label` (GBK) in the answers
  // when they name their file. `ids`: the register its --tsv ids are checked against line by
  // line, or null when they were checked beforehand.
  void beginInput(size_t input, const std::string& where, std::string label, IdRegister* ids) {
    input_ = input;
    label_ = std::move(label);
    ids_ = ids;
    if (ids_ != nullptr) ids_->nameInput(input, where);
  }

  // Splits a --tsv line into its id and text; `where` names the line in an error.
  void parse(std::string line, uint64_t number, const std::string& where, PendingLine& pending) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    pending.file = label_;
    if (options_.tsv) {
      const size_t tab = line.find('\t');
      if (tab == std::string::npos) {
        if (line.empty()) {
          pending.key.clear();
          pending.text.clear();
          return;
        }
        throw DataFileError(where + ": line " + std::to_string(number) +
                            ": expected an id, a tab and the text");
      }
      pending.key = line.substr(0, tab);
      pending.text = line.substr(tab + 1);
      if (ids_ != nullptr) ids_->add(pending.key, input_, where, number);
    } else {
      pending.key = std::to_string(number);
      pending.text = std::move(line);
    }
  }

  // Answers a batch of lines: the costly part on the threads, the votes and the output in order.
  void answer(std::vector<PendingLine>& batch) {
    std::vector<std::vector<NeighbourEntry>> lists(batch.size());
    runInParallel(context_.environment().threads, batch.size(), [&](size_t i, size_t lane) {
      PendingLine& pending = batch[i];
      pending.empty = pending.text.find_first_not_of(" \t\r\v\f") == std::string::npos;
      if (pending.empty) return;
      const WordList words = processor_.tokenizeArticle(pending.text, stopWords_);
      if (linear_ != nullptr) {
        KnnPrediction& p = pending.prediction;
        pending.empty = !linear_->decide(words, *counters_[lane], p.category, p.votes);
        for (const CategoryVote& value : p.votes) {
          if (value.category == p.category) p.score = value.weight;
        }
        return;
      }
      const WeightVector vector = knn_->vectorOf(words, scratch_[lane]);
      // Without a keyword of the model the line has no direction: every similarity would be
      // the same guess.
      pending.empty = vector.empty();
      if (!pending.empty) knn_->nearest(vector, scratch_[lane], lists[i]);
    });
    std::string output;
    for (size_t i = 0; i < batch.size(); ++i) {
      if (!batch[i].empty && knn_ != nullptr) batch[i].prediction = knn_->decide(std::move(lists[i]));
      output += format(batch[i]);
    }
    context_.console().write(output);
    context_.console().flush();
  }

 private:
  std::string format(const PendingLine& line) const {
    const KnnPrediction& p = line.prediction;
    if (options_.format == "text") return (line.empty ? "" : p.category) + "\n";
    if (options_.format == "tsv") {
      const std::string file = line.file.empty() ? "" : line.file + "\t";
      if (line.empty) return file + line.key + "\t\t0\n";
      return file + line.key + "\t" + p.category + "\t" + shortestDecimal(p.score) + "\n";
    }
    std::string json = "{";
    if (!line.file.empty()) json += "\"file\":" + jsonString(line.file) + ",";
    json += options_.tsv ? "\"id\":" + jsonString(line.key) : "\"line\":" + line.key;
    if (line.empty) return json + ",\"category\":\"\",\"score\":0}\n";
    json += ",\"category\":" + jsonString(p.category) + ",\"score\":" + shortestDecimal(p.score);
    json += ",\"top\":[";
    const bool bySimilarity = context_.environment().similarityVote;
    double total = 0.0;
    for (const CategoryVote& vote : p.votes) total += vote.weight;
    // KNN lists the categories that got votes with their share; linear every category with its
    // decision value.
    for (size_t i = 0; i < p.votes.size() && (linear_ != nullptr || p.votes[i].votes > 0); ++i) {
      const double share =
          linear_ != nullptr ? p.votes[i].weight
          : bySimilarity     ? (total > 0.0 ? p.votes[i].weight / total : 0.0)
                             : static_cast<double>(p.votes[i].votes) / knn_->k();
      json += std::string(i == 0 ? "" : ",") + "{\"category\":" + jsonString(p.votes[i].category) +
              ",\"score\":" + shortestDecimal(share) + "}";
    }
    json += "]";
    if (options_.neighbours) {
      json += ",\"neighbours\":[";
      for (size_t i = 0; i < p.neighbours.size(); ++i) {
        json += std::string(i == 0 ? "" : ",") + "{\"id\":" +
                std::to_string(p.neighbours[i].articleId) +
                ",\"similarity\":" + shortestDecimal(p.neighbours[i].similarity) + "}";
      }
      json += "]";
    }
    return json + "}\n";
  }

  RunContext& context_;
  CorpusProcessor& processor_;
  KnnPredictor* knn_;
  const LinearPredictor* linear_;
  const PredictOptions& options_;
  StopWordSet stopWords_;
  std::vector<KnnPredictor::Scratch> scratch_;
  std::vector<std::unique_ptr<vsm::KeywordCounter>> counters_;
  IdRegister* ids_ = nullptr;
  size_t input_ = 0;
  std::string label_;  // GBK; empty when the answers do not name their file
};

// Checks the --tsv lines of a whole input, named `where`: each an id and its text (or blank),
// the ids against the run's earlier ones.
void checkTsvIds(std::string_view text, size_t input, const std::string& where, IdRegister& ids) {
  ids.nameInput(input, where);
  uint64_t number = 0;
  for (size_t pos = 0; pos < text.size();) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    ++number;
    std::string_view line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (const auto id = tsvId(line)) {
      ids.add(std::string(*id), input, where, number);
    } else if (!line.empty()) {
      throw DataFileError(where + ": line " + std::to_string(number) +
                          ": expected an id, a tab and the text");
    }
    pos = end + 1;
  }
}

// `loading` is the data folder's shared lock, released once the model is loaded.
int runPredict(RunContext& context, const PredictOptions& options, DataFolderLock& loading) {
  if (options.neighbours && options.format != "jsonl") {
    throw UsageError("--neighbours: the neighbours are shown only with --format jsonl");
  }
  KnnPredictorFiles files{context.dataPath(kDictionaryFile), context.dataPath(kKeywordsFile),
                          context.dataPath(kTrainingVectorsFile)};
  const std::string modelPath = context.dataPath(kLinearModelFile);
  for (const std::string& file : options.files) requireInputFile(file);
  context.requireDataFolder();
  // Every --tsv id of every FILE is checked before the model is loaded: a refused run answers
  // nothing. Standard input is checked line by line as it is answered.
  IdRegister ids;
  if (options.tsv) {
    for (size_t input = 0; input < options.files.size(); ++input) {
      checkTsvIds(readInputText(options.files[input]), input, options.files[input], ids);
    }
  }

  // The facts of the folder decide what the command line leaves open; a contradiction is an
  // error. The training range gives N, so a --train-range other than the default must match.
  const std::string factsPath = context.dataPath(kModelFactsFile);
  if (!hasModelFacts(context)) {
    throw DataFileError(factsPath + ": no such file: the data folder holds no model (run "
                        "pipeline, or the stages, first)");
  }
  const Provenance facts = readModelFacts(context);
  const GlobalOptions defaults;
  if (context.options().trainRange != defaults.trainRange) {
    refuseMismatch("--train-range", context.trainRangeText(), "train_range", facts, factsPath);
  }
  if (context.options().categories != defaults.categories) {
    refuseMismatch("--categories", context.categoriesText(), "categories", facts, factsPath);
  }
  refuseMismatch("--weighting", options.weighting, "weighting", facts, factsPath);
  // The folder holds the model its last classify built, and only that one.
  refuseMismatch("--classifier", options.classifier, "classifier", facts, factsPath);
  const std::string classifier =
      !options.classifier.empty() ? options.classifier : recorded(facts, "classifier", "knn");
  const bool linear = classifier == "linear";
  if (linear && (options.k != 0 || !options.vote.empty() || options.neighbours)) {
    throw UsageError(std::string(options.k != 0 ? "--k" : !options.vote.empty() ? "--vote" : "--neighbours") +
                     ": the linear classifier has no neighbours");
  }
  if (linear && !options.weighting.empty() && options.weighting != "tfidf") {
    throw UsageError("--weighting: the linear classifier weighs text with tfidf");
  }
  int32_t trainFirst = context.trainFirst, trainLast = context.trainLast;
  const std::string trainRange = recorded(facts, "train_range", context.trainRangeText());
  parseIdRange(trainRange, trainFirst, trainLast);  // checked as model.json was read
  CategoryList categories = context.categories;
  if (facts.count("categories") != 0 && context.options().categories == defaults.categories) {
    categories = recordedCategories(facts);
  }
  requireCurrentFiles(context, {kDictionaryFile, kKeywordsFile,
                                linear ? kLinearModelFile : kTrainingVectorsFile});
  useRecordedSegmenterFiles(context, facts);
  const std::string weighting = linear ? "tfidf" : recorded(facts, "weighting", "spec");
  // A recorded K was checked as model.json was read: a whole number from 1 to 2147483647.
  const int k = options.k != 0 ? options.k : parseInt32(recorded(facts, "k", "10")).value_or(10);
  const std::string vote = !options.vote.empty() ? options.vote : recorded(facts, "vote", "count");

  // Loading and start-up lines go to standard error through a quiet console of their own; the
  // answers alone go to standard output.
  Environment environment = context.environment();
  environment.weighting = weightingByName(weighting);
  environment.similarityVote = vote == "similarity";
  context.environment().similarityVote = environment.similarityVote;
  Console sideConsole(context.errors(), context.console().encoding(), true);
  environment.console = &sideConsole;
  CorpusProcessor processor(trainFirst, trainLast, environment);
  checkCategoriesInTable(processor, categories, kTrainingCorpusTable);
  std::unique_ptr<KnnPredictor> knn;
  std::unique_ptr<LinearPredictor> linearModel;
  if (linear) {
    linearModel = std::make_unique<LinearPredictor>(processor, files.dictionary, files.keywords,
                                                    modelPath, categories);
  } else {
    knn = std::make_unique<KnnPredictor>(processor, files, k, categories);
  }
  SegmenterSession session(processor);
  sideConsole.flush();
  LinePredictor lines(context, processor, knn.get(), linearModel.get(), options);
  // Everything the answers need is loaded: writers may replace the files now.
  loading.release();

  if (options.files.empty()) {
    // Standard input is answered line by line as it arrives, each answer flushed at once, so
    // that another program can keep the process open as a pipe. Each line's encoding is decided
    // on its own, and a bad --tsv id is refused at its line, after the answers before it.
    std::string line;
    std::vector<PendingLine> one(1);
    lines.beginInput(0, "standard input", "", options.tsv ? &ids : nullptr);
    for (uint64_t number = 1; std::getline(context.input(), line); ++number) {
      lines.parse(userTextToGbk(line), number, "standard input", one[0]);
      lines.answer(one);
    }
    return 0;
  }
  // With several FILEs, each answer names its file (tsv: a first column; jsonl: "file").
  const bool nameFiles = options.files.size() > 1;
  constexpr size_t kBatchLines = 4096;
  for (size_t input = 0; input < options.files.size(); ++input) {
    const std::string& file = options.files[input];
    lines.beginInput(input, file, nameFiles ? userTextToGbk(file) : "", nullptr);
    const std::string text = readInputText(file);
    std::vector<PendingLine> batch;
    uint64_t number = 0;
    // A progress line over the file's lines, on a terminal's standard error only.
    int64_t lineCount = static_cast<int64_t>(std::count(text.begin(), text.end(), '\n'));
    if (!text.empty() && text.back() != '\n') ++lineCount;
    // The answers go to standard output; on the same terminal they would fight the line.
    ProgressDisplay* display = isatty(STDOUT_FILENO) == 1 ? nullptr : context.environment().progress;
    if (display != nullptr) context.console().flush();
    ProgressMeter progress(display, "predict " + file, lineCount, "lines");
    for (size_t pos = 0; pos < text.size();) {
      size_t end = text.find('\n', pos);
      if (end == std::string::npos) end = text.size();
      lines.parse(text.substr(pos, end - pos), ++number, file, batch.emplace_back());
      pos = end + 1;
      if (batch.size() == kBatchLines) {
        lines.answer(batch);
        progress.advance(static_cast<int64_t>(batch.size()));
        batch.clear();
      }
    }
    if (!batch.empty()) {
      lines.answer(batch);
      progress.advance(static_cast<int64_t>(batch.size()));
    }
    progress.finish();
  }
  return 0;
}

}  // namespace

void addPredictCommand(CLI::App& app, CommandSet& commands) {
  // The folder is held while the model loads only: a predict kept open on a pipe answers from
  // what it loaded and must not keep writers out of the folder (runPredict releases it).
  auto [command, options] = commands.add<PredictOptions>(
      app, "predict",
      "Label new articles, one per line, with the model of the data folder, as model.json\n"
      "records it: each line is segmented and weighted as the testing vectors are, then\n"
      "classified as classify does, by its K nearest vectors of trainingVSM.dat or by\n"
      "linear.model. The training range, categories, weighting, classifier, K and vote come\n"
      "from model.json; options that contradict it are refused. Reads the FILEs (a file valid\n"
      "as UTF-8 is UTF-8; in any other each line is UTF-8 or GBK on its own), or standard input\n"
      "line by line (decided per line), answering each line at once. An empty line, or one with\n"
      "no keyword of the model, gets an empty label and score 0. With several FILEs each tsv\n"
      "answer starts with its file's name and a tab, each jsonl answer with a \"file\" field.\n"
      "--tsv ids must be non-empty and unique in the run: FILEs are checked before the first\n"
      "answer, standard input at the line (after the answers before it); exit 2. Loading and\n"
      "start-up lines go to standard error.",
      FolderUse::kRead, runPredict);
  command.add_option("FILE", options.files, "Files of articles (default: standard input)");
  command.add_flag("--tsv", options.tsv,
                   "Read \"id<TAB>text\" lines and answer with the id instead of the line number "
                   "(ids non-empty and unique in the run)");
  addChoiceOption(command, "--format", options.format,
                  "text: the category alone; tsv: line number (or id), category and score "
                  "(KNN: the winner's share of the votes; linear: its decision value); "
                  "jsonl: the same with the top categories",
                  {"text", "tsv", "jsonl"});
  command.add_flag("--neighbours", options.neighbours,
                   "With --format jsonl, list the K neighbours' ids and similarities");
  addNeighbourCountOption(command, options.k)
      ->description("Number of neighbours K (default: as model.json records, else 10)");
  addVoteOption(command, options.vote)->default_str("as model.json records, else count");
  addWeightingOption(command, options.weighting)
      ->default_str("as model.json records, else spec");
  addClassifierOption(command, options.classifier)
      ->default_str("as model.json records, else knn");
}

}  // namespace newsclass
