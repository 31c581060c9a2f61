// A second program for the message-bus and single-instance tests.
//   hv_bus_peer serve <class> <title> [announce-to-handle]
//     opens a bus window, prints "HANDLE <n>", answers:
//       copy-data 7  -> payload size;  copy-data 99 -> sleeps 3 s, then 5 (a hung receiver)
//       RM_APPLICATION_ALIVED -> 1;  WM_CLOSE -> ends;  other messages -> lParam * 2
//     with an announce handle it posts RM_APPLICATION_OPENED (wParam its handle, lParam 3).
//   hv_bus_peer hold-lock <name>
//     takes the single-instance lock, prints "LOCKED" or "BUSY" and waits to be killed.
// Either way it ends by itself after 20 s so no test leaves it behind.
#include "platform/MessageBus.h"
#include "platform/SingleInstance.h"
#include "platform/WindowMessages.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments();
  QTimer::singleShot(20000, &app, [] { QCoreApplication::exit(2); });
  if (args.size() >= 3 && args[1] == QStringLiteral("hold-lock")) {
    hv::SingleInstanceLock lock(args[2]);
    std::printf("%s\n", lock.TryAcquire() ? "LOCKED" : "BUSY");
    std::fflush(stdout);
    return app.exec();
  }
  if (args.size() < 4 || args[1] != QStringLiteral("serve")) return 1;

  hv::BusWindow window(args[2], args[3]);
  const quint32 alived = hv::RegisterWindowMessage(QLatin1String(hv::RM_APPLICATION_ALIVED));
  window.SetCopyDataHandler([](hv::WindowHandle, quint32 id, const QByteArray& data) -> qint32 {
    if (id == 99) {
      QThread::sleep(3);
      return 5;
    }
    return id == 7 ? qint32(data.size()) : 1;
  });
  window.SetMessageHandler([&](hv::WindowHandle, quint32 msg, quint64, qint64 lParam) -> qint32 {
    if (msg == alived) return 1;
    if (msg == hv::WM_CLOSE) {
      QCoreApplication::quit();
      return 0;
    }
    return qint32(lParam * 2);
  });
  if (!window.Open()) return 3;
  std::printf("HANDLE %u\n", window.Handle());
  std::fflush(stdout);
  if (args.size() >= 5) {
    hv::PostBusMessage(args[4].toUInt(), window.Handle(),
                       hv::RegisterWindowMessage(QLatin1String(hv::RM_APPLICATION_OPENED)),
                       window.Handle(), 3);
  }
  return app.exec();
}
