#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>

class QLocalServer;

// The per-user message bus: how the console, the viewer, the chat program, the report tool and
// the help window address each other's top-level windows. Each window that others must reach
// opens a BusWindow; it gets a numeric handle (positive, fits a signed 32-bit "%d", unique in
// this user's session) and a socket in the bus folder of hv::paths::RuntimeDir(). Frames are
// described in docs/message-bus.md.
//
//   hv::BusWindow window(QStringLiteral("Afx:400000:0"), QStringLiteral("Helvora Agent"));
//   window.SetCopyDataHandler([](hv::WindowHandle from, quint32 id, const QByteArray& data) {
//     return 1; });
//   window.Open();                                        // on the thread that handles it
//   hv::WindowHandle h = hv::FindWindow({}, QStringLiteral("Helvora Agent"));
//   hv::BusSendResult r = hv::SendCopyData(h, 0, 1102, {}, 5000);
//   if (!r.delivered) ...;                                // gone, hung past the time-out, ...
//   hv::PostBusMessage(h, mine, hv::RegisterWindowMessage(QStringLiteral("RM_APPLICATION_OPENED")),
//                      mine, 3);
//
// Handlers run on the thread the BusWindow lives on, one at a time. A window that wants to go
// away from inside its own handler uses deleteLater().
// A thread blocked in a send does not serve its own windows meanwhile: two programs must not
// send to each other from the same threads at once (the second send then times out).
namespace hv {

using WindowHandle = quint32;  // 0 = no window

inline constexpr int kBusSendTimeoutMs = 30000;

struct BusSendResult {
  bool delivered = false;  // the receiver ran its handler and answered
  qint32 result = 0;       // the handler's answer; 0 when not delivered
};

class BusWindow : public QObject {
  Q_OBJECT

 public:
  using CopyDataHandler =
      std::function<qint32(WindowHandle sender, quint32 id, const QByteArray& data)>;
  using MessageHandler =
      std::function<qint32(WindowHandle sender, quint32 msg, quint64 wParam, qint64 lParam)>;

  BusWindow(const QString& className, const QString& title, QObject* parent = nullptr);
  ~BusWindow() override;

  // Picks a free handle, listens and publishes class and title. False (with a log line) when
  // the bus folder is unusable.
  bool Open();
  void Close();
  bool IsOpen() const { return m_handle != 0; }
  WindowHandle Handle() const { return m_handle; }

  QString ClassName() const { return m_className; }
  QString Title() const { return m_title; }
  void SetTitle(const QString& title);

  // Without a handler copy-data and messages are answered with 0.
  void SetCopyDataHandler(CopyDataHandler handler) { m_onCopyData = std::move(handler); }
  void SetMessageHandler(MessageHandler handler) { m_onMessage = std::move(handler); }

  // Runs a frame's handler; used by the connections and by same-thread sends.
  qint32 DispatchCopyData(WindowHandle sender, quint32 id, const QByteArray& data);
  qint32 DispatchMessage(WindowHandle sender, quint32 msg, quint64 wParam, qint64 lParam);

 private:
  void OnNewConnection();
  bool WriteInfo();

  QString m_className;
  QString m_title;
  WindowHandle m_handle = 0;
  QLocalServer* m_server = nullptr;
  CopyDataHandler m_onCopyData;
  MessageHandler m_onMessage;
};

// Same name, same number in every process of the user: 0xC000 + (FNV-1a 32 of the upper-case
// UTF-8 name) mod 0x4000. 0 for an empty name.
quint32 RegisterWindowMessage(const QString& name);

// First live window whose class and title match (case-insensitive); an empty argument matches
// any. 0 when none. Entries left by crashed programs are cleaned up on the way.
WindowHandle FindWindow(const QString& className, const QString& title);
QList<WindowHandle> FindWindows(const QString& className, const QString& title);

// True while a program listens under the handle (a hung program still counts, as a hung window
// still exists; use a send with a time-out to learn whether it answers).
bool IsWindowAlive(WindowHandle handle);

// Synchronous: waits up to timeoutMs for the receiver's answer.
BusSendResult SendCopyData(WindowHandle target, WindowHandle sender, quint32 id,
                           const QByteArray& data, int timeoutMs = kBusSendTimeoutMs);
BusSendResult SendBusMessage(WindowHandle target, WindowHandle sender, quint32 msg,
                             quint64 wParam, qint64 lParam, int timeoutMs = kBusSendTimeoutMs);
// Does not wait for the handler; true when the frame was handed to a live receiver.
bool PostBusMessage(WindowHandle target, WindowHandle sender, quint32 msg, quint64 wParam,
                    qint64 lParam);

// The folder holding the sockets ("<handle>.sock") and descriptions ("<handle>.info").
QString BusFolder();
QString BusSocketPath(WindowHandle handle);

}  // namespace hv
