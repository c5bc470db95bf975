// Comic archives (CBZ, which is a zip archive of pictures): their pictures as pages of a book.
// An archive's page is named by the archive's path, "//" and the entry's name inside it; the
// picture is read from the archive whenever the page is loaded, never extracted to disk.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class Picture;

// What an archive may hold before it is refused as hostile: a book has at most 4090 pages,
// and a page is read whole into memory before it is decoded.
constexpr uint64_t kMaxArchiveEntries = 4096;
constexpr uint64_t kMaxArchiveEntryBytes = uint64_t{256} << 20;

// Whether the path names a comic archive by its extension (.cbz or .zip, in any case).
bool IsArchiveName(const std::string& path);

// The page path of an entry of an archive, and back: false when path names no archive page.
std::string ArchivePagePath(const std::string& archive, const std::string& entry);
bool SplitArchivePage(const std::string& path, std::string& archive, std::string& entry);

// The archive's pictures in natural order of their names: entries that are folders, hidden
// (a part of the name starting with "."), or not named as pictures are left out. False with
// a reason in error when the archive cannot be read or is hostile (an entry's name leaving
// the archive, too many entries, an entry larger than kMaxArchiveEntryBytes, an encrypted
// picture, no picture at all); entries is then empty.
bool ListArchivePictures(const std::string& archive, std::vector<std::string>& entries, std::string& error);

// Reads one entry whole, refusing one that declares or turns out to hold more than limit
// bytes, or more than it declares. False with a reason in error.
bool ReadArchiveEntry(const std::string& archive, const std::string& entry, std::vector<uint8_t>& bytes,
                      std::string& error, uint64_t limit = kMaxArchiveEntryBytes);

// Loads a page's picture as Picture::Load does, from its file or from its archive; a page that
// cannot be read from its archive leaves the reason in the picture's last error.
bool LoadPageFile(Picture& picture, const std::string& path, uint32_t id);

// Up to n first bytes of a page's file or archive entry (fewer when it is shorter or unreadable).
std::vector<uint8_t> PageHead(const std::string& path, size_t n);

// The file a page is read from: the page's own path, or its archive.
std::string PageSourceFile(const std::string& path);
