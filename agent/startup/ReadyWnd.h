#pragma once

#include "platform/WindowDirectory.h"
#include "skin/BaseWnd.h"

class CSpinner;
class QLabel;
class QPushButton;
class QTimer;

// The progress window: an animation of 12 frames at 83 ms, one status text, and while the
// SessionServer connection is being restored a countdown with a button to give up.
class CReadyWnd : public CBaseWnd, public hv::MessageTarget {
  Q_OBJECT
 public:
  static constexpr int kCancelRestoration = 2032;
  static constexpr int kAnimationMs = 83;
  static constexpr int kCountdownStart = 1000;

  explicit CReadyWnd(QWidget* parent = nullptr);
  ~CReadyWnd() override;

  intptr_t HandleMessage(unsigned msg, uintptr_t wParam, intptr_t lParam) override;

  QString StatusText() const;
  int ReconnectCountdown() const { return m_countdown; }
  bool IsCancelVisible() const;
  bool IsAnimating() const;
  // One countdown tick, as the 1 s timer gives it (tests drive it directly).
  void CountdownTick();
  void LayoutText();

 protected:
  void Initialize() override;
  void RecalcLayout(int width, int height) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void SetReconnectState(bool reconnecting);
  void OnCancelRestoration();

  CSpinner* m_spinner = nullptr;
  QLabel* m_status = nullptr;
  QLabel* m_countdownLabel = nullptr;
  QPushButton* m_cancel = nullptr;
  QTimer* m_animation = nullptr;
  QTimer* m_countdownTimer = nullptr;
  int m_countdown = kCountdownStart;
};
