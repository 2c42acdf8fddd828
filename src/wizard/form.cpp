#include "wizard/form.h"

#include <new>

#include "core/environment.h"
#include "core/errors.h"
#include "game/game_edition.h"
#include "game/game_folder.h"
#include "journal/changing_game.h"
#include "operations/edition_check.h"
#include "operations/installation.h"
#include "operations/limits_check.h"
#include "package/package.h"
#include "resources/layout.h"

namespace merva {

const char kMissingDataFilesMessage[] = "Not found \"scripts.bin\" or \"data.cab\" files";
const char kFolderDialogCaption[] = "Путь к игре GTA: San Andreass";

namespace {
std::string DesignCaption(const char* name) {
  return ControlLayout(name).Caption;
}
}  // namespace

TForm1::TForm1(TWizardServices services) : services_(services) {
  Label1.Text = DesignCaption("Label1");
  Label2.Text = DesignCaption("Label2");
  CheckBox1.Text = DesignCaption("CheckBox1");
  Edit1.Text = DesignCaption("Edit1");
  Button4.Text = DesignCaption("Button4");
}

void TBoxNotices::Notice(TNoticeKind kind, const std::string& text) {
  if (kind == TNoticeKind::kError) return ShowErrorBox(boxes_, text);
  // A warning is one box, read before the run changes anything.
  boxes_.Show(TBoxKind::kPlain, text);
  if (kind == TNoticeKind::kEndProgram) process_.EndProgram();
}

void ShowErrorBox(IMessageBoxes& boxes, const std::string& text) {
  boxes.Show(TBoxKind::kErrorBox, text);
}

void ReportError(IMessageBoxes& boxes, const std::string& message) {
  boxes.Show(TBoxKind::kErrorReport, ErrorReportText(message));
}

void TForm1::HandleEvent(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const EAbort&) {
    // Already told to the user.
  } catch (const ENotice& notice) {
    notices_->Notice(notice.Kind(), notice.Message());
  } catch (const Exception& error) {
    ReportError(services_.Boxes, error.Message());
  } catch (const std::bad_alloc&) {
    ReportError(services_.Boxes, "Out of memory");
  } catch (const std::exception& error) {
    ReportError(services_.Boxes, error.what());
  }
}

void TForm1::FormCreate() {
  IFileSystem& fs = services_.Files;
  if (!fs.FileExists(kScriptFileName) || !fs.FileExists(kPackageFileName)) {
    services_.Boxes.Show(TBoxKind::kPlain, kMissingDataFilesMessage);
    services_.Process.EndProgram();
  }
  CheckBox1.Visible = false;
  Step = kWelcomePage;
  // A run killed on some game left it half changed: finished first, as every run does; one that
  // cannot be finished now waits for the run on that game.
  SettleKilledRuns(fs, services_.RestoreFolder);
  LoadScript();
  Label2.Text = Script.Title;
  ShowStep();
}

void TForm1::LoadScript() {
  try {
    Request = ReadInstallRequest(services_.Files, *notices_, &services_.Registry, services_.Locale,
                                 services_.RestoreFolder, DataPath(kScriptFileName),
                                 DataPath(kPackageFileName));
  } catch (const EScriptDamaged& damaged) {
    // Part of the lists would be missing: the player is told, and the wizard ends before a page
    // could offer to install what was read.
    throw ENotice(TNoticeKind::kEndProgram, ErrorReportText(damaged.Message()));
  }
  Script = Request.Script;
  if (Request.Refused) Step = kRefusalPage;
}

std::string TForm1::DataPath(const char* name) const {
  return dataFolder_.empty() ? name : dataFolder_ + "\\" + name;
}

namespace {

// What a page does to a control's flag: leaves it, clears it or sets it.
enum class TSet : uint8_t { kKeep, kOff, kOn };

void Apply(TSet set, bool& flag) {
  if (set != TSet::kKeep) flag = set == TSet::kOn;
}

// How a page looks: which controls it shows and enables, and which text of the script it shows.
struct TPageLook {
  TPage Page;
  TSet BackShown, BackEnabled, NextShown, NextEnabled, CancelShown, CancelEnabled;
  TSet FolderShown;  // the edit box and Browse
  TSet AgreementShown, ProgressShown;
  std::string TDATAInst::*Text;  // null: the page text stays
  bool ClearsBrowseCancelled;
};

constexpr TSet K = TSet::kKeep, Off = TSet::kOff, On = TSet::kOn;

// clang-format off
constexpr TPageLook kPageLooks[] = {
  //  page             Back      Next      Cancel    Folder Agree Prog  text                       clears
  {kRefusalPage,     Off, Off, On,  On,  Off, Off, Off,   Off,  Off,  nullptr,                    true},
  {kWelcomePage,     Off, Off, K,   On,  K,   On,  Off,   Off,  Off,  &TDATAInst::WelcomeText,    true},
  {kAgreementPage,   On,  On,  K,   Off, K,   K,   Off,   On,   K,    &TDATAInst::AgreementText,  true},
  {kFolderPage,      K,   K,   K,   K,   K,   K,   On,    Off,  Off,  &TDATAInst::FolderText,     false},
  {kInstallingPage,  K,   K,   K,   K,   On,  On,  Off,   K,    On,   &TDATAInst::ProgressText,   false},
  {kFinishPage,      Off, Off, K,   K,   Off, Off, K,     K,    Off,  &TDATAInst::FinishText,     false},
};
// clang-format on

}  // namespace

void TForm1::ShowStep() {
  const TPageLook* look = nullptr;
  for (const TPageLook& row : kPageLooks)
    if (row.Page == Step) look = &row;
  if (!look) return;  // past the last page: the window is closing
  if (look->ClearsBrowseCancelled) BrowseCancelled = false;
  Apply(look->BackShown, Image3.Visible);
  Apply(look->BackEnabled, Image3.Enabled);
  Apply(look->NextShown, Image4.Visible);
  Apply(look->NextEnabled, Image4.Enabled);
  Apply(look->CancelShown, Image5.Visible);
  Apply(look->CancelEnabled, Image5.Enabled);
  Apply(look->FolderShown, Edit1.Visible);
  Apply(look->FolderShown, Button4.Visible);
  Apply(look->AgreementShown, CheckBox1.Visible);
  Apply(look->ProgressShown, ProgressBar1.Visible);
  if (look->Text) Label1.Text = Script.*look->Text;

  // What a page does besides how it looks.
  switch (Step) {
    case kRefusalPage:
      // The one jump between pages: the refusal page is the finish page with the refusal text.
      Script.FinishText = Script.RefusalText;
      Step = kFinishPage;
      ShowStep();
      break;
    case kWelcomePage:
      CheckBox1.Text = Script.AgreeCaption;
      break;
    case kAgreementPage:
      if (CheckBox1.Checked) Image4.Enabled = true;
      break;
    case kFolderPage:
      FolderCheck();
      break;
    case kInstallingPage:
      InstallPackage();
      Step = kFinishPage;
      ShowStep();
      break;
    default:
      break;
  }
}

void TForm1::FolderCheck() {
  const std::string candidate = ArchivePathOf(Edit1.Text);
  if (IsDefinitiveEdition(services_.Files, Edit1.Text)) {
    ShowErrorBox(services_.Boxes, EDefinitiveEdition(Edit1.Text).Text());
    Button4Click();
  } else if (services_.Files.FileExists(candidate)) {
    OpenArchive(candidate);
  } else {
    Button4Click();
  }
}

void TForm1::InstallPackage(TRestorePoint* done) {
  const TRunningFlag running(Installing);
  TWindowProgress progress(ProgressBar1, services_.Pump);
  // The run reads the game folder once, so everything goes to one game.
  TInstallRequest request = Request;
  request.ProgramPath = services_.ProgramPath;
  request.ProgramCopyFolder = services_.ProgramCopyFolder;
  bool replaceLines = ReplaceLines, anyEdition = AnyEdition, pastLimits = PastLimits;
  // A refusal changes nothing: on the pages the player decides and the run starts again,
  // unattended the switches did.
  for (;;) {
    try {
      TInstallation installation(
          request, Edit1.Text,
          {services_.Files, *notices_, progress, &services_.Registry, services_.Apps});
      if (replaceLines) installation.AllowConflicts();
      if (anyEdition) installation.AllowUnknownEdition();
      if (pastLimits) installation.AllowPastLimits();
      installation.Run();
      if (done && installation.Point()) *done = *installation.Point();
      return;
    } catch (const EItemConflicts& conflicts) {
      if (Unattended ||
          !services_.Boxes.Ask(conflicts.Message() + "\n\nInstall the mod anyway?", TAnswer::kYes))
        throw;
      replaceLines = true;
    } catch (const EWrongEdition& edition) {
      if (Unattended || !edition.Unknown || !services_.Boxes.Ask(edition.Question, TAnswer::kYes))
        throw;
      anyEdition = true;
    } catch (const EPastLimits& limits) {
      // Yes would let the game crash at start: No is what Enter says.
      if (Unattended || !services_.Boxes.Ask(limits.Question, TAnswer::kNo)) throw;
      pastLimits = true;
    }
  }
}

void TForm1::OpenArchive(const std::string& path) {
  if (!merva::OpenArchive(Archive, path, services_.Files))
    ShowErrorBox(services_.Boxes, MissingArchiveText(path));
}

void TForm1::Image4Click() {
  if (Installing) return;  // the run is still working on the archive
  // Still on the installing page, the run failed: Next runs it again, never past it to the
  // finish page, which would tell a failure as done.
  if (!BrowseCancelled && Step != kInstallingPage) ++Step;
  if (Step == kPastFinishPage) {
    Step = kFinishPage;
    Close();
  }
  ShowStep();
}

void TForm1::Image3Click() {
  if (Installing) return;
  --Step;
  if (Step == kRefusalPage) Step = kWelcomePage;
  ShowStep();
}

void TForm1::Image5Click() {
  Close();
}

void TForm1::CheckBox1Click() {
  ShowStep();
}

void TForm1::Button4Click() {
  std::string folder;
  if (services_.FolderDialog.SelectFolder(kFolderDialogCaption, u"", folder)) {
    Edit1.Text = folder;
    OpenArchive(ArchivePathOf(folder));
    BrowseCancelled = false;
  } else {
    BrowseCancelled = true;
  }
}

void TForm1::Image2Click() {
  services_.Shell.OpenUrl(kFirstSiteUrl);
}

void TForm1::Image6Click() {
  services_.Shell.OpenUrl(kKestrinUrl);
}

}  // namespace merva
