// A label that shows a long path in the room it has: the text stays the full path (the transfer reads
// it from here), the label draws it shortened in the middle ("C:\EPLAN5\…\ANLAGE1\") and shows the
// full path as its tooltip while shortened.
#pragma once

#include <QLabel>

namespace velmor::ui {

class ElidedPathLabel : public QLabel {
  Q_OBJECT

 public:
  explicit ElidedPathLabel(const QString& text, QWidget* parent = nullptr);

  // The text as drawn: the full text when it fits, else shortened in the middle.
  QString DisplayedText() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool event(QEvent* event) override;
};

}  // namespace velmor::ui
