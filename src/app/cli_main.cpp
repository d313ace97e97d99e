// vema-cli: the headless front end.  The player module is loaded only by play.
#include <iostream>
#include <string>

#include "app/cli.h"
#include "app/player_loader.h"

int main(int argc, char** argv) {
  const vema::SongPlayerFactory players = [](const std::string& dir) {
    return vema::LoadSongPlayer(dir);
  };
  return vema::RunCli(argc, argv, std::cout, std::cerr, players);
}
