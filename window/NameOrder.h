#pragma once
// The order the folder and file lists show names in: the user's collation, numbers by
// value and case ignored, names it cannot tell apart ordered by their characters.
// Names of printable ASCII alone, in a language whose collation leaves them in the
// language-neutral order, are ordered here without the collator, which would load ICU
// (1.9 MiB of resident memory at start-up: BENCHMARKS.md, "Start-up and memory").

#include <QLocale>
#include <QString>

#include <cstddef>
#include <vector>

namespace frolix {

// Positions into `names`, first name first.
std::vector<std::size_t> nameOrder(const std::vector<QString>& names, const QLocale& locale = QLocale());

} // namespace frolix
