// A single-line edit with a small push button inside its right end. Typing works as in any edit; a
// click on the button raises OnBtnClick with the edit as Sender (the owner opens a picker there).
//
// Geometry: the button is as wide as the edit is high and fills the client area's height at its right
// end; the text area ends 2 pixels left of it, so text never runs under the button. The edit is never
// lower than 5 pixels.
#pragma once

#include <QLineEdit>
#include <QPixmap>
#include <QToolButton>
#include <functional>

namespace velmor::ui {

class TQxEditBtn : public QLineEdit {
  Q_OBJECT
  Q_PROPERTY(int Tag READ Tag WRITE SetTag)
  Q_PROPERTY(bool EditorEnabled READ EditorEnabled WRITE SetEditorEnabled)

 public:
  explicit TQxEditBtn(QWidget* parent = nullptr);
  ~TQxEditBtn() override;

  // Raised by a completed click on the button of an editable field, with the signal btnClicked.
  std::function<void(TQxEditBtn* Sender)> OnBtnClick;

  int Tag() const { return tag_; }
  void SetTag(int tag) { tag_ = tag; }
  // Cut and paste reach the text only while this is true; typing is not affected.
  bool EditorEnabled() const { return editorEnabled_; }
  void SetEditorEnabled(bool enabled) { editorEnabled_ = enabled; }

  // The button's picture. With NumGlyphs > 1 the bitmap holds that many equal images side by side
  // (normal first); the colour of the lower-left pixel is drawn transparent.
  void SetGlyph(const QPixmap& glyph);
  QPixmap Glyph() const { return glyph_; }
  void SetNumGlyphs(int count);
  int NumGlyphs() const { return numGlyphs_; }
  // Pixels between the button's edge and its picture; -1 centres picture and caption.
  void SetMargin(int margin);
  int Margin() const { return margin_; }
  void SetCaption(const QString& caption);
  QString Caption() const;

  // The button inside the field (exposed for layout checks).
  QToolButton* Button() const { return button_; }
  // The text area in client coordinates: from (0, 0) to the right end before the button.
  QRect EditRect() const;

  // Whether a typed character may enter the text; this class accepts every character.
  virtual bool IsValidChar(QChar key);
  // The reaction to a click on the button: a beep on a read-only field, else OnBtnClick.
  virtual void BtnClick();

 signals:
  void btnClicked();  // OnBtnClick; the edit is the sender

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  QRect ClientRect() const;
  void LayoutButton();
  void SetEditRect();
  void UpdateIcon();
  bool CutPasteAllowed() const { return editorEnabled_ && !isReadOnly(); }

  QToolButton* button_ = nullptr;
  QPixmap glyph_;
  int numGlyphs_ = 1;
  int margin_ = -1;
  int tag_ = 0;
  bool editorEnabled_ = true;
};

}  // namespace velmor::ui
