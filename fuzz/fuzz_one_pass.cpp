// The one-pass installation against the step-by-step put, sort and compaction: the same archive
// bytes, or the same error with the archive left as it was.
#include <cstring>

#include "fuzz/fuzz_services.h"
#include "operations/installation.h"
#include "tests/support/step_install.h"

using namespace merva;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string list = fuzz::TakePart(data, size);
  const std::string package = fuzz::TakePart(data, size);
  const std::string archive(reinterpret_cast<const char*>(data), size);
  TDATAInst script;
  size_t at = 0;
  while (at <= list.size()) {
    const size_t end = std::min(list.find('\n', at), list.size());
    script.ArchiveFiles.push_back(list.substr(at, end - at));
    at = end + 1;
  }
  // A small in-memory disk, so that damaged directories that grow archives stop early.
  const test::TInstallOutcome steps =
      test::InstallInMemory(script, archive, package, false, 1 << 20);
  const test::TInstallOutcome onePass =
      test::InstallInMemory(script, archive, package, true, 1 << 20);
  // The step-by-step run writes its growing archive into the in-memory disk, which is small:
  // a run that fills it says nothing about the one pass.
  if (steps.Error == "Disk full" || onePass.Error == "Disk full") return 0;
  if (steps.Error != onePass.Error) __builtin_trap();
  if (steps.Error.empty() && steps.Archive != onePass.Archive) __builtin_trap();
  if (!steps.Error.empty() && onePass.Archive != archive) __builtin_trap();
  return 0;
}
