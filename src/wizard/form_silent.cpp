// The unattended runs: the wizard's own installation and undo, with nothing asked, told in a
// log, ending with an exit code that a batch file can act on.
#include <memory>
#include <new>

#include "archive/game_check.h"
#include "core/errors.h"
#include "core/file_tools.h"
#include "game/game_archives.h"
#include "game/game_edition.h"
#include "game/game_folder.h"
#include "operations/exit_codes.h"
#include "operations/undo_request.h"
#include "package/package.h"
#include "wizard/form.h"

namespace merva {

namespace {

// The log's last lines and the run's exit code for an error, in the words the wizard would
// show, with what the player can do about it.
int Failed(TRunLog& log, const std::exception& error, const std::string& advice = "") {
  const int code = dynamic_cast<const std::bad_alloc*>(&error) ? kExitFailed : ExitCodeOf(error);
  if (!dynamic_cast<const EAbort*>(&error))
    log.Line("Error: " + ErrorReportText(dynamic_cast<const std::bad_alloc*>(&error)
                                             ? "Out of memory"
                                             : error.what()));
  if (!advice.empty()) log.Line(advice);
  log.Line("Ended with exit code " + std::to_string(code) + ".");
  return code;
}

// A game Merva can change, else the refusal that names what the folder is.
void RequireGameFolder(IFileSystem& fs, const std::string& folder) {
  switch (CheckGameFolder(fs, folder)) {
    case TGameCheck::kGame:
      return;
    case TGameCheck::kDefinitive:
      throw EDefinitiveEdition(folder);
    default:
      throw EArchiveMissing(ArchivePathOf(folder));
  }
}

int Done(TRunLog& log) {
  log.Line("Done: exit code 0.");
  return kExitDone;
}

void LogChanges(TRunLog& log, const TRestorePoint& point) {
  for (const TArchiveChange& archive : point.Archives) {
    const std::string name = GameArchiveText(archive.Archive);
    for (const TKeptEntry& entry : archive.Replaced)
      log.Line("Replaced entry " + EntryName(entry.Old) + " in " + name + ".");
    for (const TAddedEntry& entry : archive.Added)
      log.Line("Added entry " + entry.Name + " to " + name + ".");
  }
  for (const TGameFileChange& file : point.GameFiles)
    log.Line((file.Replaced ? "Replaced game file " : "Created game file ") + file.Item + ".");
  for (const TItemChange& item : point.Items)
    log.Line((item.Added ? "Added line " : "Replaced line ") + ItemText(item) + ".");
  log.Line("Restore point: " + point.Folder + ".");
}

}  // namespace

void TForm1::ShowUnattended() {
  Unattended = true;
  Close();  // whatever happens, the window closes once the run ends
  Step = kInstallingPage;
  for (TControl* hidden :
       {&Image3, &Image4, &Image5, &Edit1, &Button4, static_cast<TControl*>(&CheckBox1)})
    hidden->Visible = false;
  ProgressBar1.Visible = true;
}

int TForm1::SilentInstall(const TCommandLine& line, TRunLog& log) {
  ShowUnattended();
  notices_ = &log;
  log.Line("Merva: unattended installation.");
  try {
    IFileSystem& fs = services_.Files;
    const auto present = [&] {
      return fs.FileExists(DataPath(kScriptFileName)) && fs.FileExists(DataPath(kPackageFileName));
    };
    if (!present() && !services_.ProgramPath.empty())
      dataFolder_ = ParentFolder(services_.ProgramPath);
    if (!present()) throw Exception(kMissingDataFilesMessage);
    if (!dataFolder_.empty()) log.Line("Mod folder: " + dataFolder_ + ".");
    LoadScript();
    // The wizard goes on after a warning about its script, for the player to judge what the
    // pages then show; with nobody to read them, nothing is installed.
    if (log.Noticed()) throw EAbort();
    Label2.Text = Script.Title;
    Label1.Text = Script.ProgressText;
    log.Line("Mod: " + Script.Title + ".");
    if (Step == kRefusalPage) {
      log.Line("Refused by the installed level: " + Script.RefusalText);
      log.Line("Ended with exit code " + std::to_string(kExitRefusedByLevel) + ".");
      return kExitRefusedByLevel;
    }
    // The agreement counts as accepted; the folder is the one named, else the edit box's own.
    if (!line.GameFolder.empty()) Edit1.Text = line.GameFolder;
    log.Line("Game folder: " + Edit1.Text + ".");
    RequireGameFolder(fs, Edit1.Text);
    log.Line("Installing.");
    ReplaceLines = line.ReplaceLines;
    AnyEdition = line.AnyEdition;
    PastLimits = line.PastLimits;
    TRestorePoint point;
    InstallPackage(&point);
    if (!point.Folder.empty()) LogChanges(log, point);
    Label1.Text = Script.FinishText;
    return Done(log);
  } catch (const std::exception& error) {
    return Failed(log, error);
  }
}

int TForm1::SilentUndo(const TCommandLine& line, TRunLog& log) {
  ShowUnattended();
  notices_ = &log;
  log.Line("Merva: unattended undo.");
  try {
    if (!line.GameFolder.empty()) RequireGameFolder(services_.Files, line.GameFolder);
    TWindowProgress progress(ProgressBar1, services_.Pump);
    const std::unique_ptr<TUndo> undo =
        StartUndo({services_.RestoreFolder, line.GameFolder, line.Point},
                  {services_.Files, log, progress, &services_.Registry, services_.Apps});
    const TRestorePoint& point = undo->Point();
    Label2.Text = point.Title;
    Label1.Text = "Taking back \"" + point.Title + "\"...";
    log.Line("Taking back \"" + point.Title + "\" made on " + point.Time + " in " +
             point.GameFolder + ", restore point " + point.Folder + ".");
    TUndoResult result;
    {
      const TRunningFlag running(Installing);
      // Nothing is asked: an archive changed since, or game files the player changed, refuse.
      result = undo->Run({});
    }
    log.Line(UndoDoneText(point, result));
    for (const std::string& item : result.Done.GivenBack) log.Line("Given back: " + item);
    for (const std::string& item : result.Done.Removed) log.Line("Removed: " + item);
    for (const std::string& remark : UndoRemarks(result)) log.Line(remark);
    return Done(log);
  } catch (const EUndoRefused& refusal) {
    return Failed(log, refusal, "Run merva.exe /undo without /silent to choose.");
  } catch (const std::exception& error) {
    return Failed(log, error);
  }
}

}  // namespace merva
