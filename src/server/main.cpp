#include "server/commandline.h"

int main(int argc, char** argv) {
  return varnook::server::runCommandLine(argc, argv);
}
