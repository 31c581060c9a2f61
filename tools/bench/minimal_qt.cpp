// Baseline for the start-up benchmark: the least a Qt Widgets program does to show a window
// of the console's size. Prints "shown <CLOCK_MONOTONIC ns>" on the first show event and then
// stays up until it is terminated (or for --lifetime seconds).
#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <ctime>

namespace {

long long MonotonicNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

class Window : public QWidget {
 public:
  Window() : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint) {}

 protected:
  void showEvent(QShowEvent* event) override {
    QWidget::showEvent(event);
    if (m_reported) return;
    m_reported = true;
    // Python's time.monotonic() reads the same clock, so the script can subtract directly.
    std::printf("shown %lld\n", MonotonicNs());
    std::fflush(stdout);
  }

 private:
  bool m_reported = false;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Helvora Minimal"));

  const QStringList args = QApplication::arguments();
  const int at = args.indexOf(QStringLiteral("--lifetime"));
  if (at > 0 && at + 1 < args.size()) {
    bool ok = false;
    const int seconds = args.at(at + 1).toInt(&ok);
    if (ok && seconds > 0) QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
  }

  constexpr int kWidth = 484;
  constexpr int kHeight = 621;
  Window w;
  w.resize(kWidth, kHeight);
  if (QScreen* screen = QGuiApplication::primaryScreen())
    w.move(screen->availableGeometry().center() - QPoint(kWidth / 2, kHeight / 2));
  w.show();
  return app.exec();
}
