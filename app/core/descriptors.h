// The two descriptions of a MIDlet suite: the manifest inside the JAR and the JAD beside it.
// Both are lines of key, ": ", value and CR LF, in UTF-8.
#pragma once

#include <array>
#include <cstdint>
#include <string>

class Messages;

inline constexpr std::array<const char*, 11> JadKeys = {"MIDlet-1: ",
                                                        "MIDlet-Description: ",
                                                        "MIDlet-Icon: ",
                                                        "MIDlet-Jar-Size: ",
                                                        "MIDlet-Jar-URL: ",
                                                        "MIDlet-Name: ",
                                                        "MIDlet-Vendor: ",
                                                        "MIDlet-Version: ",
                                                        "Media-Price: ",
                                                        "MicroEdition-Configuration: ",
                                                        "MicroEdition-Profile: "};

// The longest line of a JAR manifest, in bytes without its CR LF.
constexpr size_t kManifestLineBytes = 72;

// A manifest line as the JAR format lays it out: a line longer than kManifestLineBytes goes
// on in lines that start with one space, cut between characters; each ends in CR LF.
std::string ManifestLine(const std::string& line);

// The book name as the first of the three comma-separated parts of "MIDlet-1": each comma
// becomes a full-width comma, which reads the same and separates nothing.
std::string MidletName(const std::string& bookName);

// The manifest's eight lines for a book name.
std::string ManifestText(const std::string& bookName);

// The JAD's eleven lines.
std::string JadText(const std::string& bookName, int64_t jarSize, const std::string& jarFileName,
                    int32_t price);

// Replaces the content of the staged manifest (which must exist); shows
// "open manifest error!" when it cannot be opened.
void WriteManifest(const std::string& manifestPath, const std::string& bookName, Messages& messages);

// The JAD path for a JAR path: its extension replaced by "jad" ("book.jar" -> "book.jad").
std::string JadPathFor(const std::string& jarPath);

// Writes the JAD beside the finished JAR; false (reported) when it cannot be written.
bool WriteJad(const std::string& jarPath, const std::string& bookName, int32_t price, Messages& messages);

class AtomicFile;

// The JAD for a JAR of jarSize bytes at jarPath, written into `jad` (beside JadPathFor of
// jarPath) for the caller to commit; false (reported) when it cannot be written.
bool WriteJad(AtomicFile& jad, const std::string& jarPath, int64_t jarSize, const std::string& bookName,
              int32_t price, Messages& messages);
