#include "corpusdb/corpus_import.h"

#include <limits>
#include <string_view>

#include "corpusdb/fast_gbk.h"
#include "corpusdb/odbc_connection.h"
#include "driver/encoding.h"
#include "driver/errors.h"
#include "driver/text_utils.h"

namespace newsclass {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr const char* kTables[2] = {"TrainingCorpus", "TestingCorpus"};

std::vector<std::string_view> splitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  for (;;) {
    size_t tab = line.find('\t', start);
    if (tab == std::string_view::npos) {
      fields.push_back(line.substr(start));
      return fields;
    }
    fields.push_back(line.substr(start, tab - start));
    start = tab + 1;
  }
}

bool isHeader(const std::vector<std::string_view>& fields) {
  static const char* const kNames[4] = {"split", "category", "title", "text"};
  if (fields.size() != 4) return false;
  for (size_t i = 0; i < 4; ++i) {
    std::string field(fields[i]);
    trimInPlace(field, " ");
    if (!equalsIgnoringCase(field, kNames[i])) return false;
  }
  return true;
}

// A value of the file in a message: GBK inside, UTF-8 on the terminal.
std::string shown(std::string_view gbkText) {
  constexpr size_t kLongest = 40;
  std::string text = gbkToUtf8(gbkText.substr(0, kLongest));
  return "\"" + text + (gbkText.size() > kLongest ? "...\"" : "\"");
}

// The highest ArticleId of a table (0 when empty); nullopt when the table cannot be read, which
// before the import's transaction means it is missing.
std::optional<int32_t> highestArticleId(OdbcConnection& connection, const std::string& table) {
  try {
    RowCursor rows = connection.execute("select coalesce(max(ArticleId), 0) as m from " + table);
    return atoiLike(rows.text("m"));
  } catch (const DatabaseFault&) {
    return std::nullopt;
  }
}

int32_t readHighestArticleId(OdbcConnection& connection, const std::string& table) {
  RowCursor rows = connection.execute("select coalesce(max(ArticleId), 0) as m from " + table);
  return atoiLike(rows.text("m"));
}

}  // namespace

std::vector<CorpusLine> parseCorpusFile(const std::string& bytes, const std::string& fileName) {
  std::string_view raw(bytes);
  if (raw.substr(0, kByteOrderMark.size()) == kByteOrderMark) raw.remove_prefix(kByteOrderMark.size());
  // Tab, CR and LF never occur inside a GBK double-byte character, so the converted text splits
  // into lines and fields exactly as the file does.
  // Valid UTF-8 holding non-ASCII bytes is UTF-8; anything else is GBK already.
  bool ascii = true;
  for (char c : raw) {
    if (static_cast<unsigned char>(c) >= 0x80) {
      ascii = false;
      break;
    }
  }
  const std::string text = !ascii && isValidUtf8(raw) ? utf8ToGbkFast(raw) : std::string(raw);

  std::vector<CorpusLine> articles;
  int lineNumber = 0;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + start, end - start);
    start = end + 1;
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;

    auto fault = [&](const std::string& reason) {
      return DataFileError(fileName + ":" + std::to_string(lineNumber) + ": " + reason);
    };
    std::vector<std::string_view> fields = splitFields(line);
    if (lineNumber == 1 && isHeader(fields)) continue;
    if (fields.size() != 4) {
      throw fault("expected 4 tab-separated fields (split, category, title, text), found " +
                  std::to_string(fields.size()));
    }
    CorpusLine article;
    article.lineNumber = lineNumber;
    if (fields[0] == "train") {
      article.training = true;
    } else if (fields[0] == "test") {
      article.training = false;
    } else {
      throw fault("unknown split " + shown(fields[0]) + " (expected train or test)");
    }
    // Categories are compared as whole values later: blanks around one would never match.
    article.category = std::string(fields[1]);
    trimInPlace(article.category, " ");
    if (article.category.empty()) throw fault("empty category");
    article.title = std::string(fields[2]);
    article.text = std::string(fields[3]);
    articles.push_back(std::move(article));
  }
  return articles;
}

// PostgreSQL returns the rows of a query without an ordering clause in the order they lie in the
// table's pages, and it fills space left in earlier pages with later, smaller rows. Rewriting the
// table in ArticleId order makes the stages see the rows in id order, as they do on SQLite, so
// the same corpus gives the same data files on either database.
static void clusterOnArticleId(OdbcConnection& connection, const std::string& table) {
  std::string index;
  {
    RowCursor rows = connection.execute(
        "SELECT c.relname AS indexname FROM pg_index i JOIN pg_class c ON c.oid = i.indexrelid "
        "WHERE i.indrelid = '" + table + "'::regclass AND i.indisprimary");
    if (rows.atEnd()) return;
    index = rows.text("indexname");
  }
  connection.executeStatement("CLUSTER " + table + " USING \"" + index + "\"");
}

ImportResult importArticles(const std::string& connectionString,
                            const std::vector<CorpusLine>& articles, bool replace,
                            const ImportProgress& progress) {
  OdbcConnection connection(connectionString, "import", DatabaseCreation::kCreateIfMissing);
  const bool sqlServer = connection.dbmsName().find("SQL Server") != std::string::npos;
  const std::string textType = sqlServer ? "NVARCHAR(MAX)" : "TEXT";
  const bool postgres = connection.dbmsName().find("PostgreSQL") != std::string::npos;

  // Probed before the transaction: on some servers a failed statement spoils the transaction.
  bool exists[2];
  for (int t = 0; t < 2; ++t) exists[t] = highestArticleId(connection, kTables[t]).has_value();

  connection.beginTransaction();
  int32_t nextId[2];
  for (int t = 0; t < 2; ++t) {
    const std::string table = kTables[t];
    if (!exists[t]) {
      connection.executeStatement("CREATE TABLE " + table +
                                  " (ArticleId INTEGER PRIMARY KEY, CArticleName " + textType +
                                  ", Categorization " + textType + ", CAbstract " + textType +
                                  ")");
    } else if (replace) {
      connection.executeStatement("DELETE FROM " + table);
    }
    nextId[t] = readHighestArticleId(connection, table) + 1;
  }

  ImportResult result;
  result.firstTrainingId = nextId[0];
  result.firstTestingId = nextId[1];
  for (const CorpusLine& article : articles) {
    (article.training ? result.trainingArticles : result.testingArticles) += 1;
  }
  if (result.trainingArticles > std::numeric_limits<int32_t>::max() - nextId[0] + 1 ||
      result.testingArticles > std::numeric_limits<int32_t>::max() - nextId[1] + 1) {
    throw DataFileError("import: the article ids would pass " +
                        std::to_string(std::numeric_limits<int32_t>::max()));
  }

  size_t done = 0;
  for (const CorpusLine& article : articles) {
    const int t = article.training ? 0 : 1;
    // The id goes as text and is cast by the database, so every parameter binds the same way.
    connection.executeWithParameters(
        std::string("INSERT INTO ") + kTables[t] +
            " (ArticleId, CArticleName, Categorization, CAbstract) "
            "VALUES (CAST(? AS INTEGER), ?, ?, ?)",
        {std::to_string(nextId[t]++), article.title, article.category, article.text});
    ++done;
    if (progress) progress(done, articles.size());
  }
  if (postgres) {
    for (const char* table : kTables) clusterOnArticleId(connection, table);
  }
  connection.commit();

  for (int t = 0; t < 2; ++t) {
    for (const CorpusLine& article : articles) {
      if ((article.training ? 0 : 1) != t) continue;
      ImportCount* count = nullptr;
      for (ImportCount& existing : result.counts) {
        if (existing.table == kTables[t] && existing.category == article.category) {
          count = &existing;
        }
      }
      if (count == nullptr) {
        result.counts.push_back(ImportCount{kTables[t], article.category, 0});
        count = &result.counts.back();
      }
      ++count->articles;
    }
  }
  return result;
}

}  // namespace newsclass
