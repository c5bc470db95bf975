// What an import takes from the paths it is given (a dialog's files, a drop, the command
// line): a picture file stands for itself, a folder for its pictures and a comic archive
// for the pictures inside it, each in natural order of their names.
#pragma once

#include <string>
#include <vector>

// Whether a file's name has the extension of a picture format the engine reads.
bool IsPictureName(const std::string& name);

struct ImportedPaths {
    std::vector<std::string> pages;     // page paths, in the order they are to be added
    std::vector<std::string> problems;  // one line per path that gave nothing, saying why
};

// Expands the paths in the order given: a folder gives the pictures directly inside it
// (hidden files and other files left out), a .cbz or .zip file the pictures inside it
// (ListArchivePictures), any other path itself, whether or not it exists yet (only the
// path is recorded). A folder or archive that gives nothing (no pictures, unreadable,
// hostile) adds a line to problems and nothing to pages.
ImportedPaths ExpandImports(const std::vector<std::string>& paths);
