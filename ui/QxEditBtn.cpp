#include "ui/QxEditBtn.h"

#include <algorithm>

#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QResizeEvent>
#include <QStyle>
#include <QStyleOptionFrame>

#include "ui/EditButtonParts.h"
#include "ui/MessageService.h"

namespace velmor::ui {

TQxEditBtn::TQxEditBtn(QWidget* parent) : QLineEdit(parent) {
  button_ = new QToolButton(this);
  button_->setObjectName("Button");
  button_->setFocusPolicy(Qt::NoFocus);
  button_->setCursor(Qt::ArrowCursor);
  button_->setAutoRaise(false);
  button_->setToolButtonStyle(Qt::ToolButtonIconOnly);
  button_->resize(15, height());
  button_->hide();  // shown from the first paint on
  connect(button_, &QToolButton::clicked, this, [this] { BtnClick(); });
  setMinimumHeight(5);
  setAcceptDrops(false);  // the toolkit's edit takes no dropped files or text
  LayoutButton();
}

TQxEditBtn::~TQxEditBtn() {
  // The button goes with the edit; forget it first so that no resize during destruction touches it.
  button_ = nullptr;
}

void TQxEditBtn::SetGlyph(const QPixmap& glyph) {
  glyph_ = glyph;
  UpdateIcon();
}

void TQxEditBtn::SetNumGlyphs(int count) {
  numGlyphs_ = std::clamp(count, 1, 4);
  UpdateIcon();
}

void TQxEditBtn::SetMargin(int margin) {
  margin_ = margin;
  UpdateIcon();
}

void TQxEditBtn::SetCaption(const QString& caption) {
  button_->setText(caption);
  button_->setToolButtonStyle(caption.isEmpty() ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextBesideIcon);
}

QString TQxEditBtn::Caption() const {
  return button_->text();
}

void TQxEditBtn::UpdateIcon() {
  if (glyph_.isNull()) {
    button_->setIcon(QIcon());
    return;
  }
  // Only the first image (the normal one) is shown; a disabled field takes no clicks anyway, so the
  // picture is never greyed.
  const int width = glyph_.width() / numGlyphs_;
  const QPixmap normal = glyph_.copy(0, 0, width, glyph_.height());
  QIcon icon;
  icon.addPixmap(normal, QIcon::Normal);
  icon.addPixmap(normal, QIcon::Disabled);
  button_->setIcon(icon);
  button_->setIconSize(normal.size());
  button_->setStyleSheet(margin_ < 0 ? QString() : QString("padding-left: %1px;").arg(margin_));
}

QRect TQxEditBtn::ClientRect() const {
  if (!hasFrame()) return rect();
  QStyleOptionFrame option;
  initStyleOption(&option);
  const int frame = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, this);
  return rect().adjusted(frame, frame, -frame, -frame);
}

QRect TQxEditBtn::EditRect() const {
  const QRect client = ClientRect();
  const int buttonWidth = button_ != nullptr ? button_->width() : 0;
  return QRect(QPoint(0, 0), QPoint(client.width() - buttonWidth - 2, client.height() + 1));
}

void TQxEditBtn::LayoutButton() {
  if (button_ == nullptr) return;
  const QRect client = ClientRect();
  const int buttonWidth = height();
  button_->setGeometry(client.right() + 1 - buttonWidth, client.top(), buttonWidth, client.height());
  SetEditRect();
}

void TQxEditBtn::SetEditRect() {
  // The text area runs from the client's left edge to 2 pixels before the button.
  setTextMargins(0, 0, button_->width() + 2, 0);
}

void TQxEditBtn::resizeEvent(QResizeEvent* event) {
  QLineEdit::resizeEvent(event);
  if (height() < 5) {
    resize(width(), 5);  // brings another pass
    return;
  }
  LayoutButton();
}

void TQxEditBtn::focusInEvent(QFocusEvent* event) {
  if (button_ != nullptr) button_->show();
  // The edit's own handling selects all on keyboard focus and places the caret on a mouse press.
  QLineEdit::focusInEvent(event);
}

void TQxEditBtn::focusOutEvent(QFocusEvent* event) {
  if (button_ != nullptr) button_->hide();
  QLineEdit::focusOutEvent(event);
  update();  // the repaint shows the button again at once
}

void TQxEditBtn::paintEvent(QPaintEvent* event) {
  QLineEdit::paintEvent(event);
  if (button_ != nullptr && !button_->isVisible()) button_->show();
}

void TQxEditBtn::keyPressEvent(QKeyEvent* event) {
  if (IsCutOrPaste(event) && !CutPasteAllowed()) {
    event->accept();  // dropped without a sound
    return;
  }
  const QString typed = event->text();
  if (typed.size() == 1 && typed[0].isPrint() && !(event->modifiers() & Qt::ControlModifier) &&
      !IsValidChar(typed[0])) {
    Messages().Beep();
    event->accept();
    return;
  }
  QLineEdit::keyPressEvent(event);
}

void TQxEditBtn::contextMenuEvent(QContextMenuEvent* event) {
  PopupEditMenu(this, event->globalPos(), CutPasteAllowed());
}

bool TQxEditBtn::IsValidChar(QChar) {
  return true;
}

void TQxEditBtn::BtnClick() {
  if (isReadOnly()) {
    Messages().Beep();
    return;
  }
  if (OnBtnClick) OnBtnClick(this);
  emit btnClicked();
}

}  // namespace velmor::ui
