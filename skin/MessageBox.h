#pragma once

#include <QString>

#include <functional>

class QWidget;

// The console's message box: a title, a text, an icon and buttons chosen by the style word
// (OK 0x0, OK/Cancel 0x1, Yes/No 0x4; icons 0x10 error, 0x20 question, 0x30 warning,
// 0x40 information), and an optional "do not ask again" check box.
class CMessageBox {
 public:
  CMessageBox() = default;

  // Adds the check box with this text under the message.
  void SetCheckStyle(const QString& checkText) { m_checkText = checkText; }
  bool IsChecked() const { return m_checked; }

  // Modal; returns IDOK, IDCANCEL, IDYES or IDNO (Escape answers Cancel or No).
  int MessageBoxW(const QString& title, const QString& text, int style, QWidget* owner);

  // Button texts come from the active language; the owner sets them once at start.
  struct ButtonTexts {
    QString ok = QStringLiteral("OK");
    QString cancel = QStringLiteral("Cancel");
    QString yes = QStringLiteral("Yes");
    QString no = QStringLiteral("No");
  };
  static void SetButtonTexts(const ButtonTexts& texts);

  // Test seam: when set, no window opens and this answers instead (it may tick the box).
  using Answerer = std::function<int(const QString& title, const QString& text, int style, bool* checked)>;
  static void SetAnswererForTesting(Answerer answerer);

  // Called whenever a box opens (true) or closes (false), so the owner can track the open one.
  static void SetOpenObserver(std::function<void(QWidget* box, bool open)> observer);
  // Closes the box that is open now, if any, as if Escape had been pressed.
  static void CloseOpenBox();

 private:
  QString m_checkText;
  bool m_checked = false;
};
