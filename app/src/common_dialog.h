#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QWidget;

// The window's one file-dialog object: it shows the open and the save dialog
// and keeps one file name between them. The name starts empty, becomes the
// full path of whatever the user picks in either dialog, and stays as it was
// when the user cancels.
class CommonDialog {
 public:
  enum class Kind { Open, Save };

  // What answers a dialog: the picked path, or nothing when cancelled. The
  // default shows the real dialog; tests put their own answers here.
  using Chooser = std::function<std::optional<QString>(Kind kind, const QString& fileName,
                                                       const QStringList& nameFilters)>;

  // "Description (pattern)" entries in order: "Dividir Ficheiros (*.*)",
  // "Juntar Ficheiro (*.1)". Parsed from the filter text given.
  explicit CommonDialog(const QString& filter);

  const QString& FileName() const { return fileName_; }
  const QStringList& NameFilters() const { return nameFilters_; }

  // Shows the open dialog (a typed name of a missing file is accepted) or the
  // save dialog (an existing file is chosen without a warning), starting from
  // the current name with the first filter selected.
  void ShowOpen(QWidget* owner);
  void ShowSave(QWidget* owner);

  void SetChooser(Chooser chooser) { chooser_ = std::move(chooser); }

 private:
  void Show(Kind kind, QWidget* owner);

  QString fileName_;
  QStringList nameFilters_;
  Chooser chooser_;
};

// The real dialog, as ShowOpen and ShowSave present it: not yet shown, owned
// by the caller. In it "*.*" lists every file, names without a dot included.
class QFileDialog;
QFileDialog* MakeFileDialog(CommonDialog::Kind kind, const QString& fileName,
                            const QStringList& nameFilters, QWidget* owner);
