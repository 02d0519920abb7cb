// Dictionary construction: every article of a corpus table in the processor's range is
// tokenised, and each of its words gets a posting (article id, count) in the word's list.
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "corpusdb/odbc_connection.h"
#include "corpusdb/queries.h"
#include "driver/corpus_processor.h"
#include "driver/encoding.h"
#include "driver/stage_clock.h"
#include "driver/text_utils.h"

namespace newsclass {
namespace {

// Adds articles' words to a dictionary. Each word's posting list is found through a hash index
// over the dictionary's keys instead of a walk down the ordered map.
//
// A word's posting for the current article, once made, is always the last of its list, so a
// repeated word finds it in one step. A word's first occurrence in an article must look through
// the whole list, from its end, for an earlier posting of the same article id, which exists only
// when that id was seen before (a table with repeated ids, or a dictionary built before). The
// index remembers every article id that has a posting; for an id it has not seen, the answer of
// that search is known to be "none" without looking.
class PostingAdder {
 public:
  explicit PostingAdder(Dictionary& dictionary) : dictionary_(dictionary) {
    lists_.reserve(dictionary.size() + 1024);
    for (auto& [word, list] : dictionary) {
      lists_.emplace(std::string_view(word), &list);
      for (const Posting& posting : list) seenIds_.insert(posting.articleId);
    }
  }

  void addArticle(const WordList& words, int32_t id) {
    const bool idSeenBefore = !seenIds_.insert(id).second;
    for (const std::string& word : words) {
      PostingList& list = listOf(word);
      if (list.empty()) {
        list.push_back({id, 1});
      } else if (list.back().articleId == id) {
        ++list.back().count;
      } else if (!idSeenBefore) {
        list.push_back({id, 1});
      } else {
        addBySearch(list, id);
      }
    }
  }

 private:
  PostingList& listOf(const std::string& word) {
    auto found = lists_.find(std::string_view(word));
    if (found != lists_.end()) return *found->second;
    auto made = dictionary_.try_emplace(word).first;
    lists_.emplace(std::string_view(made->first), &made->second);
    return made->second;
  }

  static void addBySearch(PostingList& list, int32_t id) {
    for (auto posting = list.rbegin(); posting != list.rend(); ++posting) {
      if (posting->articleId == id) {
        ++posting->count;
        return;
      }
    }
    list.push_back({id, 1});
  }

  Dictionary& dictionary_;
  // Views of the dictionary's keys; map nodes never move, so the views stay valid.
  std::unordered_map<std::string_view, PostingList*> lists_;
  std::unordered_set<int32_t> seenIds_;
};

}  // namespace

bool CorpusProcessor::buildDictionary(Dictionary& dictionary, Tokenizer tokenizer,
                                      std::string tableName) {
  static const std::string articleLabel = gbk("处理第");
  static const std::string secondsLabel = gbk("篇文章共有了");
  startSegmenter();
  const std::string query = articleRangeQuery(tableName, firstArticleId, lastArticleId);
  {
    OdbcConnection connection(environment().connectionString, "buildDictionary");
    RowCursor rows = connection.execute(query);
    const StopWordSet stopWords = loadStopWords();
    PostingAdder adder(dictionary);
    std::string line;
    while (!rows.atEnd()) {
      std::string text = rows.text("CAbstract");
      std::string idText;
      StageClock clock;
      if (!text.empty()) {
        // The text is not needed again, so the tokeniser may have it.
        WordList words = (this->*tokenizer)(std::move(text), stopWords);
        idText = rows.text("ArticleId");
        adder.addArticle(words, atoiLike(idText));
      }
      if (!console().quiet()) {
        line.assign(articleLabel).append(idText).append(secondsLabel);
        line += formatSeconds(clock.elapsedSeconds());
        console().detail(line);
      }
      rows.moveNext();
    }
  }
  stopSegmenter();
  return !dictionary.empty();
}

}  // namespace newsclass
