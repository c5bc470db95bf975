#include "naturalorder.h"

#include <algorithm>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

char Folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// -1, 0 or 1 as a is before, the same as or after b under the natural rules alone.
int Compare(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            // A run of any length is compared without converting it: drop the leading zeros,
            // then the longer run is the larger number, else the first differing digit tells.
            const size_t runA = i, runB = j;
            while (i < a.size() && a[i] == '0') ++i;
            while (j < b.size() && b[j] == '0') ++j;
            const size_t digitsA = i, digitsB = j;
            while (i < a.size() && IsDigit(a[i])) ++i;
            while (j < b.size() && IsDigit(b[j])) ++j;
            const size_t lengthA = i - digitsA, lengthB = j - digitsB;
            if (lengthA != lengthB) return lengthA < lengthB ? -1 : 1;
            for (size_t k = 0; k < lengthA; ++k)
                if (a[digitsA + k] != b[digitsB + k]) return a[digitsA + k] < b[digitsB + k] ? -1 : 1;
            // the same value: "01" before "1"
            const size_t zerosA = digitsA - runA, zerosB = digitsB - runB;
            if (zerosA != zerosB) return zerosA > zerosB ? -1 : 1;
            continue;
        }
        const unsigned char ca = static_cast<unsigned char>(Folded(a[i]));
        const unsigned char cb = static_cast<unsigned char>(Folded(b[j]));
        if (ca != cb) return ca < cb ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

}  // namespace

bool NaturalLess(const std::string& a, const std::string& b) {
    const int order = Compare(a, b);
    return order != 0 ? order < 0 : a < b;
}

void NaturalSort(std::vector<std::string>& names) { std::sort(names.begin(), names.end(), NaturalLess); }
