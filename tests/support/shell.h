#pragma once
// The tools as a user starts them from a shell: their output and exit status.
#include <string>

namespace merva::test {

struct TToolRun {
  int status;
  std::string output;  // standard output and standard error together
};

TToolRun RunShell(const std::string& command);
// A path (in either form) as one shell word: "/" separators, single quotes, and each quote of
// its own closed and reopened, so that any folder the clone lies in is one argument.
std::string ShellQuoted(const std::string& path);

}  // namespace merva::test
