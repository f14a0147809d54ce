// varnook-batch: the news search agent without a window.
#include <cstdio>
#include <string>
#include <vector>

#include "batch/batchagent.h"
#include "batch/batchoptions.h"
#include "varnook/version.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  const auto options = varnook::parseBatchOptions(args, error);
  if (!options) {
    std::fprintf(stderr, "varnook-batch: %s\nTry 'varnook-batch --help'.\n", error.c_str());
    return 2;
  }
  if (options->help) {
    std::fputs(varnook::batchUsage(), stdout);
    return 0;
  }
  if (options->version) {
    std::printf("varnook-batch %s\n", varnook::kVersion);
    return 0;
  }
  varnook::BatchAgent agent;
  return agent.run(*options);
}
