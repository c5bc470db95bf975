// Zip archives in tests: writing one from entries, reading an entry back.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// Writes a zip archive of (name, data) entries, each deflated; a name ending in '/' is a
// folder entry. Failures fail the calling test. Returns the path.
std::string MakeZip(const std::string& path, const std::vector<std::pair<std::string, std::string>>& entries);

// An entry of a zip archive: "<no archive>" when the archive cannot be opened, "<missing>"
// when it has no such entry, "<short>" when it cannot be read whole.
std::string ZipEntry(const std::string& archive, const std::string& name);

}  // namespace testsupport
