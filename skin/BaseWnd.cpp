#include "skin/BaseWnd.h"

#include <QResizeEvent>
#include <QTimerEvent>

CBaseWnd::CBaseWnd(QWidget* parent) : QWidget(parent) {}

CBaseWnd::~CBaseWnd() = default;

void CBaseWnd::Create() {
  if (m_created) return;
  m_created = true;
  Initialize();
  RecalcLayout(width(), height());
}

void CBaseWnd::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (m_created) RecalcLayout(event->size().width(), event->size().height());
}

void CBaseWnd::showEvent(QShowEvent* event) {
  Create();
  QWidget::showEvent(event);
  UpdateFocus();
}

void CBaseWnd::timerEvent(QTimerEvent* event) { TimerFunc(event->timerId()); }
