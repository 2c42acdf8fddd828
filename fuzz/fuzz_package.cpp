// The package directory reader, FindPackageEntry, the header checks of models, textures and
// collisions, and extraction on any bytes.
#include "fuzz/fuzz_services.h"
#include "package/model_check.h"
#include "package/package.h"

using namespace merva;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string key = fuzz::TakePart(data, size);
  TMemoryFileSystem fs(1 << 20);
  fs.Put("data.cab", std::string(reinterpret_cast<const char*>(data), size));
  test::TFakeBoxes boxes;
  TPackageDirectory directory;
  try {
    TBlockFile package = TBlockFile::OpenReadOnly(fs, "data.cab");
    ReadPackageDirectory(package, directory, boxes);
    TPackageEntry entry;
    uint32_t position;
    FindPackageEntry(directory, key, entry, position);
    for (const TPackageEntry& listed : directory.PackageEntries) {
      if (!FindPackageEntry(directory, PackageEntryName(listed), entry, position)) __builtin_trap();
      // Read under every kind's name: no header, however it lies, reads outside the entry.
      for (const char* name : {"x.dff", "x.txd", "x.col"}) {
        const TModelCheck check = CheckModelFile(name, package, position, entry.Size);
        if (check.Verdict == TModelVerdict::kNotJudged ||
            (check.Verdict != TModelVerdict::kFine && check.Why.empty()))
          __builtin_trap();
      }
      ExtractPackageEntry(package, entry, position, "out", fs);
      if (fs.Get("out")->size() != entry.Size) __builtin_trap();  // the directory was checked
    }
  } catch (const Exception&) {
  }
  if (boxes.Shown.size() > 1) __builtin_trap();  // the version message shows at most once
  return 0;
}
