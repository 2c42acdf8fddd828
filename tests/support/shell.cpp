#include "tests/support/shell.h"

#include <sys/wait.h>

#include <cstdio>

#include "tests/support/fakes.h"

namespace merva::test {

TToolRun RunShell(const std::string& command) {
  TToolRun run{-1, ""};
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return run;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, n);
  run.status = WEXITSTATUS(pclose(pipe));
  return run;
}

std::string ShellQuoted(const std::string& path) {
  std::string quoted = "'";
  for (const char c : Native(path)) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace merva::test
