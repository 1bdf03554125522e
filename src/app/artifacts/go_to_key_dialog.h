#pragma once
// GoToKeyDialog: the small non-modal dialog titled "Go to Key" that the main
// window owns: a line where the user types or pastes a key path as reports
// and regedit write it (HKLM\SYSTEM\CurrentControlSet\Services, the hive's
// file name first, ...), and "Go" (Enter). Go announces the path
// (GoRequested); the owner selects the key and answers with ShowMissing:
// nothing missing closes the dialog, otherwise it stays open and says which
// part of the path was not found. Escape or Close closes it. GUI thread only.

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

namespace ui {

class GoToKeyDialog : public QDialog {
  Q_OBJECT

 public:
  explicit GoToKeyDialog(QWidget* owner);

  // Shows the dialog with its text selected and the focus in the line.
  void ShowAndFocus();
  // The answer to GoRequested: missing is the part of the path below the
  // selected key that does not exist; empty closes the dialog.
  void ShowMissing(const QString& missing);

  QLineEdit& PathText() const { return *m_path; }
  QPushButton& GoButton() const { return *m_go; }
  QString Status() const;

 Q_SIGNALS:
  void GoRequested(const QString& path);

 private:
  void Go();

  QLineEdit* m_path = nullptr;
  QLabel* m_status = nullptr;
  QPushButton* m_go = nullptr;
};

// The path in a pasted text: without the spaces around it, and without the
// quotes or the brackets of a .reg file's key line around it.
QString PathOfPastedText(QString text);

}  // namespace ui
