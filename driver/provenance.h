// How a data folder's files were built, kept in <data-dir>/model.json: one flat JSON object of
// text values (GBK, as every file of the folder), for example
//
//   {"table": "TrainingCorpus", "train_range": "1-6000", "tokenizer": "segment",
//    "categories": "a,b", "measure": "chi", "count": "1000", "weighting": "spec",
//    "test_range": "1-600", "classifier": "knn", "k": "10", "vote": "count"}
//
// Each stage that writes a file records its own facts and drops those of the later stages,
// whose files were built from what it just replaced: they are stale until rebuilt. Commands that
// use the files (evaluate, predict) read the facts instead of asking again, and refuse a request
// that contradicts them. A folder without model.json (made before it existed) has no facts.
#ifndef NEWSCLASS_DRIVER_PROVENANCE_H_
#define NEWSCLASS_DRIVER_PROVENANCE_H_

#include <map>
#include <string>
#include <vector>

namespace newsclass {

using Provenance = std::map<std::string, std::string>;

// The stages in build order; a fact belongs to the stage that records it.
enum class ProvenanceStage { kDictionary, kContingency, kFeatures, kVectors, kClassifier };

// The facts in `path`; empty when the file does not exist. DataFileError naming the file when it
// is not such an object.
Provenance readProvenance(const std::string& path);

// The object's text, keys in byte order, and the facts read back from such text.
std::string formatProvenance(const Provenance& facts);
Provenance parseProvenance(const std::string& text, const std::string& path);

// The recorded "categories" split at commas; empty when none are recorded.
std::vector<std::string> recordedCategories(const Provenance& facts);

// Drops the facts of `stage` and of every later stage, adds `facts`, and replaces the file
// atomically.
void recordProvenance(const std::string& path, ProvenanceStage stage, const Provenance& facts);

}  // namespace newsclass

#endif  // NEWSCLASS_DRIVER_PROVENANCE_H_
