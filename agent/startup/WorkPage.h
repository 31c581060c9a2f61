#pragma once

#include "skin/BaseWnd.h"

class QLabel;
class QPushButton;

// The signed-in page: who is signed in, that the console is present on the service, and the
// logout command. The standby panel takes its place once the work panels exist.
class CWorkPage : public CBaseWnd {
  Q_OBJECT
 public:
  explicit CWorkPage(QWidget* parent = nullptr);
  void Refresh();
  QString AgentName() const;

 protected:
  void Initialize() override;
  void showEvent(QShowEvent* event) override;

 private:
  QLabel* m_name = nullptr;
  QLabel* m_state = nullptr;
  QLabel* m_server = nullptr;
  QPushButton* m_logout = nullptr;
};
