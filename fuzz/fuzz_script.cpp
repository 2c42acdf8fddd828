// The script loader and the level gate on any bytes.
#include "fuzz/fuzz_services.h"
#include "script/level_gate.h"
#include "script/script.h"

using namespace merva;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemoryFileSystem fs;
  fs.Put("scripts.bin", std::string(reinterpret_cast<const char*>(data), size));
  test::FakeBoxes boxes;
  test::FakeRegistry registry;
  registry.Values["ProductID"] = {TValueType::kBinary, {0, 0, 0, 0, 0, 0, 0xF0, 0x3F}};
  test::FakeLocale locale(size % 2 ? ',' : '.');
  test::FakeProcess process;
  uint8_t step = 1;
  TDATAInst script;
  try {
    LoadScript(script, fs, boxes, [&](const std::string& level) {
      CheckInstalledLevel(level, step, {registry, locale, boxes, process});
    });
  } catch (const Exception&) {
  } catch (const test::ProgramEnded&) {
  }
  if (step > 1) __builtin_trap();  // the gate only ever refuses
  return 0;
}
