// vema-cli: the headless front end.  The player module is loaded only by play.  Installed, it
// works in the user's song folder when no --dir is given.
#if __has_include(<malloc.h>)
#include <malloc.h>
#endif

#include <iostream>
#include <string>

#include "app/cli.h"
#include "app/install_layout.h"
#include "app/player_loader.h"
#include "app/song_folder.h"

int main(int argc, char** argv) {
#if defined(M_MMAP_THRESHOLD) && defined(M_TRIM_THRESHOLD)
  // A run is short and most of its cost is the first touch of fresh pages: large blocks come
  // from the heap and freed memory stays there, so that the buffers the databases are read into
  // and the tables built later use the same pages.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
#endif
  const vema::SongPlayerFactory players = [](const std::string& dir) {
    return vema::LoadSongPlayer(dir);
  };
  // Installed, the commands work in the user's song folder unless --dir names another.
  const vema::DefaultFolder defaultFolder =
      [](vema::Platform& platform) -> std::optional<std::string> {
    const vema::SongFolderSetup setup = vema::PrepareDefaultSongFolder(vema::InstalledDataDir());
    if (!setup.ok()) {
      platform.ShowMessage(vema::DescribeSongFolderProblem(setup), vema::MessageIcon::kStop);
      return std::nullopt;
    }
    if (setup.created) {
      platform.ShowMessage("made the song folder " + setup.folder + " with the default files",
                           vema::MessageIcon::kPlain);
    }
    return setup.folder;
  };
  return vema::RunCli(argc, argv, std::cout, std::cerr, players, defaultFolder);
}
