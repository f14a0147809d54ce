#pragma once

// The command line of varnook-archive: "index", "serve", "demo" and "stats".

namespace varnook::server {

// Runs the command named by argv[1]; returns the process exit status (0 success,
// 1 failure, 2 usage error).
int runCommandLine(int argc, char** argv);

}  // namespace varnook::server
