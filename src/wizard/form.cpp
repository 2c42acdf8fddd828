#include "wizard/form.h"

#include <new>

#include "core/environment.h"
#include "core/errors.h"
#include "package/install.h"
#include "resources/layout.h"
#include "restore/level_value.h"
#include "script/level_gate.h"

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
    notices_.Notice(notice.Kind(), notice.Message());
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
  LoadScript();
  Label2.Text = Script.Title;
  ShowStep();
}

void TForm1::LoadScript() {
  merva::LoadScript(Script, services_.Files, notices_, [this](const std::string& level) {
    // Level "0" is taken without the registry; any other is read before and after the check,
    // so that the restore point can put the value back.
    const bool reads = level != "0";
    if (reads) Level.Before = ReadLevelValue(services_.Registry);
    if (CheckInstalledLevel(level, {services_.Registry, services_.Locale}) == TLevelCheck::kRefused)
      Step = kRefusalPage;
    if (reads) Level.After = ReadLevelValue(services_.Registry);
    Level.Checked = reads;
  });
}

void TForm1::ShowStep() {
  switch (Step) {
    case kRefusalPage:
      BrowseCancelled = false;
      Script.FinishText = Script.RefusalText;
      Image3.Visible = false;
      Image3.Enabled = false;
      Edit1.Visible = false;
      Button4.Visible = false;
      Image4.Visible = true;
      Image4.Enabled = true;
      Image5.Visible = false;
      Image5.Enabled = false;
      CheckBox1.Visible = false;
      ProgressBar1.Visible = false;
      // The one jump between pages: the refusal page is the finish page with the refusal text.
      Step = kFinishPage;
      ShowStep();
      break;
    case kWelcomePage:
      BrowseCancelled = false;
      Label1.Text = Script.WelcomeText;
      Image3.Visible = false;
      Image3.Enabled = false;
      Edit1.Visible = false;
      Button4.Visible = false;
      Image4.Enabled = true;
      Image5.Enabled = true;
      CheckBox1.Text = Script.AgreeCaption;
      CheckBox1.Visible = false;
      ProgressBar1.Visible = false;
      break;
    case kAgreementPage:
      BrowseCancelled = false;
      Image4.Enabled = false;
      Edit1.Visible = false;
      Button4.Visible = false;
      Image3.Visible = true;
      Image3.Enabled = true;
      Label1.Text = Script.AgreementText;
      CheckBox1.Visible = true;
      if (CheckBox1.Checked) Image4.Enabled = true;
      break;
    case kFolderPage:
      ProgressBar1.Visible = false;
      CheckBox1.Visible = false;
      Label1.Text = Script.FolderText;
      Edit1.Visible = true;
      Button4.Visible = true;
      FolderCheck();
      break;
    case kInstallingPage:
      Image5.Visible = true;
      Image5.Enabled = true;
      Edit1.Visible = false;
      Button4.Visible = false;
      Label1.Text = Script.ProgressText;
      ProgressBar1.Visible = true;
      InstallPackage();
      Step = kFinishPage;
      ShowStep();
      break;
    case kFinishPage:
      ProgressBar1.Visible = false;
      Label1.Text = Script.FinishText;
      Image5.Visible = false;
      Image5.Enabled = false;
      Image3.Visible = false;
      Image3.Enabled = false;
      break;
    default:
      break;
  }
}

void TForm1::FolderCheck() {
  const std::string candidate = ArchivePathOf(Edit1.Text);
  if (services_.Files.FileExists(candidate)) {
    ArchivePath = candidate;
    OpenArchive(ArchivePath);
  } else {
    Button4Click();
  }
}

void TForm1::InstallPackage() {
  const TRunningFlag running(Installing);
  // The run reads the game folder once, so everything goes to one game.
  const TRestoreRequest restore{services_.RestoreFolder, Script.Title, LocalTimeText(), Level};
  merva::InstallPackage(Script, Archive, Package, Edit1.Text,
                        {services_.Files, notices_, services_.Pump, ProgressBar1,
                         services_.RestoreFolder.empty() ? nullptr : &restore});
}

void TForm1::OpenArchive(const std::string& path) {
  if (!merva::OpenArchive(Archive, path, services_.Files))
    ShowErrorBox(services_.Boxes, MissingArchiveText(path));
}

void TForm1::Image4Click() {
  if (Installing) return;  // the run is still working on the archive
  if (!BrowseCancelled) ++Step;
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
    ArchivePath = ArchivePathOf(folder);
    OpenArchive(ArchivePath);
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
