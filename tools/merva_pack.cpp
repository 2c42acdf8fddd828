// merva-pack: makes a mod's "scripts.bin" and "data.cab" from a manifest, and reads them back.
#include <cstdio>
#include <iostream>

#include "core/block_file.h"
#include "core/errors.h"
#include "package/package.h"
#include "tools/cli_support.h"
#include "tools/manifest.h"
#include "tools/package_writer.h"

using namespace merva;

namespace {

const char kUsage[] =
    "usage: merva-pack COMMAND ...\n"
    "\n"
    "  build MANIFEST FOLDER    writes FOLDER/scripts.bin and FOLDER/data.cab\n"
    "  list DATA.CAB            the package's files: size in bytes, name\n"
    "  unpack DATA.CAB FOLDER   writes every file of the package into FOLDER\n"
    "  script SCRIPTS.BIN       prints the script as manifest lines\n";

int Build(const std::string& manifestPath, const std::string& folder) {
  const TManifest manifest = ReadManifest(manifestPath);
  for (const std::string& warning : manifest.Warnings)
    std::cerr << "merva-pack: warning: " << ConsoleText(warning) << "\n";
  WriteScriptFile(manifest.Script, folder + "\\" + kScriptFileName);
  WritePackageFile(manifest.Sources, folder + "\\" + kPackageFileName);
  std::printf("wrote %s and %s: %zu files\n", kScriptFileName, kPackageFileName,
              manifest.Sources.size());
  return 0;
}

int ListOrUnpack(const std::string& path, const std::string* folder) {
  ConsoleBoxes boxes("merva-pack");
  TBlockFile package = TBlockFile::OpenReadOnly(SystemFileSystem(), path);
  TPackageDirectory directory;
  ReadPackageDirectory(package, directory, boxes);
  uint32_t position =
      static_cast<uint32_t>(kPackageDirectoryOffset + 28 * directory.PackageEntryCount);
  for (const TPackageEntry& entry : directory.PackageEntries) {
    const std::string name = PackageEntryName(entry);
    if (folder) {
      ExtractPackageEntry(package, entry, position, *folder + "\\" + name, SystemFileSystem());
    } else {
      std::printf("%u %s\n", entry.Size, ConsoleText(name).c_str());
    }
    position += entry.Size;
  }
  return 0;
}

int PrintScript(const std::string& path) {
  ConsoleBoxes boxes("merva-pack");
  TDATAInst script;
  // The level is printed, not checked: nothing here touches the registry.
  LoadScript(script, SystemFileSystem(), boxes, nullptr, path);
  const std::pair<const char*, const std::string*> texts[] = {
      {"title", &script.Title},           {"level", &script.Level},
      {"welcome", &script.WelcomeText},   {"agreement", &script.AgreementText},
      {"agree", &script.AgreeCaption},    {"folder", &script.FolderText},
      {"progress", &script.ProgressText}, {"finish", &script.FinishText},
      {"refusal", &script.RefusalText}};
  for (const auto& [key, text] : texts)
    if (!text->empty()) std::printf("%s = %s\n", key, ConsoleText(EscapeText(*text)).c_str());
  for (const std::string& item : script.ArchiveFiles)
    std::printf("archive = %s\n", ConsoleText(item).c_str());
  for (const std::string& item : script.GameFiles)
    std::printf("game = %s\n", ConsoleText(item).c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return RunTool("merva-pack", [&] {
    const std::vector<std::string> args = ToolArguments(argc, argv);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
      std::cout << kUsage;
      return args.empty() ? 2 : 0;
    }
    const std::string& command = args[0];
    if (command == "build" && args.size() == 3) return Build(args[1], args[2]);
    if (command == "list" && args.size() == 2) return ListOrUnpack(args[1], nullptr);
    if (command == "unpack" && args.size() == 3) return ListOrUnpack(args[1], &args[2]);
    if (command == "script" && args.size() == 2) return PrintScript(args[1]);
    std::cerr << kUsage;
    return 2;
  });
}
