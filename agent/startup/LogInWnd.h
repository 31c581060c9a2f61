#pragma once

#include "platform/WindowDirectory.h"
#include "skin/BaseWnd.h"

#include <QString>

#include <atomic>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QThread;

// The login window: ID and password, the two remembered choices, the find-ID link and the login
// button. It starts the login thread and evaluates its outcome (WM_LOGIN_COMPLATE).
class CLogInWnd : public CBaseWnd, public hv::MessageTarget {
  Q_OBJECT
 public:
  enum Control : int {
    kFindIdPwd = 2020,
    kSaveIdPwd = 2021,
    kAutoReady = 2022,
    kLogin = 2023,
    kIdEdit = 2024,
    kPasswordEdit = 2025,
  };
  static constexpr unsigned WM_GET_LOGIN_ID = 0x0400 + 7012;

  explicit CLogInWnd(QWidget* parent = nullptr);
  ~CLogInWnd() override;

  intptr_t HandleMessage(unsigned msg, uintptr_t wParam, intptr_t lParam) override;

  // Login button rule: login step, an ID, and a password of more than 2 characters.
  bool CanLogin() const;
  void UpdateLoginButton();
  // The login button / Enter / WM_LOGIN_START.
  void StartLogin();

  bool LoginBusy() const { return m_loginBusy.load(); }
  int LoginCode() const { return m_loginCode.load(); }
  QString EnteredID() const { return m_enteredID; }

  QLineEdit* IdEdit() const { return m_id; }
  QLineEdit* PasswordEdit() const { return m_password; }
  QPushButton* LoginButton() const { return m_login; }
  QCheckBox* SaveAccountCheck() const { return m_saveAccount; }
  QCheckBox* AutoReadyCheck() const { return m_autoReady; }

 protected:
  void Initialize() override;
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void OnLoginComplete(bool onlyReset);
  void OnFindIdPwd();
  void RunLoginThread();
  void RunUpdateCheckThread();
  void ClearPassword(bool alsoId);

  QLineEdit* m_id = nullptr;
  QLineEdit* m_password = nullptr;
  QPushButton* m_findId = nullptr;
  QCheckBox* m_saveAccount = nullptr;
  QCheckBox* m_autoReady = nullptr;
  QPushButton* m_login = nullptr;
  QLabel* m_heading = nullptr;

  QString m_enteredID, m_enteredPassword, m_previousID, m_previousPassword;
  std::atomic<bool> m_loginBusy{false};
  std::atomic<int> m_loginCode{0};
  QThread* m_loginThread = nullptr;
  QThread* m_updateThread = nullptr;
  QString m_idForSend;
  bool m_autoStartPending = true;
};
