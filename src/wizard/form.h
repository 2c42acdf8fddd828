#pragma once
// TForm1: the wizard's one window and its step machine, written against the portable control
// model so that the whole wizard runs in native tests.
#include <cstdint>
#include <functional>
#include <string>

#include "archive/archive.h"
#include "core/errors.h"
#include "core/file_system.h"
#include "core/platform.h"
#include "operations/install_request.h"
#include "restore/restore_point.h"
#include "script/script.h"
#include "wizard/command_line.h"
#include "wizard/controls.h"
#include "wizard/run_log.h"
#include "wizard/window_progress.h"
#include "wizard/wizard_services.h"

namespace merva {

struct TWizardServices {
  IFileSystem& Files;
  IMessageBoxes& Boxes;
  IMessagePump& Pump;
  IProcess& Process;
  IRegistry& Registry;
  ILocale& Locale;
  IFolderDialog& FolderDialog;
  IShell& Shell;
  // Where installations keep their restore points; none is kept when it is empty.
  std::string RestoreFolder = {};
  // The player's list of installed programs, and this merva.exe, which the entries' uninstall
  // commands run from a copy beside the restore points; none when null or empty.
  IInstalledApps* Apps = nullptr;
  std::string ProgramPath = {};
  // Where that copy is kept; beside the restore points when empty.
  std::string ProgramCopyFolder = {};
};

// The wizard's pages. `Step` holds one of them, as the number the page has always had.
enum TPage : uint8_t {
  kRefusalPage = 0,  // the refusal text, shown as the finish page
  kWelcomePage = 1,
  kAgreementPage = 2,
  kFolderPage = 3,
  kInstallingPage = 4,
  kFinishPage = 5,
  kPastFinishPage = 6,  // Next on the finish page: the window closes
};

// Tells what the operations report in the wizard's boxes: a plain message in a plain box, an
// error in the error box, and a message that ends the program in a plain box before it ends.
class TBoxNotices : public INotices {
 public:
  TBoxNotices(IMessageBoxes& boxes, IProcess& process) : boxes_(boxes), process_(process) {}
  void Notice(TNoticeKind kind, const std::string& text) override;

 private:
  IMessageBoxes& boxes_;
  IProcess& process_;
};

// The error box: caption "Error", the error icon, one OK button.
void ShowErrorBox(IMessageBoxes& boxes, const std::string& text);

extern const char kMissingDataFilesMessage[];
extern const char kFolderDialogCaption[];  // UTF-8; converted where it is shown

class TForm1 {
 public:
  explicit TForm1(TWizardServices services);

  // Published controls, in declaration order.
  TControl Image1, Image2, Image3, Image4, Image5;
  TControl Label1;
  TCheckBox CheckBox1;
  TControl Edit1, Button4;
  TControl Label2;
  TProgressBar ProgressBar1;
  TControl Image6;

  // The program's state for its whole run.
  uint8_t Step = kRefusalPage;  // a TPage
  bool BrowseCancelled = false;
  TDATAInst Script;
  TGTA3Archive Archive;  // the game's archive as the folder page found it
  // The installation the script asks for, read as every front end reads it: the level as the
  // check found and left it, where the restore point goes.
  TInstallRequest Request;

  // Set by the framework's close request; the window closes once no handler runs.
  bool CloseRequested = false;
  // True while the installation run works; Back and Next then do nothing.
  bool Installing = false;
  // Lines another installed mod wrote may be changed into something else: asked on the pages,
  // told by /replacelines in an unattended run.
  bool ReplaceLines = false;
  // Told by /anyedition in an unattended run; on the pages the player is asked.
  bool AnyEdition = false;
  // Told by /pastlimits in an unattended run; on the pages the player is asked, No first.
  bool PastLimits = false;
  bool Unattended = false;  // nobody is there to ask

  // Published handlers, named after their controls (the names the automation contract uses).
  void FormCreate();
  // The start with /undo: asks whether to take back the latest installation into `gameFolder`
  // (into any game folder when it is empty), does it with the progress bar, reports, closes.
  // With `pointName`, that installation of the game in `gameFolder` (an uninstall command).
  void UndoCreate(const std::string& gameFolder, const std::string& pointName = "");
  // The unattended runs (command_line.h): the installation or the undo with nothing asked, told
  // in `log`; gives the exit code (operations/exit_codes.h). The window, when one is shown,
  // shows the installing page with its progress bar.
  int SilentInstall(const TCommandLine& line, TRunLog& log);
  int SilentUndo(const TCommandLine& line, TRunLog& log);
  // Why the run of `line` may not write its log where /log= says (a file the run writes, holds
  // or reads: the archive, temp.img, the lock, the scratch folder, the restore folder, a game
  // file of the mod, the mod's own files); empty when it may. Nothing is written to find out.
  std::string LogTargetFault(const TCommandLine& line);
  void Image4Click();     // Next
  void Image3Click();     // Back
  void Image5Click();     // Cancel
  void CheckBox1Click();  // the agreement box
  void Button4Click();    // Browse: the folder dialog
  void Image2Click();     // the first link picture
  void Image6Click();     // the second link picture
  void Image2MouseMove() { Image2.Cursor = crHandPoint; }
  void Image3MouseMove() { Image3.Cursor = crHandPoint; }
  void Image4MouseMove() { Image4.Cursor = crHandPoint; }
  void Image5MouseMove() { Image5.Cursor = crHandPoint; }
  void Image6MouseMove() { Image6.Cursor = crHandPoint; }

  // The framework's handling of an event: an error that ends the handler is reported in a box
  // (silently for EAbort) and the program goes on.
  void HandleEvent(const std::function<void()>& handler);
  IMessageBoxes& Boxes() { return services_.Boxes; }

 private:
  void ShowStep();
  void LoadScript();
  std::string LogTargetFaultUnchecked(const TCommandLine& line);
  // Installs into the edit box's folder; `done`, when given, receives the restore point kept.
  void InstallPackage(TRestorePoint* done = nullptr);
  // The window as the unattended runs show it: the progress bar and the texts, no buttons.
  void ShowUnattended();
  void OpenArchive(const std::string& path);
  void FolderCheck();
  void Close() { CloseRequested = true; }
  // A data file's path: by its bare name in the current folder, or in dataFolder_.
  std::string DataPath(const char* name) const;

  TWizardServices services_;
  // Where the data files are read: empty for the current folder, the wizard's rule; an unattended
  // run falls back on merva.exe's own folder (a batch file need not change folders, and a folder
  // deeper than the system's old limit cannot be the current one).
  std::string dataFolder_;
  TBoxNotices boxNotices_{services_.Boxes, services_.Process};
  // Where the operations' notices go: the boxes, or an unattended run's log.
  INotices* notices_ = &boxNotices_;
};

// Holds `flag` set for the length of a run: Back and Next do nothing while it works.
class TRunningFlag {
 public:
  explicit TRunningFlag(bool& flag) : flag_(flag) { flag_ = true; }
  ~TRunningFlag() { flag_ = false; }
  TRunningFlag(const TRunningFlag&) = delete;
  TRunningFlag& operator=(const TRunningFlag&) = delete;

 private:
  bool& flag_;
};

// Reports an error as the framework does: application title, error icon, "." appended.
void ReportError(IMessageBoxes& boxes, const std::string& message);

}  // namespace merva
