#pragma once

#include "platform/WindowDirectory.h"
#include "skin/BaseWnd.h"

class CLogInWnd;
class CReadyWnd;
class CSwitchManager;
class CWaitingWnd;
class CWorkPage;

// The work panel container over the main window's content area: the progress window, the login
// window and the signed-in page take turns, with a slide between them and a busy overlay.
class CAgentPanel : public CBaseWnd, public hv::MessageTarget {
  Q_OBJECT
 public:
  static constexpr unsigned WM_PANEL_BUSY = 0x0400 + 7025;
  static constexpr unsigned WM_SWITCH_ENDED = 0x0400 + 1003;
  static constexpr int kBusyFadeMs = 300;

  explicit CAgentPanel(QWidget* parent = nullptr);
  ~CAgentPanel() override;

  intptr_t HandleMessage(unsigned msg, uintptr_t wParam, intptr_t lParam) override;

  // Shows the page of the step (1 progress, 2 login, 3 work).
  void SwitchPage(int step);
  int CurrentStep() const { return m_step; }

  CReadyWnd* ReadyWnd() const { return m_ready; }
  CLogInWnd* LogInWnd() const { return m_login; }
  CWorkPage* WorkPage() const { return m_work; }
  CWaitingWnd* BusyOverlay() const { return m_busy; }

 protected:
  void Initialize() override;
  void RecalcLayout(int width, int height) override;

 private:
  QWidget* PageOf(int step) const;
  void ShowBusy(bool show, int kind);

  CReadyWnd* m_ready = nullptr;
  CLogInWnd* m_login = nullptr;
  CWorkPage* m_work = nullptr;
  CSwitchManager* m_switch = nullptr;
  CWaitingWnd* m_busy = nullptr;
  QString m_busyTitles[4];
  QString m_busyText;
  int m_step = 0;
};
