#pragma once

#include <QWidget>

// Base of every panel and page. The hooks keep the shape the panels are written against:
// Initialize creates children once, RecalcLayout places them whenever the size changes.
class CBaseWnd : public QWidget {
  Q_OBJECT
 public:
  explicit CBaseWnd(QWidget* parent = nullptr);
  ~CBaseWnd() override;

  // Runs Initialize once; safe to call again.
  void Create();

 protected:
  virtual void Initialize() {}
  virtual void UnInitialize() {}
  virtual void RecalcLayout(int width, int height) { Q_UNUSED(width); Q_UNUSED(height); }
  virtual void UpdateFocus() {}
  virtual void TimerFunc(int id) { Q_UNUSED(id); }

  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  bool m_created = false;
};
