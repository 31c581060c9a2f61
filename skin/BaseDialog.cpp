#include "skin/BaseDialog.h"

#include "skin/Skin.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

CBaseDialog::CBaseDialog(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
  setObjectName(QStringLiteral("BaseDialog"));
  setModal(true);
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->setSpacing(0);

  auto* titleBar = new QWidget(this);
  titleBar->setObjectName(QStringLiteral("DialogTitleBar"));
  titleBar->setFixedHeight(44);
  auto* titleLayout = new QHBoxLayout(titleBar);
  titleLayout->setContentsMargins(16, 0, 16, 0);
  m_title = new QLabel(titleBar);
  m_title->setObjectName(QStringLiteral("DialogTitle"));
  titleLayout->addWidget(m_title);
  outer->addWidget(titleBar);

  auto* bodyHost = new QWidget(this);
  m_body = new QVBoxLayout(bodyHost);
  m_body->setContentsMargins(26, 20, 26, 8);
  outer->addWidget(bodyHost, 1);

  auto* buttonRow = new QWidget(this);
  buttonRow->setFixedHeight(61);
  auto* buttons = new QHBoxLayout(buttonRow);
  buttons->setContentsMargins(26, 8, 26, 16);
  buttons->addStretch(1);
  for (int i = 0; i < 3; ++i) {
    auto* b = new QPushButton(buttonRow);
    b->setObjectName(QStringLiteral("DialogButton%1").arg(kButton1 + i));
    b->setVisible(false);
    const int command = kButton1 + i;
    connect(b, &QPushButton::clicked, this, [this, command] { OnButton(command); });
    buttons->addWidget(b);
    m_buttons[i] = b;
  }
  outer->addWidget(buttonRow);
}

void CBaseDialog::SetTitle(const QString& title) {
  m_title->setText(title);
  setWindowTitle(title);
  setAccessibleName(title);
}

void CBaseDialog::SetButtonText(const QString& first, const QString& second, const QString& third) {
  const QString texts[3] = {first, second, third};
  bool defaultSet = false;
  for (int i = 0; i < 3; ++i) {
    m_buttons[i]->setText(texts[i]);
    m_buttons[i]->setAccessibleName(texts[i]);
    m_buttons[i]->setVisible(!texts[i].isEmpty());
    const bool makeDefault = !defaultSet && !texts[i].isEmpty();
    m_buttons[i]->setDefault(makeDefault);
    m_buttons[i]->setProperty("role", makeDefault ? QStringLiteral("primary") : QString());
    // A changed property only shows once the style sheet is applied again.
    m_buttons[i]->style()->unpolish(m_buttons[i]);
    m_buttons[i]->style()->polish(m_buttons[i]);
    defaultSet = defaultSet || makeDefault;
  }
}

void CBaseDialog::EnableButton(int command, bool enable) {
  if (QPushButton* b = Button(command)) b->setEnabled(enable);
}

QPushButton* CBaseDialog::Button(int command) const {
  const int i = command - kButton1;
  return (i >= 0 && i < 3) ? m_buttons[i] : nullptr;
}

void CBaseDialog::SetContent(QWidget* content) {
  if (m_content) m_content->deleteLater();
  m_content = content;
  if (!content) return;
  content->setParent(this);
  m_body->addWidget(content);
  const QSize s = content->sizeHint().expandedTo(content->minimumSize());
  setFixedSize(s.width() + kExtraWidth, s.height() + kExtraHeight);
}

int CBaseDialog::Show() {
  if (parentWidget()) {
    const QRect p = parentWidget()->window()->geometry();
    move(p.center() - QPoint(width() / 2, height() / 2));
  }
  return exec();
}

void CBaseDialog::OnButton(int command) {
  emit commandPressed(command);
  if (command == kButton1)
    OnOK();
  else
    done(command == kButton2 && Button(kButton3)->isVisible() ? command : skin::IDCANCEL);
}

void CBaseDialog::OnOK() { done(skin::IDOK); }
void CBaseDialog::OnCancel() { done(skin::IDCANCEL); }

void CBaseDialog::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && event->position().y() < 44) {
    m_dragging = true;
    m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
  }
  QDialog::mousePressEvent(event);
}

void CBaseDialog::mouseMoveEvent(QMouseEvent* event) {
  if (m_dragging && (event->buttons() & Qt::LeftButton))
    move(event->globalPosition().toPoint() - m_dragOffset);
  else
    m_dragging = false;
  QDialog::mouseMoveEvent(event);
}

void CBaseDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    OnCancel();
    return;
  }
  QDialog::keyPressEvent(event);
}
