// The wizard started with /undo: one question, the progress bar while the installation is taken
// back, one box with the result.
#include <memory>

#include "operations/undo_request.h"
#include "wizard/form.h"

namespace merva {

void TForm1::UndoCreate(const std::string& gameFolder, const std::string& pointName) {
  Close();  // whatever happens, the window closes once this ends
  Step = kFinishPage;
  for (TControl* hidden :
       {&Image3, &Image4, &Image5, &Edit1, &Button4, static_cast<TControl*>(&CheckBox1),
        static_cast<TControl*>(&ProgressBar1)})
    hidden->Visible = false;
  TWindowProgress progress(ProgressBar1, services_.Pump);
  std::unique_ptr<TUndo> undo;  // holds the game's lock: one run on this game until it ends
  TUndoPlan plan;
  try {
    undo = StartUndo({services_.RestoreFolder, gameFolder, pointName},
                     {services_.Files, *notices_, progress, &services_.Registry, services_.Apps});
    // What later installations keep is told in the question; a later point that cannot be
    // read refuses before anything is asked.
    plan = undo->Plan();
  } catch (const Exception& none) {
    services_.Boxes.Show(TBoxKind::kPlain, none.Message());
    return;
  }
  const TRestorePoint& point = undo->Point();
  Label2.Text = point.Title;
  Label1.Text = UndoQuestion(point, plan);
  if (!services_.Boxes.Ask(Label1.Text, TAnswer::kYes)) return;

  Label1.Text = "Taking back \"" + point.Title + "\"...";
  ProgressBar1.Visible = true;
  TUndoResult result;
  TUndoChoices choices;
  try {
    for (;;) {
      try {
        const TRunningFlag running(Installing);
        result = undo->Run(choices);
        break;
      } catch (const EGameFilesEdited& edited) {
        // The player's own work: asked once, and kept whatever the answer.
        if (choices.KeepEdited ||
            !services_.Boxes.Ask(edited.Summary + " Take the installation back all the same? " +
                                     "Your versions will be kept in " + edited.KeptIn + ".",
                                 TAnswer::kYes))
          throw;
        choices.KeepEdited = true;
      }
    }
  } catch (const Exception& error) {
    ProgressBar1.Visible = false;
    Label1.Text = error.Message();
    ShowErrorBox(services_.Boxes, error.Message());
    return;
  }
  ProgressBar1.Visible = false;
  std::string done = UndoDoneText(point, result);
  for (const std::string& remark : UndoRemarks(result)) done += " " + remark;
  Label1.Text = done;
  services_.Boxes.Show(TBoxKind::kPlain, done);
}

}  // namespace merva
