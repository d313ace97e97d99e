#include "app/folder_wait_view.h"

#include <algorithm>
#include <cmath>

#include "song/file_io.h"

namespace vema {

int FolderWaitView::Progress(double waitedSeconds) const {
  if (limit_ <= 0) return 100;
  return static_cast<int>(std::clamp(waitedSeconds / limit_, 0.0, 1.0) * 100);
}

std::string FolderWaitView::Text(double waitedSeconds) const {
  const int left = static_cast<int>(std::ceil(std::max(0.0, limit_ - waitedSeconds)));
  return "別の実行がフォルダー[" + (dir_.empty() ? std::string(".") : dir_) +
         "]に書き込んでいます。\n終わるのを待っています（あと " + std::to_string(left) + " 秒）。";
}

std::string FolderProblemTextForWindow(FolderProblem problem, const std::string& dir) {
  const std::string folder = dir.empty() ? "." : dir;
  if (problem == FolderProblem::kBusy) {
    return "別の実行がフォルダー[" + folder + "]に書き込み続けているため、何も書き込みませんでした。";
  }
  return "ロックファイル[" + folder + "/" + kFolderLockFile +
         "]を使えないため、何も書き込みませんでした。\n通常のファイルでなければなりません。";
}

}  // namespace vema
