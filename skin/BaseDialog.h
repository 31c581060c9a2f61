#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class QVBoxLayout;

// The console's modal dialog frame: a title bar, the content, and up to three buttons
// (commands 1031, 1032, 1033). The frame adds 52 px to the content's width and 125 px to its
// height, so a content of a given size always gets the same dialog.
class CBaseDialog : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kButton1 = 1031;
  static constexpr int kButton2 = 1032;
  static constexpr int kButton3 = 1033;
  static constexpr int kExtraWidth = 52;
  static constexpr int kExtraHeight = 125;

  explicit CBaseDialog(QWidget* parent = nullptr);

  void SetTitle(const QString& title);
  // An empty text hides that button. The first visible button is the default.
  void SetButtonText(const QString& first, const QString& second = QString(), const QString& third = QString());
  void EnableButton(int command, bool enable);
  QPushButton* Button(int command) const;
  // Takes ownership of the content and sizes the frame around it.
  void SetContent(QWidget* content);
  QWidget* Content() const { return m_content; }
  // Modal run; the result is the command of the pressed button, IDCANCEL (2) on Escape/close.
  int Show();

 signals:
  void commandPressed(int command);

 protected:
  // Default: the first button accepts, the others cancel. Override to validate first.
  virtual void OnButton(int command);
  virtual void OnOK();
  virtual void OnCancel();
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QLabel* m_title;
  QWidget* m_content = nullptr;
  QVBoxLayout* m_body;
  QPushButton* m_buttons[3];
  QPoint m_dragOffset;
  bool m_dragging = false;
};
