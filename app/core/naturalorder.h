// The order a person expects of numbered file names: "page2" before "page10", letters
// compared without regard to case.
#pragma once

#include <string>
#include <vector>

// True when a comes before b: runs of digits compare by their value (a run with more leading
// zeros comes first among equal values), ASCII letters without regard to case, other bytes as
// they are. Names equal under those rules fall back to plain byte order, so the order is
// total and the same on every run.
bool NaturalLess(const std::string& a, const std::string& b);

// Sorts names into natural order.
void NaturalSort(std::vector<std::string>& names);
