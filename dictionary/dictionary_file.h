// The dictionary file dict.dat: a header line with the number of words, then per word its text,
// its posting count and a line of "id count ; " postings.
#ifndef NEWSCLASS_DICTIONARY_DICTIONARY_FILE_H_
#define NEWSCLASS_DICTIONARY_DICTIONARY_FILE_H_

#include <string>

#include "base/console.h"
#include "dictionary/dictionary.h"

namespace newsclass {

// Replaces `path` with the dictionary, atomically.
void saveDictionary(const Dictionary& dictionary, const std::string& path);
// Adds the words of the file to `dictionary`. A record cut short or holding a number no
// dictionary can hold is a DataFileError naming the file and the record; nothing is added then.
void loadDictionary(Dictionary& dictionary, const std::string& path);
// Writes a dictionary compactly to the console: the word count, then per word its text, its
// posting count and "id,count;" per posting.
void printDictionary(const Dictionary& dictionary, Console& console);

}  // namespace newsclass

#endif  // NEWSCLASS_DICTIONARY_DICTIONARY_FILE_H_
