// contingency.dat: one line per cell, "word category withWord withoutWord", in table order.
#ifndef NEWSCLASS_CONTINGENCY_CONTINGENCY_FILE_H_
#define NEWSCLASS_CONTINGENCY_CONTINGENCY_FILE_H_

#include <string>

#include "base/console.h"
#include "contingency/contingency_table.h"

namespace newsclass {

// Replaces `path` with the table, atomically.
void saveContingencyTable(const ContingencyTable& table, const std::string& path);
// Adds the file's cells to `table` and writes the loading time to the console. A record cut
// short or a count that is not one is a DataFileError naming the line; nothing is added then.
void loadContingencyTable(ContingencyTable& table, const std::string& path, Console& console);

}  // namespace newsclass

#endif  // NEWSCLASS_CONTINGENCY_CONTINGENCY_FILE_H_
