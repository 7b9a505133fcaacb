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

std::vector<size_t> SortedOrder(const QStringList& names, const QLocale& locale) {
  // Each name's sort key is made once; comparing two keys is a plain comparison of bytes, where
  // comparing two names through the collator would do the linguistic work again every time (a folder
  // with 20,000 sub-folders needs some 300,000 comparisons).
  const QCollator collator = NameCollator(locale);
  std::vector<QCollatorSortKey> keys;
  keys.reserve(static_cast<size_t>(names.size()));
  for (const QString& name : names) keys.push_back(collator.sortKey(name));
  std::vector<size_t> order(keys.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&keys](size_t a, size_t b) { return keys[a].compare(keys[b]) < 0; });
  return order;
}

void SortNames(QStringList& names, const QLocale& locale) {
  const std::vector<size_t> order = SortedOrder(names, locale);
  QStringList sorted;
  sorted.reserve(names.size());
  for (const size_t i : order) sorted << names[static_cast<qsizetype>(i)];
  names = std::move(sorted);
}

}  // namespace velmor::ui
