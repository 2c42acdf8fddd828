// A whole installation run: script, package and archive all from the input.
#include "fuzz/fuzz_services.h"
#include "game/game_folder.h"
#include "operations/installation.h"

using namespace merva;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string script = fuzz::TakePart(data, size);
  const std::string package = fuzz::TakePart(data, size);
  TMemoryFileSystem fs(8 << 20);
  fuzz::MakeGameFolder(fs, std::string(reinterpret_cast<const char*>(data), size));
  fs.Put("scripts.bin", script);
  fs.Put("data.cab", package);
  test::TFakeBoxes boxes;
  TNoProgress progress;
  TDATAInst loaded;
  try {
    LoadScript(loaded, fs, boxes, nullptr);
    TInstallation(loaded, "G", {fs, boxes, progress}).Run();
  } catch (const Exception&) {
  }
  // Whatever happened, the game keeps its archive and the run leaves no scratch behind.
  if (!fs.Get("G\\models\\gta3.img") || fs.Get("G\\models\\temp.img")) __builtin_trap();
  if (fs.DirectoryExists(std::string("G\\") + kScratchFolderName)) __builtin_trap();
  return 0;
}
