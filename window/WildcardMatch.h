#pragma once
// File-name patterns as the file list takes them: `*` any run of characters, `?` any
// one, `[abc]`, `[a-z]` and `[!abc]` one of (or none of) a set; case does not matter.
// Matched character by character: no regular expression engine is loaded for the one
// pattern the window uses (0.47 MiB of resident memory: BENCHMARKS.md, "Start-up and memory").

#include <QStringView>

namespace frolix {

bool wildcardMatch(QStringView name, QStringView pattern);

} // namespace frolix
