// A book cut into volumes at page boundaries, each a complete suite no larger than the
// archive limit a phone installs.
#pragma once

#include <cstdint>
#include <string>

class Book;
class Messages;

// The name a volume goes by: the book's name, and " K/N" when there are several.
std::string VolumeName(const std::string& bookName, int32_t k, int32_t n);

// The archive of volume K of N beside jarPath: jarPath itself for one volume, else its name
// with "-K" before the extension ("book.jar" -> "book-2.jar").
std::string VolumePath(const std::string& jarPath, int32_t k, int32_t n);

// Writes the converted book in `staging` (the templates, `pictures` page pictures N.png and
// their descriptions in book.written) as few archives as hold it within limitBytes, each with
// its JAD, beside book.jarPath; every archive is measured as written. Nothing replaces or
// adds to the files there unless every volume is complete. A page that alone makes an
// archive larger than the limit is named and nothing is written. Fills book.outcome.
bool WriteVolumes(Book& book, const std::string& staging, int32_t pictures, int64_t limitBytes,
                  Messages& messages);
