// vema-cli: the headless front end.  The player module is loaded only by play.
#if __has_include(<malloc.h>)
#include <malloc.h>
#endif

#include <iostream>
#include <string>

#include "app/cli.h"
#include "app/player_loader.h"

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
  return vema::RunCli(argc, argv, std::cout, std::cerr, players);
}
