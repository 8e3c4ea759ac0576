#include "common_dialog.h"

#include <QComboBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QStyle>
#include <QTreeView>

#include <algorithm>
#include <memory>
#include <optional>

namespace {

constexpr QChar kFilterSeparator = u'|';

// Parts of Qt's widget-based file dialog, found by their object names.
constexpr char kFileTypeComboName[] = "fileTypeCombo";
constexpr char kFileNameEditName[] = "fileNameEdit";
constexpr char kDetailViewName[] = "treeView";
constexpr char kButtonBoxName[] = "buttonBox";

// "Description (pattern)": the description as given when it already ends
// with its pattern in parentheses, which is also where Qt reads the pattern.
QString NameFilter(const QString& description, const QString& pattern) {
  const QString shownPattern = u'(' + pattern + u')';
  return description.endsWith(shownPattern) ? description : description + u' ' + shownPattern;
}

// "description|pattern|description|pattern|": one name filter a pair, in
// order. An unpaired last part adds nothing; an empty description ends the list.
QStringList ParseFilter(const QString& filter) {
  const QStringList parts = filter.split(kFilterSeparator);
  QStringList nameFilters;
  for (qsizetype i = 0; i + 1 < parts.size() && !parts[i].isEmpty(); i += 2)
    nameFilters.append(NameFilter(parts[i], parts[i + 1]));
  return nameFilters;
}

// True when a filter with these patterns lists every file. In Qt "*.*" only
// matches names holding a dot; here it stands for all files, as "*" does.
bool ListsEveryFile(const QStringList& patterns) {
  return std::any_of(patterns.begin(), patterns.end(), [](const QString& pattern) {
    return pattern == u"*.*" || pattern == u"*";
  });
}

// Lists what the selected filter promises: folders always, every file while
// its pattern is "*.*", otherwise the files its patterns match. The file
// system model is told to disable rather than hide the names its filters
// miss, so that a dot-less name is still there for "*.*" to list; the
// patterns are read from the model, where the dialog keeps them current.
class FilterProxy final : public QSortFilterProxyModel {
 public:
  using QSortFilterProxyModel::QSortFilterProxyModel;

  void setSourceModel(QAbstractItemModel* source) override {
    files_ = qobject_cast<QFileSystemModel*>(source);
    if (files_ != nullptr) files_->setNameFilterDisables(true);
    QSortFilterProxyModel::setSourceModel(source);
  }

  // Sorting stays the file system model's (folders first, then names).
  void sort(int column, Qt::SortOrder order) override {
    if (sourceModel() != nullptr) sourceModel()->sort(column, order);
  }

  // Whatever is listed can be picked.
  Qt::ItemFlags flags(const QModelIndex& index) const override {
    const Qt::ItemFlags flags = QSortFilterProxyModel::flags(index);
    return index.isValid() ? flags | Qt::ItemIsEnabled : flags;
  }

 protected:
  bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
    if (files_ == nullptr) return true;
    const QModelIndex index = files_->index(row, 0, parent);
    if (files_->isDir(index) || ListsEveryFile(files_->nameFilters())) return true;
    return files_->flags(index).testFlag(Qt::ItemIsEnabled);
  }

 private:
  QFileSystemModel* files_ = nullptr;  // owned by the dialog, as this proxy is
};

// Keeps the save dialog's name as it was when the user switches filters:
// Qt would give it the new pattern's extension ("film.avi" becomes "film.*").
// Every switch by the user starts with a press, key or wheel on the filter
// list, so the name is taken then and put back once the filter is selected.
class NameKeeper final : public QObject {
 public:
  NameKeeper(QFileDialog* dialog, QComboBox* fileTypes, QLineEdit* name)
      : QObject(dialog), name_(name) {
    fileTypes->installEventFilter(this);
    connect(dialog, &QFileDialog::filterSelected, this, [this] {
      if (nameBeforeSwitch_ && name_->text() != *nameBeforeSwitch_) name_->setText(*nameBeforeSwitch_);
    });
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::KeyPress:
      case QEvent::Wheel:
        nameBeforeSwitch_ = name_->text();
        break;
      default:
        break;
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  QLineEdit* name_;  // a part of the dialog, which owns this keeper too
  std::optional<QString> nameBeforeSwitch_;
};

void KeepNameAcrossFilterSwitches(QFileDialog* dialog) {
  auto* fileTypes = dialog->findChild<QComboBox*>(kFileTypeComboName);
  auto* name = dialog->findChild<QLineEdit*>(kFileNameEditName);
  if (fileTypes != nullptr && name != nullptr) new NameKeeper(dialog, fileTypes, name);
}

// Where a name typed with a double quote leads: exactly that name, in the
// folder shown unless it is absolute. Nothing for a name without one.
std::optional<QString> QuotedNamePath(const QFileDialog& dialog) {
  const auto* name = dialog.findChild<QLineEdit*>(kFileNameEditName);
  if (name == nullptr || !name->text().contains(u'"')) return std::nullopt;
  return dialog.directory().absoluteFilePath(name->text());
}

// Takes a name typed with a double quote as that one name. Qt reads double
// quotes in the name field as a list of quoted names ("a" "b") and picks
// the first, or a listed file one of them names; here such a name is picked
// whole, or entered when it names a folder, as Qt enters a typed folder.
// Names without a double quote are Qt's to read. The save dialog never asks
// before choosing an existing file, so neither does this.
class FileDialog final : public QFileDialog {
 public:
  using QFileDialog::QFileDialog;

  void accept() override {
    const std::optional<QString> path = QuotedNamePath(*this);
    if (!path) return QFileDialog::accept();
    if (QFileInfo(*path).isDir()) return setDirectory(*path);
    QDialog::accept();
  }
};

// Keeps the accept button enabled while the name holds a double quote: Qt
// judges the name by its own reading as a list, in which "cassete 8\""
// names nothing, and sets the button on each change of the name; this runs
// after it. Called once the accept mode is set: Qt makes an accept button
// for each mode.
void EnableAcceptForQuotedNames(QFileDialog* dialog) {
  const auto* buttons = dialog->findChild<QDialogButtonBox*>(kButtonBoxName);
  const auto* name = dialog->findChild<QLineEdit*>(kFileNameEditName);
  if (buttons == nullptr || name == nullptr) return;
  const bool open = dialog->acceptMode() == QFileDialog::AcceptOpen;
  QPushButton* accept = buttons->button(open ? QDialogButtonBox::Open : QDialogButtonBox::Save);
  if (accept == nullptr) return;
  QObject::connect(name, &QLineEdit::textChanged, accept, [accept](const QString& text) {
    if (text.contains(u'"')) accept->setEnabled(true);
  });
}

// Starts from `fileName`: in its folder when that exists, with its name in
// the name field. An empty name leaves the dialog where Qt starts it.
void StartFrom(QFileDialog* dialog, const QString& fileName) {
  if (fileName.isEmpty()) return;
  const QFileInfo info(fileName);
  const bool inExistingFolder = fileName.contains(u'/') && info.absoluteDir().exists();
  dialog->selectFile(inExistingFolder ? info.absoluteFilePath() : info.fileName());
}

// The detail view's columns, as the file system model numbers them.
enum DetailColumn { kNameColumn, kSizeColumn, kTypeColumn, kDateColumn };

// The widest size or date the file system model commonly writes, in the
// system locale as it does; no text for the other columns.
QString WidestText(int column) {
  const QLocale locale = QLocale::system();
  if (column == kSizeColumn) return locale.formattedDataSize((qint64{1023} << 20) + (1013 << 10));
  if (column != kDateColumn) return {};
  return locale.toString(QDateTime(QDate(2000, 12, 28), QTime(23, 59, 59)), QLocale::ShortFormat);
}

// Makes the dialog wide enough for the columns of its detail view whole. Qt
// gives the size, type and date fixed widths that cut many entries; each
// gets what its widest entry or its heading needs, and the name keeps the
// width Qt (or the user's last dialog) gave it. The dialog then widens,
// never past the screen, until the columns fit beside the scroll bar the
// listing needs. Done as the dialog shows, when its layout has placed the
// view, for the widest size and date the locale writes; then once more when
// its first folder is listed, for the entries themselves (a type's text is
// known only then).
class WidthKeeper final : public QObject {
 public:
  explicit WidthKeeper(QFileDialog* dialog) : QObject(dialog), dialog_(dialog) {
    dialog->installEventFilter(this);
    if (const auto* files = dialog->findChild<QFileSystemModel*>()) {
      listed_ =
          connect(files, &QFileSystemModel::directoryLoaded, this, [this](const QString& folder) {
            if (QDir(folder) != dialog_->directory()) return;
            disconnect(listed_);
            Widen();
          });
    }
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == dialog_ && event->type() == QEvent::Show) {
      dialog_->removeEventFilter(this);
      Widen();
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  void Widen() {
    auto* view = dialog_->findChild<QTreeView*>(kDetailViewName);
    if (view == nullptr || view->header()->count() <= kDateColumn) return;
    QHeaderView* header = view->header();
    const QAbstractItemView* entries = view;  // where measuring them is public
    // An entry's text has a margin on either side, as the item views draw it.
    const int margins =
        2 * (view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1);
    for (const int column : {kSizeColumn, kTypeColumn, kDateColumn}) {
      const int needed =
          std::max({header->sectionSizeHint(column), entries->sizeHintForColumn(column),
                    view->fontMetrics().horizontalAdvance(WidestText(column)) + margins});
      if (header->sectionSize(column) < needed) header->resizeSection(column, needed);
    }
    int room = view->viewport()->width();
    if (!view->verticalScrollBar()->isVisible()) {
      room -= view->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, view);
    }
    if (header->length() <= room) return;
    int width = dialog_->width() + header->length() - room;
    if (const QScreen* screen = dialog_->screen()) {
      width = std::min(width, screen->availableSize().width());
    }
    if (width > dialog_->width()) dialog_->resize(width, dialog_->height());
  }

  QFileDialog* dialog_;  // which owns this keeper
  QMetaObject::Connection listed_;
};

// Shows the real dialog modally: the picked path, or nothing when cancelled.
std::optional<QString> RunFileDialog(CommonDialog::Kind kind, const QString& fileName,
                                     const QStringList& nameFilters, QWidget* owner) {
  const std::unique_ptr<QFileDialog> dialog(MakeFileDialog(kind, fileName, nameFilters, owner));
  if (dialog->exec() != QDialog::Accepted) return std::nullopt;
  const QString picked = QuotedNamePath(*dialog).value_or(dialog->selectedFiles().value(0));
  if (picked.isEmpty()) return std::nullopt;
  return picked;
}

}  // namespace

CommonDialog::CommonDialog(const QString& filter) : nameFilters_(ParseFilter(filter)) {}

void CommonDialog::ShowOpen(QWidget* owner) { Show(Kind::Open, owner); }

void CommonDialog::ShowSave(QWidget* owner) { Show(Kind::Save, owner); }

void CommonDialog::Show(Kind kind, QWidget* owner) {
  const std::optional<QString> picked = chooser_
                                            ? chooser_(kind, fileName_, nameFilters_)
                                            : RunFileDialog(kind, fileName_, nameFilters_, owner);
  if (picked) fileName_ = *picked;
}

QFileDialog* MakeFileDialog(CommonDialog::Kind kind, const QString& fileName,
                            const QStringList& nameFilters, QWidget* owner) {
  auto* dialog = new FileDialog(owner);
  // First, so that the widgets and the file system model the proxy wraps
  // exist, and so that the dialog behaves the same on every desktop.
  dialog->setOption(QFileDialog::DontUseNativeDialog);
  dialog->setProxyModel(new FilterProxy(dialog));
  dialog->setFileMode(QFileDialog::AnyFile);
  if (kind == CommonDialog::Kind::Open) {
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
  } else {
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setOption(QFileDialog::DontConfirmOverwrite);
    KeepNameAcrossFilterSwitches(dialog);
  }
  EnableAcceptForQuotedNames(dialog);
  // The filter before the name: selecting a filter rewrites the extension
  // of a name already in a save dialog.
  if (!nameFilters.isEmpty()) {
    dialog->setNameFilters(nameFilters);
    dialog->selectNameFilter(nameFilters.first());
  }
  StartFrom(dialog, fileName);
  new WidthKeeper(dialog);
  return dialog;
}
