#include "corpusdb/corpus_import.h"

#include <limits>
#include <string_view>
#include <unordered_map>

#include "base/encoding.h"
#include "base/errors.h"
#include "base/fast_gbk.h"
#include "base/text_utils.h"
#include "corpusdb/import_statements.h"
#include "corpusdb/odbc_connection.h"
#include "corpusdb/queries.h"

namespace newsclass {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr const char* kTables[2] = {kTrainingCorpusTable, kTestingCorpusTable};

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

// True for a fault that says another connection holds the database, or that a wait timed out.
bool isLockFault(const DatabaseFault& fault) {
  return fault.message().find("locked") != std::string::npos || fault.sqlState() == "HYT00" ||
         fault.sqlState() == "HYT01";
}

// Whether a table can be read, which before the import's transaction means it exists. A lock
// held by another connection is no sign of a missing table and ends the import.
bool tableExists(OdbcConnection& connection, const std::string& table) {
  try {
    connection.execute(highestArticleIdQuery(table));
    return true;
  } catch (const DatabaseFault& fault) {
    if (isLockFault(fault)) throw;
    return false;
  }
}

// The highest ArticleId of a table, 0 when it is empty; an id beyond 32 bits is a fault.
int32_t readHighestArticleId(OdbcConnection& connection, const std::string& table) {
  RowCursor rows = connection.execute(highestArticleIdQuery(table));
  return rows.int32("HighestArticleId");
}

// Calls `visit(lineNumber, line)` for every line of the file, CR before LF removed.
template <typename Visit>
void forEachLine(std::string_view text, Visit visit) {
  int lineNumber = 0;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    visit(++lineNumber, line);
    start = end + 1;
  }
}

bool hasNonAscii(std::string_view line) {
  for (char c : line) {
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  }
  return false;
}

// How many characters of two to four bytes a line holds when read as UTF-8.
size_t utf8MultiByteCharacters(std::string_view line) {
  size_t count = 0;
  for (char c : line) count += (static_cast<unsigned char>(c) & 0xC0) == 0xC0;
  return count;
}

std::string byteAt(std::string_view line, size_t offset) {
  static const char kHex[] = "0123456789ABCDEF";
  const unsigned char c = static_cast<unsigned char>(line[offset]);
  return "byte " + std::to_string(offset + 1) + " is 0x" + kHex[c >> 4] + kHex[c & 0xF];
}

// A line of Chinese text in GBK is valid UTF-8 only by rare accident, and the more characters it
// has the rarer: a GBK line that reads as UTF-8 with this many characters of several bytes is
// taken to be a UTF-8 line.
constexpr size_t kUtf8CharactersOfAUtf8Line = 4;

// Decides the file's encoding and checks every line against it; returns true for UTF-8. A line
// is a UTF-8 line when it holds non-ASCII bytes and is valid UTF-8, a foreign line when it holds
// non-ASCII bytes and is not. The file is UTF-8 when it starts with a byte-order mark or has
// more UTF-8 lines than foreign ones, else GBK. Throws DataFileError "FILE:LINE: ..." for the
// first line that is not valid in that encoding, or that is plainly UTF-8 in a GBK file.
bool checkEncoding(std::string_view raw, bool byteOrderMark, const std::string& fileName) {
  size_t utf8Lines = 0, foreignLines = 0;
  forEachLine(raw, [&](int, std::string_view line) {
    if (!hasNonAscii(line)) return;
    (invalidUtf8Offset(line) == std::string_view::npos ? utf8Lines : foreignLines) += 1;
  });
  const bool utf8 = byteOrderMark || utf8Lines > foreignLines;
  if (utf8 ? foreignLines == 0 : utf8Lines == 0 && foreignLines == 0) return utf8;
  forEachLine(raw, [&](int lineNumber, std::string_view line) {
    if (!hasNonAscii(line)) return;
    auto fault = [&](const std::string& reason) {
      return DataFileError(fileName + ":" + std::to_string(lineNumber) + ": " + reason);
    };
    if (utf8) {
      size_t bad = invalidUtf8Offset(line);
      if (bad != std::string_view::npos) {
        throw fault("not valid UTF-8 (" + byteAt(line, bad) +
                    "), but the file is UTF-8; is this line in another encoding?");
      }
      return;
    }
    if (invalidUtf8Offset(line) == std::string_view::npos &&
        utf8MultiByteCharacters(line) >= kUtf8CharactersOfAUtf8Line) {
      throw fault("the line is UTF-8, but the file is GBK (most of its lines are not UTF-8)");
    }
    size_t bad = invalidGbkOffset(line);
    if (bad != std::string_view::npos) {
      throw fault("not valid GBK (" + byteAt(line, bad) + "), but the file is GBK");
    }
  });
  return utf8;
}

}  // namespace

std::vector<CorpusLine> parseCorpusFile(const std::string& bytes, const std::string& fileName) {
  std::string_view raw(bytes);
  const bool byteOrderMark = raw.starts_with(kByteOrderMark);
  if (byteOrderMark) raw.remove_prefix(kByteOrderMark.size());
  const bool utf8 = checkEncoding(raw, byteOrderMark, fileName);
  // Tab, CR and LF never occur inside a GBK double-byte character, so the converted text splits
  // into lines and fields exactly as the file does.
  const std::string text = utf8 ? utf8ToGbkFast(raw) : std::string(raw);

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
    static const char* const kFieldNames[4] = {"split", "category", "title", "text"};
    for (size_t i = 0; i < 4; ++i) {
      // A NUL would end the text early wherever it is handed on as a C string.
      if (fields[i].find('\0') != std::string_view::npos) {
        throw fault(std::string("field ") + kFieldNames[i] + " holds a NUL byte");
      }
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
    // contingency.dat and predictions.dat separate a category from its neighbours by white
    // space, so a name holding some would come back cut in two.
    if (article.category.find_first_of(" \t\r\v\f") != std::string::npos) {
      throw fault("category " + shown(article.category) +
                  " holds white space, which the data files use as a separator");
    }
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
    RowCursor rows = connection.execute(primaryKeyIndexQuery(table));
    if (rows.atEnd()) return;
    index = rows.text("indexname");
  }
  connection.executeStatement(clusterStatement(table, index));
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
  for (int t = 0; t < 2; ++t) exists[t] = tableExists(connection, kTables[t]);

  connection.beginTransaction();
  int32_t nextId[2];
  for (int t = 0; t < 2; ++t) {
    const std::string table = kTables[t];
    if (!exists[t]) {
      connection.executeStatement(createCorpusTableStatement(table, textType));
    } else if (replace) {
      connection.executeStatement(deleteArticlesStatement(table));
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

  const std::string insertStatements[2] = {insertArticleStatement(kTables[0]),
                                           insertArticleStatement(kTables[1])};
  size_t done = 0;
  for (const CorpusLine& article : articles) {
    const int t = article.training ? 0 : 1;
    connection.executeWithParameters(
        insertStatements[t],
        {std::to_string(nextId[t]++), article.title, article.category, article.text});
    ++done;
    if (progress) progress(done, articles.size());
  }
  if (postgres) {
    for (const char* table : kTables) clusterOnArticleId(connection, table);
  }
  connection.commit();

  // One look-up per article: the counts of each table in order of first appearance.
  for (int t = 0; t < 2; ++t) {
    std::unordered_map<std::string_view, size_t> countOf;
    for (const CorpusLine& article : articles) {
      if ((article.training ? 0 : 1) != t) continue;
      auto [entry, added] = countOf.try_emplace(article.category, result.counts.size());
      if (added) result.counts.push_back(ImportCount{kTables[t], article.category, 0});
      ++result.counts[entry->second].articles;
    }
  }
  return result;
}

}  // namespace newsclass
