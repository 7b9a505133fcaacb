#include "ui/NameOrder.h"

#include <algorithm>

namespace velmor::ui {

QCollator NameCollator(const QLocale& locale) {
  const bool byCode = locale.language() == QLocale::C || locale.name() == QLatin1String("C") ||
                      locale.name() == QLatin1String("POSIX");
  QCollator collator(byCode ? QLocale(QLocale::German, QLocale::Germany) : locale);
  collator.setCaseSensitivity(Qt::CaseSensitive);
  collator.setNumericMode(false);
  collator.setIgnorePunctuation(false);
  return collator;
}

void SortNames(QStringList& names, const QLocale& locale) {
  const QCollator collator = NameCollator(locale);
  std::stable_sort(names.begin(), names.end(),
                   [&collator](const QString& a, const QString& b) { return collator.compare(a, b) < 0; });
}

}  // namespace velmor::ui
