// Small helpers shared by the source files of the folder tree.
#pragma once

#include <QString>
#include <QWidget>
#include <string>
#include <string_view>

#include "ui/TextConversion.h"

namespace velmor::ui::explorer {

// Paths and names compare ignoring case, as the Windows programs that share these folders do.
inline bool SameText(const QString& a, const QString& b) {
  return QString::compare(a, b, Qt::CaseInsensitive) == 0;
}

inline QString WithBackslash(const QString& path) {
  return path.endsWith(QLatin1Char('\\')) ? path : path + QLatin1Char('\\');
}

inline QString WithoutBackslash(QString path) {
  while (path.endsWith(QLatin1Char('\\'))) path.chop(1);
  return path;
}

// The last component of a path ("C:\A\B\" and "C:\A\B" give "B").
inline QString LastName(const QString& path) {
  const QString trimmed = WithoutBackslash(path);
  return trimmed.mid(trimmed.lastIndexOf(QLatin1Char('\\')) + 1);
}

inline bool IsDotName(std::string_view name) {
  return name == "." || name == "..";
}

// The characters a folder name typed into the tree may not hold.
inline bool HasInvalidNameChar(const QString& name) {
  static const QString invalid = QStringLiteral("\\*?/=\"<>|:,;+^");
  for (QChar c : name) {
    if (invalid.contains(c)) return true;
  }
  return false;
}

// Suspends a widget's redrawing for a scope; nests (only the outermost one resumes).
class RedrawSuspender {
 public:
  explicit RedrawSuspender(QWidget* widget) : widget_(widget), wasEnabled_(widget->updatesEnabled()) {
    if (wasEnabled_) widget_->setUpdatesEnabled(false);
  }
  ~RedrawSuspender() {
    if (wasEnabled_) widget_->setUpdatesEnabled(true);
  }
  RedrawSuspender(const RedrawSuspender&) = delete;
  RedrawSuspender& operator=(const RedrawSuspender&) = delete;

 private:
  QWidget* widget_;
  bool wasEnabled_;
};

}  // namespace velmor::ui::explorer
