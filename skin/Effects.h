#pragma once

#include <QPixmap>
#include <QPointer>
#include <QWidget>

class QLabel;
class QPropertyAnimation;
class QTimer;

// A ring of twelve dots that steps one frame per tick; the owner drives the frames so the
// progress window can keep its 83 ms rhythm.
class CSpinner : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kFrames = 12;
  explicit CSpinner(QWidget* parent = nullptr);
  void SetFrame(int frame);
  int Frame() const { return m_frame; }
  QSize sizeHint() const override { return {72, 72}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int m_frame = 0;
};

// Busy overlay laid over a panel: an animated ring, a title and an optional text.
class CWaitingWnd : public QWidget {
  Q_OBJECT
 public:
  explicit CWaitingWnd(QWidget* parent = nullptr);
  void SetTitle(const QString& title);
  void SetText(const QString& text);
  QString Title() const;
  QString Text() const;
  // Fades in or out over fadeMs and covers the parent while shown.
  void Show(bool show, int fadeMs);
  void StartAnimation();
  void StopAnimation();

 private:
  CSpinner* m_spinner;
  QLabel* m_title;
  QLabel* m_text;
  QTimer* m_timer;
  QPointer<QPropertyAnimation> m_fade;
};

// Slides from one picture of a page to the next; emits finished when the slide ends.
class CSwitchManager : public QWidget {
  Q_OBJECT
  Q_PROPERTY(qreal progress READ Progress WRITE SetProgress)
 public:
  explicit CSwitchManager(QWidget* parent = nullptr);
  // direction +1 slides the new picture in from the right, -1 from the left.
  void Switch(const QPixmap& from, const QPixmap& to, int direction, int durationMs = 260);
  qreal Progress() const { return m_progress; }
  void SetProgress(qreal p);
  bool IsRunning() const;

 signals:
  void finished();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QPixmap m_from, m_to;
  int m_direction = 1;
  qreal m_progress = 0;
  QPointer<QPropertyAnimation> m_anim;
};
