// The script loader and the level gate on any bytes.
#include "fuzz/fuzz_services.h"
#include "script/level_gate.h"
#include "script/script.h"

using namespace merva;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TMemoryFileSystem fs;
  fs.Put("scripts.bin", std::string(reinterpret_cast<const char*>(data), size));
  test::TFakeBoxes boxes;
  test::TFakeRegistry registry;
  registry.Values["ProductID"] = {TValueType::kBinary, {0, 0, 0, 0, 0, 0, 0xF0, 0x3F}};
  test::TFakeLocale locale(size % 2 ? ',' : '.');
  TDATAInst script;
  try {
    LoadScript(script, fs, boxes, [&](const std::string& level) {
      CheckInstalledLevel(level, {registry, locale});
    });
  } catch (const Exception&) {  // a conversion error, or a notice that ends the program
  }
  return 0;
}
