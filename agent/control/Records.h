#pragma once

#include <QString>

#include <cstdint>

// Records handed between the control object, the windows and the session list.

// One running session as the session list keeps it.
struct SessionItemInfo {
  int Kind = 0;  // 0 lookup, 1 chat, 2 viewer, 8 and 32 further viewer states
  QString RoomID;
  QString GUID;
  qint64 Window = 0;  // message-bus handle of the viewer's or chat program's main window
  QString CustomerName;
  bool Flag1 = false;
  bool Flag2 = false;
};

// A message box a producer asks the main window to show (WM_SHOW_MESSAGEBOX). Heap-allocated
// by the producer; the main window deletes it after showing it.
struct MessageBoxRequest {
  QString Title;
  QString Message;
  int Style = 64;  // 16 error, 48 warning, 64 information, 36 yes/no question, 1 OK/Cancel
};

// Auto-login hand-over: from the command line or the "AutoLoginParam" setting.
struct AutoLoginInfo {
  bool Flag = false;
  QString ParamText;
  QString ID;
  QString Password;
  QString PhoneNumber;
  QString UserID;
  int Mode = 0;  // 0 normal, 1 external user, 2 external group
};
