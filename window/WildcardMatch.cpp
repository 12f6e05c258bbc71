#include "WildcardMatch.h"

namespace frolix {

namespace {

bool sameLetter(QChar a, QChar b) { return a == b || a.toCaseFolded() == b.toCaseFolded(); }

// Matches `c` against the set opening at pattern[at] ('['); sets `end` past its ']'.
// A '[' without its ']' is an ordinary character, as in shells.
bool matchSet(QStringView pattern, qsizetype at, QChar c, qsizetype& end)
{
    qsizetype i = at + 1;
    bool negated = i < pattern.size() && pattern[i] == u'!';
    if (negated)
        ++i;
    bool found = false;
    bool first = true;
    for (; i < pattern.size() && (first || pattern[i] != u']'); ++i, first = false) {
        QChar low = pattern[i];
        QChar high = low;
        if (i + 2 < pattern.size() && pattern[i + 1] == u'-' && pattern[i + 2] != u']') {
            high = pattern[i + 2];
            i += 2;
        }
        QChar folded = c.toCaseFolded();
        if ((c >= low && c <= high) || (folded >= low.toCaseFolded() && folded <= high.toCaseFolded()))
            found = true;
    }
    if (i >= pattern.size()) {
        end = at + 1;
        return sameLetter(c, u'[');
    }
    end = i + 1;
    return found != negated;
}

} // namespace

bool wildcardMatch(QStringView name, QStringView pattern)
{
    // Greedy with one point to return to: the last '*' and where its run ended.
    qsizetype n = 0, p = 0;
    qsizetype starAt = -1, resumeName = 0;
    while (n < name.size()) {
        if (p < pattern.size()) {
            QChar token = pattern[p];
            if (token == u'*') {
                starAt = p++;
                resumeName = n;
                continue;
            }
            qsizetype next = p + 1;
            bool matches
                = token == u'?' || (token == u'[' ? matchSet(pattern, p, name[n], next) : sameLetter(token, name[n]));
            if (matches) {
                ++n;
                p = next;
                continue;
            }
        }
        if (starAt < 0)
            return false;
        p = starAt + 1;
        n = ++resumeName;
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

} // namespace frolix
