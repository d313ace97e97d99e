// vema-cli: the headless front end.
#include <cstdlib>
#include <iostream>
#include <string>

#include "app/cli.h"
#include "app/player/fluid_player.h"

int main(int argc, char** argv) {
  const vema::SongPlayerFactory players = [](const std::string& dir) {
    return std::unique_ptr<vema::SongPlayer>(std::make_unique<vema::FluidPlayer>(dir));
  };
  return vema::RunCli(argc, argv, std::cout, std::cerr, players);
}
