// How a data folder's files were built, kept in <data-dir>/model.json: one flat JSON object of
// text values (GBK, as every file of the folder), for example
//
//   {"table": "TrainingCorpus", "train_range": "1-6000", "tokenizer": "segment",
//    "categories": "a,b", "measure": "chi", "count": "1000", "weighting": "spec",
//    "test_range": "1-600", "classifier": "knn", "k": "10", "vote": "count"}
//
// Each stage that writes a file records its own facts and drops those of the later stages,
// whose files were built from what it just replaced: they are stale until rebuilt. Among a
// stage's facts is a digest of every file it wrote ("file dict.dat": "<size> <mtime ns> <xxh3>"),
// so that a file replaced behind the folder's back, or left by a run that was killed before it
// recorded its facts, no longer matches. The segmenting stages also record the stop-word file,
// user dictionary and lexicon they used ("stopwords": "<size> <mtime ns> <xxh3> <absolute
// path>", or "absent <absolute path>" for a file that could not be read). Commands that use the
// files read the facts instead of asking again, and refuse a request that contradicts them
// (cli/cmd_model.h). A folder without model.json (made before it existed) has no facts.
#ifndef NEWSCLASS_CLI_PROVENANCE_H_
#define NEWSCLASS_CLI_PROVENANCE_H_

#include <map>
#include <string>
#include <vector>

namespace newsclass {

using Provenance = std::map<std::string, std::string>;

// The stages in build order; a fact belongs to the stage that records it.
// kCorpus is import's: "imported", the time the corpus last changed, which no stage drops.
enum class ProvenanceStage { kCorpus, kDictionary, kContingency, kFeatures, kVectors, kClassifier };

// The stage a key belongs to: "file <name>" keys to the stage that writes <name>; unknown keys
// to the dictionary stage, so that any rebuild drops them.
ProvenanceStage stageOfKey(const std::string& key);

// The keys of tune --apply's record of how it picked the classifier's setting: "tune_grid",
// "tune_folds", "tune_seed", "tune_metric" and "tune_scores". They belong to the classifier.
inline const std::string kTuneKeyPrefix = "tune_";

// The key of a data file's digest: "file dict.dat".
inline const std::string kFileKeyPrefix = "file ";
inline std::string fileKey(const std::string& fileName) { return kFileKeyPrefix + fileName; }

// "<size> <mtime ns> <xxh3-64, 16 hex digits>" of the file at `path`, followed by " <absolute
// path>" when `withPath`; "absent <absolute path>" for a file that cannot be read when
// `withPath`. Throws DataFileError naming the file when it cannot be read and !withPath.
std::string fileDigest(const std::string& path, bool withPath = false);

// Whether the file at `path` still has the `recorded` digest (without a path): equal size and
// modification time are taken as equal content; otherwise the content is hashed, so that a copy
// with the same bytes matches. False for a file that cannot be read or a malformed digest.
bool fileMatchesDigest(const std::string& path, const std::string& recorded);

// The facts in `path`; empty when the file does not exist. DataFileError naming the file when it
// is not such an object (a key given twice, an escape other than \", \\ and \u0000-\u007f).
Provenance readProvenance(const std::string& path);

// The object's text, keys in byte order, and the facts read back from such text.
std::string formatProvenance(const Provenance& facts);
Provenance parseProvenance(const std::string& text, const std::string& path);

// The recorded "categories" split at commas; empty when none are recorded.
std::vector<std::string> recordedCategories(const Provenance& facts);

// Drops the facts of `stage` and of every later stage, adds `facts`, and replaces the file
// atomically. When `facts` equal the stage's recorded facts and its files' sizes and hashes are
// those recorded, the later stages' facts are kept: their files were built from the same bytes. import and the dictionary stage, which keep at most the time of the last import,
// start afresh from a file they cannot parse.
void recordProvenance(const std::string& path, ProvenanceStage stage, const Provenance& facts);

}  // namespace newsclass

#endif  // NEWSCLASS_CLI_PROVENANCE_H_
