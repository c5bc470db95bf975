#include "settings.h"

#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "files.h"
#include "text.h"

namespace {

constexpr const char* kSection = "SETTING";

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// A decimal integer filling the whole value, within 32 bits.
bool ParseInt(const std::string& text, int32_t& value) {
    const std::string t = Trim(text);
    if (t.empty()) return false;
    size_t i = (t[0] == '-' || t[0] == '+') ? 1 : 0;
    if (i == t.size()) return false;
    for (size_t k = i; k < t.size(); ++k)
        if (!std::isdigit(static_cast<unsigned char>(t[k]))) return false;
    errno = 0;
    const long long v = std::strtoll(t.c_str(), nullptr, 10);
    if (errno || v < INT32_MIN || v > INT32_MAX) return false;
    value = static_cast<int32_t>(v);
    return true;
}

// The XDG configuration home (~/.config unless XDG_CONFIG_HOME names another); the current
// folder when not even HOME is set.
std::string ConfigFolder() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) return xdg;
    if (const char* home = std::getenv("HOME"); home && *home) return std::string(home) + "/.config";
    return ".";
}

// The keys that are written only once chosen, with their least and greatest values;
// anything else reads as the default.
template <class Group>
struct OptionalKey {
    const char* key;
    int32_t Group::*field;
    int32_t least, most;
};
constexpr OptionalKey<PageFit> kPageFitKeys[] = {
    {"fit", &PageFit::fit, 0, 2},         {"grey", &PageFit::grey, 0, 1},
    {"colors", &PageFit::colors, 2, 256}, {"dither", &PageFit::dither, 0, 1},
    {"split", &PageFit::split, 0, 2},
};
constexpr OptionalKey<PhoneBudget> kBudgetKeys[] = {
    {"heap", &PhoneBudget::heap, 0, kMaxBudgetKb},
    {"jarlimit", &PhoneBudget::jarLimit, 0, kMaxBudgetKb},
};

// "reader": 0 the classic viewer, 1 the flowing one.
constexpr const char* kReaderKey = "reader";

int32_t ReadReader(const IniFile& ini) {
    std::string text;
    int32_t value = 0;
    return ini.Get(kSection, kReaderKey, text) && ParseInt(text, value) && (value == 0 || value == 1) ? value
                                                                                                      : 0;
}

void SetReader(IniFile& ini, int32_t reader) {
    std::string old;
    if (reader != 0 || ini.Get(kSection, kReaderKey, old))
        ini.Set(kSection, kReaderKey, std::to_string(reader));
}

template <class Group, size_t N>
Group ReadOptional(const IniFile& ini, const OptionalKey<Group> (&keys)[N]) {
    Group group;
    for (const OptionalKey<Group>& k : keys) {
        std::string text;
        int32_t value = 0;
        if (ini.Get(kSection, k.key, text) && ParseInt(text, value) && value >= k.least && value <= k.most)
            group.*k.field = value;
    }
    return group;
}

template <class Group, size_t N>
void SetOptional(IniFile& ini, const Group& group, const OptionalKey<Group> (&keys)[N]) {
    const Group defaults;
    for (const OptionalKey<Group>& k : keys) {
        std::string old;
        if (group.*k.field != defaults.*k.field || ini.Get(kSection, k.key, old))
            ini.Set(kSection, k.key, std::to_string(group.*k.field));
    }
}

}  // namespace

void IniFile::Load() {
    lines_.clear();
    byteOrderMark_ = false;
    std::ifstream in(path_, std::ios::binary);
    std::string line, section;
    bool first = true;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        // an editor's byte-order mark is not part of the first line; it is written back as read
        if (first && line.rfind(kUtf8ByteOrderMark, 0) == 0) {
            byteOrderMark_ = true;
            line.erase(0, 3);
        }
        first = false;
        Line entry{line, section, ""};
        const std::string t = Trim(line);
        if (!t.empty() && t.front() == '[' && t.back() == ']') {
            section = Lower(Trim(t.substr(1, t.size() - 2)));
            entry.section = section;
        } else if (!t.empty() && t[0] != ';' && t.find('=') != std::string::npos) {
            entry.key = Lower(Trim(t.substr(0, t.find('='))));
        }
        lines_.push_back(std::move(entry));
    }
}

bool IniFile::Save() const {
    std::string out = byteOrderMark_ ? kUtf8ByteOrderMark : "";
    for (const Line& l : lines_) out += l.text + "\r\n";
    return WriteFileAtomically(path_, out);
}

bool IniFile::Get(const std::string& section, const std::string& key, std::string& value) const {
    const std::string s = Lower(section), k = Lower(key);
    for (const Line& l : lines_) {
        if (l.section != s || l.key != k) continue;
        value = Trim(l.text.substr(l.text.find('=') + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        return true;
    }
    return false;
}

void IniFile::Set(const std::string& section, const std::string& key, const std::string& value) {
    const std::string s = Lower(section), k = Lower(key);
    size_t lastOfSection = lines_.size();
    bool sectionSeen = false;
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].section != s) continue;
        if (lines_[i].key == k) {
            lines_[i].text = key + "=" + value;
            return;
        }
        sectionSeen = true;
        // keep new keys before the blank lines that close the section
        if (!Trim(lines_[i].text).empty()) lastOfSection = i;
    }
    if (!sectionSeen) {
        lines_.push_back({"[" + section + "]", s, ""});
        lastOfSection = lines_.size() - 1;
    }
    lines_.insert(lines_.begin() + static_cast<long>(lastOfSection) + 1, Line{key + "=" + value, s, k});
}

std::string SettingsPath() {
    const std::string folder = ExecutableFolder();
    if (access(folder.c_str(), W_OK) == 0) return folder + "/panelle.INI";
    const std::string config = ConfigFolder();
    std::error_code ignored;
    std::filesystem::create_directories(config + "/panelle", ignored);
    return config + "/panelle/panelle.INI";
}

BookSettings ReadSettings(const std::string& path) {
    IniFile ini(path);
    ini.Load();
    const BookSettings defaults;
    BookSettings s;
    bool writeBack = false;
    const auto readInt = [&](const char* key, int32_t fallback, int32_t least) {
        std::string text;
        int32_t value = fallback;
        if (!ini.Get(kSection, key, text) || !ParseInt(text, value) || value < least) value = fallback;
        if (value == fallback) {
            ini.Set(kSection, key, std::to_string(value));
            writeBack = true;
        }
        return value;
    };
    s.width = readInt("width", defaults.width, INT32_MIN);
    s.height = readInt("height", defaults.height, INT32_MIN);
    s.price = readInt("price", defaults.price, 0);  // no book is sold below nothing
    std::string author;
    if (!ini.Get(kSection, "author", author)) author = defaults.author;
    if (author == defaults.author) {
        ini.Set(kSection, "author", author);
        writeBack = true;
    }
    s.author = author;
    s.pageFit = ReadOptional(ini, kPageFitKeys);
    s.budget = ReadOptional(ini, kBudgetKeys);
    s.reader = ReadReader(ini);
    if (writeBack) ini.Save();  // a folder that cannot be written keeps the defaults in memory
    return s;
}

bool SaveSettings(const std::string& path, const BookSettings& settings) {
    IniFile ini(path);
    ini.Load();
    ini.Set(kSection, "width", std::to_string(settings.width));
    ini.Set(kSection, "height", std::to_string(settings.height));
    ini.Set(kSection, "price", std::to_string(settings.price));
    ini.Set(kSection, "author", settings.author);
    SetOptional(ini, settings.pageFit, kPageFitKeys);
    SetOptional(ini, settings.budget, kBudgetKeys);
    SetReader(ini, settings.reader == 1 ? 1 : 0);
    return ini.Save();
}
