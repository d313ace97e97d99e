// vema-cli: the headless front end.
#include <cstdlib>
#include <iostream>
#include <string>

#include "app/cli.h"

int main(int argc, char** argv) { return vema::RunCli(argc, argv, std::cout, std::cerr); }
