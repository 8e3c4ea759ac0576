#pragma once

#include <QDialog>
#include <QLabel>

class QKeyEvent;
class QMouseEvent;

namespace control {

// A label that reports a click: a left press and release both on the label.
class LinkLabel : public QLabel {
  Q_OBJECT

 public:
  using QLabel::QLabel;

 Q_SIGNALS:
  void clicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  bool pressed_ = false;
};

}  // namespace control

// The About box: the maker's name and two links, one to the maker's web site
// and one to start a mail to the maker. It has no buttons; only its close
// button (or the window manager's close key) closes it, Escape does not. A
// link that cannot be followed shows the "Connection failed" box and leaves
// the dialog open.
class dlgAbout : public QDialog {
  Q_OBJECT

 public:
  explicit dlgAbout(QWidget* parent = nullptr);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void OpenLink(const char* target);
};
