#include "profiles.h"

namespace {

// The figures are those commonly quoted for each class of phone in handset makers' developer
// specifications and the developer forums of the time; the phones of one screen size differ,
// so each figure is one that the common phones of that size reach. The heap is what a MIDlet
// can count on for one decoded picture beside the viewer itself, not the whole Java heap.
constexpr PhoneProfile kProfiles[] = {
    // Nokia Series 40 1st edition (7210, 6610, 3510i, 3100): about 200 KB of Java heap and
    // a published limit of 64 KB per JAR.
    {"128x128", 128, 128, 200, 64},
    // Sony Ericsson T610/T630/K300, Siemens C65-class and Motorola C650-class phones: about
    // 256-512 KB of heap; 64 KB is the JAR limit of the older ones among them (T610, C65).
    {"128x160", 128, 160, 256, 64},
    // Nokia Series 60 1st edition (7650, 3650, N-Gage): a heap that grows to about 1.4 MB, of
    // which about 1 MB is free for pictures; no fixed JAR limit (the suite must fit the free
    // storage), 1 MB kept as the size operators' download gateways of the time took.
    {"176x208", 176, 208, 1024, 1024},
    // Motorola E398/V3, Sony Ericsson K700/K500: about 800 KB of heap on the Motorolas (more
    // on the Sony Ericssons); Motorola's published JAR limit is 100 KB.
    {"176x220", 176, 220, 800, 100},
    // Sony Ericsson K750/K800/W810 and Series 40 3rd edition phones (6280): 1.5-2 MB of heap,
    // JAR limits of 1 MB (Series 40 3rd edition publishes 1 MB).
    {"240x320", 240, 320, 2048, 1024},
    // Nokia Series 60 3rd edition landscape phones (E61, E62, E70 opened): about 2 MB free
    // heap; no fixed JAR limit, 1 MB kept as for the portrait Series 60 phones.
    {"320x240", 320, 240, 2048, 1024},
    // Nokia Series 60 2nd/3rd edition with the larger screen (N80, N90, E60): about 2 MB free
    // heap, no fixed JAR limit; 1 MB as above.
    {"352x416", 352, 416, 2048, 1024},
};

}  // namespace

std::span<const PhoneProfile> PhoneProfiles() { return kProfiles; }

const PhoneProfile* FindProfile(const std::string& name) {
    for (const PhoneProfile& p : kProfiles)
        if (name == p.name) return &p;
    return nullptr;
}

std::string ProfileNames() {
    std::string names;
    for (const PhoneProfile& p : kProfiles) names += (names.empty() ? "" : ", ") + std::string(p.name);
    return names;
}
