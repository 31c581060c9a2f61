#pragma once

#include <QString>

#include <atomic>

// Process-wide state every window and worker looks at. Created first at start, deleted first
// at exit.
struct GlobalData {
  QString AppName = QStringLiteral("Helvora Agent");  // title of every message box
  int SupportKindMask = 7;                             // bits 1, 2, 4: the three support kinds
  std::atomic<int> Step{0};                            // 0 none, 1 update, 2 login, 3 work
  std::atomic<bool> ExitRequested{false};              // ending for an update: no close question
  std::atomic<bool> m_bClose{false};                   // closing: workers and deferred work stop
  std::atomic<bool> PanelBusy{false};                  // the work panel shows its busy overlay
};

extern GlobalData* g_pGlobalData;

// Steps of the main window.
enum AgentStep : int { AgentStepNone = 0, AgentStepUpdate = 1, AgentStepLogin = 2, AgentStepWork = 3 };

// True when the process is closing (also when the global record is already gone).
inline bool IsClosing() { return !g_pGlobalData || g_pGlobalData->m_bClose.load(); }
