// show: print one article of a corpus table (title, category, text) through the console.
#include <climits>
#include <string>

#include "base/errors.h"
#include "base/text_utils.h"
#include "cli/cmd_options.h"
#include "cli/commands.h"
#include "corpusdb/queries.h"

namespace newsclass {
namespace {

struct ShowOptions {
  std::string id;
  std::string table = kTrainingCorpusTable;
};

int runShow(RunContext& context, const ShowOptions& options) {
  std::optional<int32_t> id = parseInt32(options.id);
  if (!id) throw UsageError("show: ID must be an integer, got \"" + options.id + "\"");
  CorpusProcessor processor = context.processor();
  ArticleRecord record;
  fetchArticleRecord(*id, options.table, record, processor);
  Console& console = context.console();
  console.line(options.table + " " + std::to_string(*id));
  console.line("title: " + record.articleName);
  console.line("category: " + record.category);
  console.line("text: " + record.abstract);
  return 0;
}

}  // namespace

void addShowCommand(CLI::App& app, CommandSet& commands) {
  auto [command, options] = commands.add<ShowOptions>(
      app, "show",
      R"(Print the title, category and text of one article, each trimmed of blanks. An id the table
lacks is a database error.)",
      FolderUse::kNone, runShow);
  command.add_option("ID", options.id, "Article id (ArticleId)")
      ->check(wholeNumber(INT32_MIN, INT32_MAX))
      ->required();
  addTableOption(command, options.table, "Corpus table to read the article from");
}

}  // namespace newsclass
