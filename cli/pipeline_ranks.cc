#include "cli/pipeline_ranks.h"

#include <stdexcept>
#include <streambuf>
#include <string>
#include <utility>
#include <vector>

#include "base/byte_message.h"
#include "base/cluster.h"
#include "base/encoding.h"
#include "base/huge_pages.h"
#include "contingency/category_articles.h"
#include "contingency/contingency_build.h"
#include "contingency/contingency_counting.h"
#include "corpusdb/queries.h"
#include "dictionary/dictionary_build.h"
#include "dictionary/dictionary_shares.h"
#include "knn/neighbour_shards.h"
#include "vsm/binary_vector_file.h"
#include "vsm/keyword_weights.h"
#include "vsm/keywords.h"
#include "vsm/testing_vsm.h"
#include "vsm/training_vsm.h"
#include "vsm/vector_file.h"
#include "vsm/vector_messages.h"
#include "vsm/written_weights.h"

namespace newsclass {
namespace {

bool isRoot() { return cluster::rank() == 0; }

// Rank 0's keywords with their statistics over the whole training range (rank 0 holds the
// whole dictionary), on every rank.
vsm::KeywordWeighting shareKeywordWeighting(ArticleRange trainingRange,
                                            const Dictionary& dictionary,
                                            const std::string& keywordPath) {
  std::string packed;
  if (isRoot()) {
    vsm::KeywordWeighting weighting;
    weighting.keywords = readKeywords(keywordPath);
    weighting.statistics =
        vsm::statisticsOf(vsm::findPostingLists(dictionary, weighting.keywords));
    weighting.collectionSize = trainingRange.size();
    packed = vsm::packKeywordWeighting(weighting);
  }
  cluster::broadcast(packed);
  return vsm::unpackKeywordWeighting(packed);
}

// A stream buffer that keeps what is written in pieces of about kPiece bytes: a rank's share
// of a vector file, held until rank 0 takes it, without one huge buffer that grows by copying
// itself.
class PieceBuffer : public std::streambuf {
 public:
  static constexpr size_t kPiece = size_t{8} << 20;
  std::vector<std::string>& pieces() { return pieces_; }

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char byte = traits_type::to_char_type(c);
    xsputn(&byte, 1);
    return c;
  }
  std::streamsize xsputn(const char* data, std::streamsize size) override {
    if (pieces_.empty() || pieces_.back().size() >= kPiece) {
      pieces_.emplace_back();
      reserveWithHugePages(pieces_.back(), kPiece + static_cast<size_t>(size));
    }
    pieces_.back().append(data, static_cast<size_t>(size));
    return size;
  }

 private:
  std::vector<std::string> pieces_;
};

// Every rank's value of `mine`, in rank order.
template <typename T>
std::vector<T> gatherEverywhere(const T& mine) {
  MessageWriter message;
  message.put(mine);
  std::vector<T> all;
  for (const std::string& bytes : cluster::allGather(std::move(message.bytes()))) {
    all.push_back(MessageReader(bytes).get<T>());
  }
  return all;
}

// The binary form: every rank encodes its own records, in the layout the whole model's counts
// choose and with its first id counted from the last id of the ranks before it; rank 0 writes
// the header of the whole and then every rank's records in order.
void writeSharedBinaryFile(const Environment& environment, VsmModel& share,
                           const std::string& path, AtomicFileGroup& files) {
  const std::vector<vsm::BinaryShareCounts> counts =
      gatherEverywhere(vsm::binaryShareCounts(share));
  vsm::BinaryShareCounts whole;
  int64_t previousId = 0;
  for (size_t rank = 0; rank < counts.size(); ++rank) {
    if (static_cast<int>(rank) == cluster::rank()) previousId = whole.vectors > 0 ? whole.lastId : 0;
    whole.vectors += counts[rank].vectors;
    whole.weights += counts[rank].weights;
    whole.stored += counts[rank].stored;
    if (counts[rank].vectors > 0) whole.lastId = counts[rank].lastId;
  }
  const uint32_t layout = vsm::binaryLayoutOf(whole.weights, whole.stored);
  const vsm::BinaryShareEncoder encoder(share, layout, previousId, environment.threads);
  uint64_t recordBytes = 0;
  for (uint64_t bytes : gatherEverywhere(encoder.bytes())) recordBytes += bytes;
  if (!isRoot()) {
    PieceBuffer records;
    std::ostream out(&records);
    encoder.encodeAndRound(path, [&](const char* data, size_t size) {
      out.write(data, static_cast<std::streamsize>(size));
    });
    cluster::gatherPiecesToRoot(std::move(records.pieces()), {});
    return;
  }
  // Rank 0 writes its own records as it encodes them; the others' are ready by then.
  files.write(path, [&](std::ostream& out) {
    vsm::writeBinaryVectorFrame(out, path, whole, layout, recordBytes,
                                [&](const vsm::RecordSink& put) {
      encoder.encodeAndRound(path, put);
      cluster::gatherPiecesToRoot({}, [&](int, const std::string& piece) {
        put(piece.data(), piece.size());
      });
    });
  });
}

// Writes one vector file on rank 0 from every rank's share, shares in rank order, and rounds
// `share`, this rank's, to the weights the file gives back (the text after it is formatted: its
// formatter makes text, not numbers). Each rank formats or encodes its own share and sends the
// bytes.
void writeAndRoundSharedVectorFile(const Environment& environment, VsmModel& share,
                                   const std::string& path, AtomicFileGroup& files) {
  static const std::string kTimingLabel = gbk(kSaveVectorsTimingLabel);
  StageClock clock;
  if (environment.vectorFormat == VectorFormat::kText) {
    if (!isRoot()) {
      PieceBuffer text;
      std::ostream out(&text);
      writeVsmText(share, environment.threads, out);
      cluster::gatherPiecesToRoot(std::move(text.pieces()), {});
      // Rounded while rank 0 rounds its own share.
      vsm::roundModelAsWritten(share, environment.threads);
    } else {
      files.write(path, [&](std::ostream& out) {
        writeVsmText(share, environment.threads, out);
        cluster::gatherPiecesToRoot({}, [&](int, const std::string& piece) {
          out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
        });
      });
      vsm::roundModelAsWritten(share, environment.threads);
    }
  } else {
    writeSharedBinaryFile(environment, share, path, files);
  }
  environment.console->timingLine(kTimingLabel, clock.elapsedSeconds());
}

std::string packCategoryArticles(const CategoryArticles& articles) {
  MessageWriter message;
  message.put<uint64_t>(articles.size());
  for (const auto& [category, ids] : articles) {
    message.putText(category);
    message.put<uint64_t>(ids.size());
    for (int32_t id : ids) message.put<int32_t>(id);
  }
  return std::move(message.bytes());
}

CategoryArticles unpackCategoryArticles(const std::string& bytes) {
  MessageReader message(bytes);
  CategoryArticles articles;
  for (uint64_t count = message.get<uint64_t>(); count > 0; --count) {
    std::vector<int32_t>& ids = articles[std::string(message.getText())];
    ids.resize(message.get<uint64_t>());
    for (int32_t& id : ids) id = message.get<int32_t>();
  }
  return articles;
}

// A rank's counts of the cells whose word its share holds (withWord; the rest is known from
// the category sizes).
std::string packWithWordCounts(const ContingencyTable& counted) {
  MessageWriter message;
  for (const auto& [key, cell] : counted) {
    if (cell.withWord == 0) continue;
    message.putText(key.first);
    message.putText(key.second);
    message.put<int32_t>(cell.withWord);
  }
  return std::move(message.bytes());
}

}  // namespace

void countContingencyAcrossRanks(const Environment& environment, ArticleRange range,
                                 const Dictionary& dictionary, const CategoryList& categories,
                                 const std::string& tableName, ContingencyTable& table) {
  static const std::string kTimingLabel = gbk(kContingencyTimingLabel);
  const StageClock clock;
  std::string packed;
  if (isRoot()) {
    CategoryArticles articles;
    collectCategoryArticles(environment, categories, tableName, articles);
    packed = packCategoryArticles(articles);
  }
  cluster::broadcast(packed);
  const CategoryArticles articles = unpackCategoryArticles(packed);
  packed.clear();
  ContingencyTable counted;
  countContingencyCells(dictionary, articles, counted, environment.threads,
                        cluster::ownShareOf(range));
  if (!isRoot()) {
    cluster::gatherToRoot(packWithWordCounts(counted), {});
    return;
  }
  cluster::gatherToRoot("", [&](int fromRank, std::string bytes) {
    MessageReader message(bytes);
    while (!message.done()) {
      ContingencyKey key;
      key.first = message.getText();
      key.second = message.getText();
      const auto cell = counted.find(key);
      if (cell == counted.end()) {
        throw std::runtime_error("rank " + std::to_string(fromRank) +
                                 " counted a word the whole dictionary does not hold");
      }
      cell->second.withWord += message.get<int32_t>();
    }
  });
  // Each rank's cell took its own withWord away from the category's size; the whole's is the
  // size less the sum.
  for (auto& [key, cell] : counted) {
    cell.withoutWord = static_cast<int32_t>(articles.at(key.second).size()) - cell.withWord;
  }
  table = std::move(counted);
  environment.console->timingLine(kTimingLabel, clock.elapsedSeconds());
}

void buildDictionaryAcrossRanks(const Environment& environment, ArticleRange range,
                                Tokenizer tokenizer, const std::string& tableName,
                                Dictionary& dictionary) {
  const ArticleRange share = cluster::ownShareOf(range);
  if (share.size() > 0) {
    buildDictionary(environment, share, dictionary, tokenizer, environment.terms, tableName);
  }
  if (!isRoot()) {
    cluster::gatherToRoot(packDictionary(dictionary), {});
    return;
  }
  cluster::gatherToRoot("", [&](int, std::string packed) {
    appendDictionaryShare(packed, dictionary);
  });
}

RankVectors buildVectorsAcrossRanks(const Environment& environment, ArticleRange trainingRange,
                                    ArticleRange testingRange, const Dictionary& dictionary,
                                    const VectorStagePaths& paths, AtomicFileGroup& files,
                                    const StageSummary& summary) {
  RankVectors vectors;
  StageClock trainingClock;
  const vsm::KeywordWeighting weighting =
      shareKeywordWeighting(trainingRange, dictionary, paths.keywords);
  const vsm::WeightTable table(weighting.statistics, weighting.collectionSize);
  const std::vector<std::string>& keywords = weighting.keywords;
  vectors.keywordCount = keywords.size();
  vectors.trainingTotal = keywords.empty() ? 0 : static_cast<size_t>(trainingRange.size());
  vectors.keywordless = vsm::keywordlessTestingVector(table);

  // Training vectors: the share's postings are all this rank's dictionary needs to hold.
  if (isRoot()) {
    vsm::warnUnpostedKeywords(table, keywords, paths.keywords, "buildTrainingVsm",
                              environment.console, environment.warnings);
  }
  const ArticleRange trainingShare = cluster::ownShareOf(trainingRange);
  if (trainingShare.size() > 0) {
    vsm::addWeightedTrainingVectors(environment.weighting,
                                    vsm::findPostingLists(dictionary, keywords), table,
                                    trainingShare, vectors.trainingShare, environment.threads);
  }
  environment.console->timingLine(gbk(kTrainingVectorsTimingLabel),
                                  trainingClock.elapsedSeconds());
  writeAndRoundSharedVectorFile(environment, vectors.trainingShare, paths.training, files);
  if (isRoot()) {
    summary("training vectors", std::to_string(vectors.trainingTotal) + " vectors", trainingClock,
            paths.training);
  }

  // Testing vectors: each rank segments its share, and every rank gets all of them.
  StageClock testingClock;
  if (isRoot()) {
    vsm::warnUnpostedKeywords(table, keywords, paths.keywords, "buildTestingVsm",
                              environment.console, environment.warnings);
  }
  const ArticleRange testingShare = cluster::ownShareOf(testingRange);
  VsmModel testingShareModel;
  if (testingShare.size() > 0) {
    vsm::addTestingVectors(environment, environment.weighting, environment.terms,
                           testingShare.firstId, testingShare.lastId, kTestingCorpusTable,
                           keywords, table, testingShareModel);
  }
  environment.console->timingLine(gbk(kTestingVectorsTimingLabel),
                                  testingClock.elapsedSeconds());
  writeAndRoundSharedVectorFile(environment, testingShareModel, paths.testing, files);
  for (const std::string& packed : cluster::allGather(vsm::packVectors(testingShareModel))) {
    vsm::unpackVectors(packed, vectors.testing);
  }
  if (isRoot()) {
    summary("testing vectors", std::to_string(vectors.testing.size()) + " vectors", testingClock,
            paths.testing);
  }
  return vectors;
}

ClassificationResults classifyKnnAcrossRanks(const Environment& environment,
                                             ArticleRange trainingRange,
                                             const CategoryList& categories, int k,
                                             const RankVectors& vectors) {
  // Every id of the training range has a vector (none when there is no keyword).
  std::vector<int32_t> trainingIds;
  if (isRoot() && vectors.trainingTotal > 0) {
    trainingIds.reserve(vectors.trainingTotal);
    for (int64_t id = trainingRange.firstId; id <= trainingRange.lastId; ++id) {
      trainingIds.push_back(static_cast<int32_t>(id));
    }
  }
  return knnClassifyAcrossRanks(environment, environment.similarityVote, kTrainingCorpusTable,
                                vectors.trainingShare, trainingIds, vectors.trainingTotal,
                                vectors.keywordCount, vectors.testing, categories, k,
                                &vectors.keywordless);
}

}  // namespace newsclass
