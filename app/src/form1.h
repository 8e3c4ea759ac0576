#pragma once

#include "common_dialog.h"

#include <platform/component/connection.h>
#include <platform/component/dispatch.h>
#include <platform/runtime_error.h>

#include <QFileSystemWatcher>
#include <QPixmap>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class ProgressWindow;

// Talhaz's one window: three text fields, eight labels and six buttons over
// the window picture, the hosted FileSplit instance `split` that does all the
// work on files, and the file-dialog object `cd`. A click on "Dividir" or
// "Juntar" returns when the work has ended; meanwhile `split` works on a
// thread of its own and the window goes on being served from its Progress
// event, so it repaints and takes a cancel whatever the disk does.
class Form1 : public QWidget {
  Q_OBJECT

 public:
  // Builds the window in its initial state and creates `split` through the
  // component registry from the window's saved layout. Raises RuntimeError
  // (429 with the cause) when the component cannot be created.
  Form1();
  ~Form1() override;

  // Shows the window at once, then, from the event loop, loads the file that
  // the program's arguments (the bytes as given) name with Form_Load. An
  // argument that is not valid text is refused with error 52.
  void Start(const std::vector<QByteArray>& arguments);
  // The load handler: takes the program's arguments joined by single spaces
  // and, when they name a regular file that reads through, loads it into the
  // window. A long check shows its progress and may be cancelled, which
  // loads nothing.
  void Form_Load(const QString& argumentText);
  // Tells the user, in the load handler's own box, why a file named at
  // start-up was not loaded.
  void ReportLoadFailure(const platform::RuntimeError& error);

  CommonDialog& cd() { return cd_; }
  platform::Dispatch& split() { return *split_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  // While work runs, closing cancels it first, as Cancelar does; the window
  // closes once the work has cleaned up.
  void closeEvent(QCloseEvent* event) override;
  // The window coming to the front re-checks "Abrir Ficheiro".
  bool event(QEvent* event) override;
  // A file dropped on the window, fields included, is taken as the input.
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void BuildControls();
  void ConnectHandlers();

  // The six commands.
  void Command1_Click();
  void Command2_Click();
  void Command3_Click();
  void Command4_Click();
  void Command5_Click();
  void Command6_Click();

  // The reactions to the three text fields: the size display and the
  // tooltips; a change of the input field, however made, also sets the
  // output field and the caption from it.
  void Text1_Change();
  void Text2_Change();
  void Text3_Change();
  void RecomputeSizePerPart();
  // Label6 for a size in the parts field: how many parts of what size the
  // split makes of the input.
  void ShowFitOfInput(double limit);
  // Label6 for a number of parts that the split does not make as typed.
  void ShowSplitOfInput();
  // The part size limit in bytes when the parts field holds a size or a
  // medium; nothing when it holds a number of parts.
  std::optional<double> PartSizeLimitOf();

  void LoadFileArgument(const QString& path);
  // Makes `path` the input, its output derived from it, and enables the
  // commands that need a file.
  void TakeInputFile(const QString& path);

  // Puts the three fields into `split`, in the order input, output, parts,
  // and where a split writes the set (SetFolder). Without parts, the
  // component's number of parts is left as it is.
  void PutProperties(std::optional<std::int16_t> parts);
  // The folder a split writes the set into: the output field's, when it
  // names another folder than the input's (a file chosen on a stick with the
  // second "..."); the input's otherwise. The set keeps the input's name.
  QString SetFolder() const;
  // "Dividir" with a size in the parts field: the fewest parts of at most
  // `limit` bytes, or a box saying the size is too small for the input.
  void SplitToFit(double limit);
  // Calls Split or Join with a busy cursor and, when it runs long, the
  // progress window titled `title`; true when the work was done, false when
  // it was not or the user cancelled it.
  bool CallOperation(platform::DispatchId id, const QString& title);
  // Runs `work` with the progress window titled `title` current; closes the
  // form afterwards when that was asked for meanwhile.
  void WithProgress(const QString& title, const std::function<void()>& work);
  // Connects to the component's events.
  void ConnectEvents();
  // The component's Progress event: shown in the current progress window.
  void Progress(std::span<platform::Variant> arguments);
  // The completion box's second line after a join that `split` verified
  // against a checksum file, naming that file; empty otherwise.
  QString VerificationLine();
  // The completion box's lines after a join that rebuilt fragments from the
  // recovery data: "filme.avi.2 reconstruído com filme.avi.par2", a line each.
  QString RebuiltLines();
  // Asks the component for recovery data in a split of `parts` fragments:
  // what the menu chose, at most one part's worth per fragment.
  void PutRecovery(std::int32_t parts);
  // After a split of the input into `parts` fragments: the completion box,
  // and the output field naming the set when it went to another folder.
  void SplitDone(std::int32_t parts);
  // The completion box's second line after a split of the input into
  // `parts`: how many, in which folder, and the checksum file when there is one.
  QString SplitLine(std::int32_t parts);

  QPixmap picture_;
  CommonDialog cd_;
  platform::Ref<platform::Dispatch> split_;
  std::unique_ptr<platform::EventConnection> events_;
  ProgressWindow* progress_ = nullptr;  // while work runs
  bool closeWanted_ = false;
  int recovery_ = 0;  // parts' worth of recovery data a split writes, from the parts field's menu

  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* Label4 = nullptr;
  QLabel* Label5 = nullptr;
  QLabel* Label6 = nullptr;
  QLabel* Label7 = nullptr;
  QLabel* Label8 = nullptr;
  QLineEdit* Text1 = nullptr;
  QLineEdit* Text2 = nullptr;
  QLineEdit* Text3 = nullptr;
  QPushButton* Command1 = nullptr;
  QPushButton* Command2 = nullptr;
  QPushButton* Command3 = nullptr;
  QPushButton* Command4 = nullptr;
  QPushButton* Command5 = nullptr;
  QPushButton* Command6 = nullptr;

  // "Abrir Ficheiro" offers the file the last join made while the output
  // field names it and it is there: re-checked when the field changes, the
  // file changes or the window comes to the front.
  void RememberJoinedFile(const QString& path);
  void UpdateCommand6();
  // Tells the user, once the opener of `name` has said so on `descriptor`,
  // that no application could open it; the window never waits for that.
  void WatchOpener(int descriptor, const QString& name);

  QString joinedFile_;  // empty when none is offered
  QFileSystemWatcher joinedWatch_;
};
