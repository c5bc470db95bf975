// The four defaults that survive between runs, in an INI file, section "SETTING".
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// A Windows-style INI file: sections of key=value lines. Unknown sections, keys and
// comments are kept as they were when the file is written back.
class IniFile {
   public:
    explicit IniFile(std::string path) : path_(std::move(path)) {}
    // Reads the file; a missing file reads as empty.
    void Load();
    // Writes the file through a temporary file beside it; false when that failed.
    bool Save() const;
    bool Get(const std::string& section, const std::string& key, std::string& value) const;
    void Set(const std::string& section, const std::string& key, const std::string& value);
    const std::string& path() const { return path_; }

   private:
    struct Line {
        std::string text;     // the line as read (comments, blank lines, sections)
        std::string section;  // lower-case section the line belongs to
        std::string key;      // lower-case key of a key=value line, else empty
    };
    std::string path_;
    std::vector<Line> lines_;
    bool byteOrderMark_ = false;
};

// How pages are written. The defaults keep every page as its picture is.
struct PageFit {
    int32_t fit = 0;     // 0 own size, 1 fitted to the screen width, 2 the whole page inside the screen
    int32_t grey = 0;    // 1: 8-bit grey
    int32_t colors = 0;  // 0 keep, else at most this many colours (2..256)
    int32_t dither = 0;  // 1: colour reduction diffuses the error
    int32_t split = 0;   // pages wider than tall become two: 1 left half first, 2 right half first
    bool operator==(const PageFit&) const = default;
};

// What the phone can hold. The defaults check nothing and keep the book in one archive.
struct PhoneBudget {
    int32_t heap = 0;      // KB a decoded page may take (width x height x 4), 0: no check
    int32_t jarLimit = 0;  // KB the largest archive the phone installs may have, 0: no limit
    bool operator==(const PhoneBudget&) const = default;
};

// The largest value either budget key takes, in KB (1 GB).
constexpr int32_t kMaxBudgetKb = 1 << 20;

struct BookSettings {
    std::string author = "Kavoo网";
    int32_t width = 176;
    int32_t height = 208;
    int32_t price = 0;
    PageFit pageFit;
    int32_t reader = 0;  // the viewer the book carries: 0 the classic reader, 1 the flowing one
    PhoneBudget budget;
};

// The settings file: panelle.INI beside the executable when that folder is writable,
// otherwise $XDG_CONFIG_HOME/panelle/panelle.INI (or ~/.config/panelle/panelle.INI).
std::string SettingsPath();

// Reads the four values; each value that equals its default (a missing or unreadable value,
// or a negative price, included) is written back, so the file holds all four keys afterwards.
BookSettings ReadSettings(const std::string& path);

// Writes the four values in the order width, height, price, author, then the page-fit and
// budget keys and "reader" where they are not at their default or are already in the file;
// false when the file cannot be written. Those keys are read without being written back (a
// missing, unreadable or out-of-range value reads as the default), so a file that never chose
// them keeps only the four.
bool SaveSettings(const std::string& path, const BookSettings& settings);
