// Files of a folder replaced together at the end of a long run: they are written into a hidden
// folder inside it (".newsclass-staged.XXXXXX"), and commit() moves them over their targets
// only when all of them are complete. A run that fails, or is ended, before that leaves every
// file of the folder as it was. A distributed run writes its data files so: its ranks may fail
// at any stage, and no stage's file may then have replaced the one before.
#ifndef NEWSCLASS_BASE_STAGED_FOLDER_H_
#define NEWSCLASS_BASE_STAGED_FOLDER_H_

#include <string>
#include <vector>

namespace newsclass {

class StagedFolder {
 public:
  // Creates the hidden folder inside `target` (which must exist) and copies into it the files
  // of `carried` that `target` holds, so that writers that update a file (model.json) start
  // from its present content. Throws DataFileError naming the folder or file at fault.
  StagedFolder(std::string target, const std::vector<std::string>& carried);
  // Removes the hidden folder and everything in it unless commit() succeeded.
  ~StagedFolder();
  StagedFolder(const StagedFolder&) = delete;
  StagedFolder& operator=(const StagedFolder&) = delete;

  // The folder writers write into instead of the target.
  const std::string& folder() const { return folder_; }

  // Renames every file written into the hidden folder over the file of the same name in the
  // target, those of `last` after all others (in that order), fsyncs the target and removes the
  // hidden folder. A rename that fails is a DataFileError naming the files already replaced.
  void commit(const std::vector<std::string>& last);

  // Removes the hidden folder of every StagedFolder alive in this process: what a process
  // ended by a signal does before it goes.
  static void removeAllUncommitted();

 private:
  std::string target_;
  std::string folder_;
  bool committed_ = false;
};

}  // namespace newsclass

#endif  // NEWSCLASS_BASE_STAGED_FOLDER_H_
