#include "skin/MessageBox.h"

#include "skin/BaseDialog.h"
#include "skin/Skin.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

CMessageBox::ButtonTexts g_texts;
CMessageBox::Answerer g_answerer;
std::function<void(QWidget*, bool)> g_observer;
QPointer<CBaseDialog> g_openBox;

// Vector icons, so they stay sharp at every scale.
QIcon StyleIcon(int style) {
  switch (style & 0xF0) {
    case skin::MB_ICONERROR: return QIcon(QStringLiteral(":/skin/icon-error.svg"));
    case skin::MB_ICONQUESTION: return QIcon(QStringLiteral(":/skin/icon-question.svg"));
    case skin::MB_ICONWARNING: return QIcon(QStringLiteral(":/skin/icon-warning.svg"));
    case skin::MB_ICONINFORMATION: return QIcon(QStringLiteral(":/skin/icon-info.svg"));
    default: return {};
  }
}

// Maps the frame's three buttons to the answers of the style.
class MessageDialog : public CBaseDialog {
 public:
  MessageDialog(int style, QWidget* parent) : CBaseDialog(parent), m_style(style) {}
  int kind() const { return m_style & 0x0F; }

 protected:
  void OnButton(int command) override {
    const bool first = command == kButton1;
    if (kind() == skin::MB_YESNO)
      done(first ? skin::IDYES : skin::IDNO);
    else if (kind() == skin::MB_OKCANCEL)
      done(first ? skin::IDOK : skin::IDCANCEL);
    else
      done(skin::IDOK);
  }
  void OnCancel() override {
    if (kind() == skin::MB_YESNO)
      done(skin::IDNO);
    else
      done(kind() == skin::MB_OKCANCEL ? skin::IDCANCEL : skin::IDOK);
  }

 private:
  int m_style;
};

}  // namespace

void CMessageBox::SetButtonTexts(const ButtonTexts& texts) { g_texts = texts; }
void CMessageBox::SetAnswererForTesting(Answerer answerer) { g_answerer = std::move(answerer); }
void CMessageBox::SetOpenObserver(std::function<void(QWidget*, bool)> observer) { g_observer = std::move(observer); }

void CMessageBox::CloseOpenBox() {
  if (g_openBox) g_openBox->reject();
}

int CMessageBox::MessageBoxW(const QString& title, const QString& text, int style, QWidget* owner) {
  m_checked = false;
  if (g_answerer) return g_answerer(title, text, style, m_checkText.isEmpty() ? nullptr : &m_checked);

  MessageDialog dlg(style, owner);
  dlg.SetTitle(title);

  auto* content = new QWidget;
  auto* v = new QVBoxLayout(content);
  v->setContentsMargins(0, 0, 0, 0);
  auto* row = new QHBoxLayout;
  const QIcon icon = StyleIcon(style);
  if (!icon.isNull()) {
    auto* iconLabel = new QLabel(content);
    iconLabel->setPixmap(icon.pixmap(32, 32));
    iconLabel->setAlignment(Qt::AlignTop);
    iconLabel->setAccessibleName(QStringLiteral("icon"));
    row->addWidget(iconLabel);
    row->addSpacing(12);
  }
  auto* label = new QLabel(text, content);
  label->setObjectName(QStringLiteral("MessageText"));
  label->setWordWrap(true);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  label->setMinimumWidth(280);
  label->setMaximumWidth(420);
  label->setAccessibleName(text);
  row->addWidget(label, 1);
  v->addLayout(row);
  QCheckBox* check = nullptr;
  if (!m_checkText.isEmpty()) {
    check = new QCheckBox(m_checkText, content);
    check->setObjectName(QStringLiteral("DoNotAskAgain"));
    check->setAccessibleName(m_checkText);
    v->addSpacing(10);
    v->addWidget(check);
  }
  content->adjustSize();
  dlg.SetContent(content);
  // Message boxes size themselves to the text rather than the fixed frame margins.
  dlg.setMinimumSize(0, 0);
  dlg.setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  dlg.adjustSize();

  switch (style & 0x0F) {
    case skin::MB_YESNO: dlg.SetButtonText(g_texts.yes, g_texts.no); break;
    case skin::MB_OKCANCEL: dlg.SetButtonText(g_texts.ok, g_texts.cancel); break;
    default: dlg.SetButtonText(g_texts.ok); break;
  }
  dlg.setAccessibleDescription(text);

  g_openBox = &dlg;
  if (g_observer) g_observer(&dlg, true);
  const int result = dlg.Show();
  if (g_observer) g_observer(&dlg, false);
  g_openBox = nullptr;
  m_checked = check && check->isChecked();
  return result;
}
