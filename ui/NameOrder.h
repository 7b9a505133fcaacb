// The order in which the window lists folder and file names: the user's locale, read as a person reads
// it (linguistically, "ähnlich" with the a's, "10" before "9", upper and lower case of a letter side by
// side, lower case first), as the desktop sorts names. A locale of C or POSIX would sort by character
// code (every capital before every small letter); a German collation stands in for it then.
#pragma once

#include <QCollator>
#include <QLocale>
#include <QStringList>
#include <vector>

namespace velmor::ui {

// The collator for names in the given locale (German for C and POSIX).
QCollator NameCollator(const QLocale& locale = QLocale::system());
// Sorts names in that order; equal names keep their order.
void SortNames(QStringList& names, const QLocale& locale = QLocale::system());
// The indices of names in that order (equal names keep their order), names left as they are.
std::vector<size_t> SortedOrder(const QStringList& names, const QLocale& locale = QLocale::system());

}  // namespace velmor::ui
