#include "song/platform.h"

#include "song/file_io.h"

namespace vema {

std::unique_ptr<FolderWait> Platform::WaitForFolder(const std::string&) {
  return std::make_unique<TimedFolderWait>(kDefaultFolderWaitSeconds);
}

void Platform::ShowFolderProblem(FolderProblem problem, const std::string& dir) {
  ShowMessage(FolderProblemText(problem, dir), MessageIcon::kStop);
}

std::string FolderProblemText(FolderProblem problem, const std::string& dir) {
  const std::string folder = dir.empty() ? "." : dir;
  switch (problem) {
    case FolderProblem::kBusy:
      return "another run kept writing in " + folder + "; nothing was written";
    case FolderProblem::kLockFile:
      break;
  }
  return "the lock file " + folder + "/" + kFolderLockFile + " cannot be used (it must be a regular file that "
         "can be made and opened); nothing was written";
}

}  // namespace vema
