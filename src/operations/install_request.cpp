#include "operations/install_request.h"

#include "change/level_value.h"

namespace merva {

std::function<void(const std::string&)> LevelCheckFor(IRegistry* registry, ILocale& locale,
                                                      TLevelRecord& record,
                                                      std::function<void()> refused) {
  return [registry, &locale, &record, refused](const std::string& level) {
    if (!registry) return;
    if (CheckLevelRecorded(level, {*registry, locale}, record) == TLevelCheck::kRefused) refused();
  };
}

TInstallRequest ReadInstallRequest(IFileSystem& fs, INotices& notices, IRegistry* registry,
                                   ILocale& locale, const std::string& restoreFolder,
                                   const std::string& scriptPath, const std::string& packagePath) {
  TInstallRequest request;
  request.PackagePath = packagePath;
  const TScriptEnd end = LoadScript(request.Script, fs, notices,
                                    LevelCheckFor(registry, locale, request.Restore.Level,
                                                  [&request] { request.Refused = true; }),
                                    scriptPath);
  if (end == TScriptEnd::kDamaged) throw EScriptDamaged(scriptPath);
  request.Restore.Folder = restoreFolder;
  request.Restore.Title = request.Script.Title;
  return request;
}

}  // namespace merva
