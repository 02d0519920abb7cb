// newsclass: the thin executable around runNewsclass.
#include <iostream>

#include "driver/cmd_cli.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  return newsclass::runNewsclass(argc, argv, std::cin, std::cout, std::cerr);
}
