#include "skin/Effects.h"

#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QPainter>
#include <QPropertyAnimation>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

CSpinner::CSpinner(QWidget* parent) : QWidget(parent) {
  setMinimumSize(48, 48);
  setAccessibleName(QStringLiteral("progress"));
}

void CSpinner::SetFrame(int frame) {
  m_frame = ((frame % kFrames) + kFrames) % kFrames;
  update();
}

void CSpinner::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal side = std::min(width(), height());
  const QPointF c(width() / 2.0, height() / 2.0);
  const qreal radius = side * 0.38, dot = side * 0.075;
  for (int i = 0; i < kFrames; ++i) {
    // The lead dot is darkest; the tail fades behind it.
    const int age = (m_frame - i + kFrames) % kFrames;
    QColor col(0x2f, 0x6f, 0xeb);
    col.setAlphaF(std::max(0.12, 1.0 - age / 9.0));
    const qreal a = (2 * M_PI * i) / kFrames - M_PI / 2;
    p.setPen(Qt::NoPen);
    p.setBrush(col);
    p.drawEllipse(QPointF(c.x() + radius * std::cos(a), c.y() + radius * std::sin(a)), dot, dot);
  }
}

CWaitingWnd::CWaitingWnd(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("WaitingWnd"));
  setAttribute(Qt::WA_StyledBackground);
  auto* v = new QVBoxLayout(this);
  v->addStretch(1);
  m_spinner = new CSpinner(this);
  m_spinner->setFixedSize(64, 64);
  v->addWidget(m_spinner, 0, Qt::AlignHCenter);
  m_title = new QLabel(this);
  m_title->setObjectName(QStringLiteral("WaitingTitle"));
  m_title->setAlignment(Qt::AlignCenter);
  v->addWidget(m_title);
  m_text = new QLabel(this);
  m_text->setProperty("role", QStringLiteral("subtle"));
  m_text->setAlignment(Qt::AlignCenter);
  m_text->setWordWrap(true);
  v->addWidget(m_text);
  v->addStretch(1);
  m_timer = new QTimer(this);
  m_timer->setInterval(83);
  connect(m_timer, &QTimer::timeout, this, [this] { m_spinner->SetFrame(m_spinner->Frame() + 1); });
  hide();
}

void CWaitingWnd::SetTitle(const QString& title) {
  m_title->setText(title);
  setAccessibleName(title);
}
void CWaitingWnd::SetText(const QString& text) {
  m_text->setText(text);
  m_text->setVisible(!text.isEmpty());
  setAccessibleDescription(text);
}
QString CWaitingWnd::Title() const { return m_title->text(); }
QString CWaitingWnd::Text() const { return m_text->text(); }

void CWaitingWnd::Show(bool show, int fadeMs) {
  if (m_fade) m_fade->stop();
  auto* effect = qobject_cast<QGraphicsOpacityEffect*>(graphicsEffect());
  if (!effect) {
    effect = new QGraphicsOpacityEffect(this);
    setGraphicsEffect(effect);
  }
  if (show) {
    if (parentWidget()) setGeometry(parentWidget()->rect());
    raise();
    QWidget::show();
  }
  auto* anim = new QPropertyAnimation(effect, "opacity", this);
  anim->setDuration(std::max(0, fadeMs));
  anim->setStartValue(show ? 0.0 : effect->opacity());
  anim->setEndValue(show ? 1.0 : 0.0);
  if (!show) {
    connect(anim, &QPropertyAnimation::finished, this, [this] {
      hide();
      StopAnimation();
    });
  }
  m_fade = anim;
  anim->start(QAbstractAnimation::DeleteWhenStopped);
}

void CWaitingWnd::StartAnimation() { m_timer->start(); }
void CWaitingWnd::StopAnimation() { m_timer->stop(); }

CSwitchManager::CSwitchManager(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  hide();
}

void CSwitchManager::Switch(const QPixmap& from, const QPixmap& to, int direction, int durationMs) {
  if (m_anim) m_anim->stop();
  m_from = from;
  m_to = to;
  m_direction = direction >= 0 ? 1 : -1;
  m_progress = 0;
  if (parentWidget()) setGeometry(parentWidget()->rect());
  raise();
  show();
  auto* anim = new QPropertyAnimation(this, "progress", this);
  anim->setDuration(durationMs);
  anim->setStartValue(0.0);
  anim->setEndValue(1.0);
  anim->setEasingCurve(QEasingCurve::OutCubic);
  connect(anim, &QPropertyAnimation::finished, this, [this] {
    hide();
    m_from = QPixmap();
    m_to = QPixmap();
    emit finished();
  });
  m_anim = anim;
  anim->start(QAbstractAnimation::DeleteWhenStopped);
}

bool CSwitchManager::IsRunning() const { return m_anim && m_anim->state() == QAbstractAnimation::Running; }

void CSwitchManager::SetProgress(qreal p) {
  m_progress = p;
  update();
}

void CSwitchManager::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
  const int w = width();
  const int shift = int(w * m_progress) * m_direction;
  p.drawPixmap(-shift, 0, m_from);
  p.drawPixmap(m_direction * w - shift, 0, m_to);
}
