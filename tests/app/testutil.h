// Helpers shared by the builder's tests: a private folder, whole files, and a recorder of
// everything the builder tells the user.
#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "messages.h"
#include "support/archives.h"
#include "support/files.h"

using testsupport::MakeZip;
using testsupport::ReadText;
using testsupport::TempDir;
using testsupport::WriteFile;
using testsupport::ZipEntry;

// A settings file holding the four values and one more line of section SETTING (none when
// `line` is empty), as the key tables write it before reading it back.
inline std::string SettingsWithLine(const char* line) {
    return std::string("[SETTING]\r\nwidth=240\r\nheight=320\r\nprice=1\r\nauthor=a\r\n") +
           (*line ? std::string(line) + "\r\n" : "");
}

inline std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    return names;
}

// Every message in the order the builder gave them, as "kind:text".
class Recorder : public Messages {
   public:
    void Show(const std::string& text) override { log.push_back("show:" + text); }
    void ShowError(const std::string& caption, const std::string& text) override {
        log.push_back("box:" + caption + ":" + text);
    }
    void ShowException(const std::string& text) override { log.push_back("exception:" + text); }
    void Progress(int done, int total) override {
        progress.push_back(std::to_string(done) + "/" + std::to_string(total));
    }
    void Detail(const std::string& text) override { details.push_back(text); }
    // "3/40 page3.jpg": the page announced and its file's name.
    void Converting(int page, int total, const std::string& path) override {
        converting.push_back(std::to_string(page) + "/" + std::to_string(total) + " " +
                             std::filesystem::path(path).filename().string());
    }
    std::vector<std::string> log;
    std::vector<std::string> details;
    std::vector<std::string> progress;
    std::vector<std::string> converting;
};
