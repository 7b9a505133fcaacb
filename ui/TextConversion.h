// Text between Qt and the layers below: the services speak UTF-8 std::string, the widgets QString.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace velmor::ui {

inline QString Q(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

inline std::string U8(const QString& text) {
  return text.toStdString();
}

}  // namespace velmor::ui
