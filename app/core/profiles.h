// Common MIDP 1.0 phones by screen: the size of a page the phone can decode and the largest
// archive it installs, so that a book can be made to fit one class of phone by its name.
#pragma once

#include <cstdint>
#include <span>
#include <string>

struct PhoneProfile {
    const char* name;  // "176x220": the screen's width x height
    int32_t width;
    int32_t height;
    int32_t heap;      // KB a decoded page may take
    int32_t jarLimit;  // KB the largest archive the phone installs
};

// Every profile, smallest screen first.
std::span<const PhoneProfile> PhoneProfiles();

// The profile of this name, or none.
const PhoneProfile* FindProfile(const std::string& name);

// The profiles' names, separated by ", " ("128x128, 128x160, ...").
std::string ProfileNames();
