#include "comicarchive.h"

#include <zip.h>

#include <cstdio>
#include <memory>

#include "imports.h"
#include "naturalorder.h"
#include "panelle/format.h"
#include "panelle/picture.h"
#include "panelle/stream.h"

namespace {

constexpr const char* kSeparator = "//";

struct ZipCloser {
    void operator()(zip_t* zip) const { zip_discard(zip); }
};
struct EntryCloser {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};
using Zip = std::unique_ptr<zip_t, ZipCloser>;
using ZipEntry = std::unique_ptr<zip_file_t, EntryCloser>;

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

std::string ZipErrorText(int code) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    std::string text = zip_error_strerror(&error);
    zip_error_fini(&error);
    return text;
}

Zip OpenZip(const std::string& archive, int flags, std::string& error) {
    int code = 0;
    zip_t* zip = zip_open(archive.c_str(), ZIP_RDONLY | flags, &code);
    if (!zip) error = "cannot be read as a zip archive (" + ZipErrorText(code) + ")";
    return Zip(zip);
}

// A name that would leave the folder it was extracted into, were it extracted: absolute, with
// a drive, with Windows separators, or with a ".." part.
bool LeavesArchive(const std::string& name) {
    if (name.empty() || name[0] == '/' || name.find('\\') != std::string::npos) return true;
    if (name.size() >= 2 && name[1] == ':') return true;
    size_t start = 0;
    while (start <= name.size()) {
        const size_t end = std::min(name.find('/', start), name.size());
        if (name.compare(start, end - start, "..") == 0 && end - start == 2) return true;
        start = end + 1;
    }
    return false;
}

// A part of the name starts with "." (".DS_Store", "._001.jpg", ".thumbs/1.jpg").
bool IsHidden(const std::string& name) {
    if (!name.empty() && name[0] == '.') return true;
    if (name.find("/.") != std::string::npos) return true;
    return name.rfind("__MACOSX/", 0) == 0;
}

}  // namespace

bool IsArchiveName(const std::string& path) {
    const std::string lower = Lower(path);
    const auto endsWith = [&](const char* ext) {
        const std::string e = ext;
        return lower.size() > e.size() && lower.compare(lower.size() - e.size(), e.size(), e) == 0;
    };
    return endsWith(".cbz") || endsWith(".zip");
}

std::string ArchivePagePath(const std::string& archive, const std::string& entry) {
    return archive + kSeparator + entry;
}

bool SplitArchivePage(const std::string& path, std::string& archive, std::string& entry) {
    // The first "//" that follows an archive's name; paths of plain files have no "//" (the
    // import cleans them).
    for (size_t at = path.find(kSeparator); at != std::string::npos; at = path.find(kSeparator, at + 1)) {
        if (!IsArchiveName(path.substr(0, at))) continue;
        archive = path.substr(0, at);
        entry = path.substr(at + 2);
        return !entry.empty();
    }
    return false;
}

bool ListArchivePictures(const std::string& archive, std::vector<std::string>& entries, std::string& error) {
    entries.clear();
    // Strict: local headers that disagree with the directory make tools see different files.
    Zip zip = OpenZip(archive, ZIP_CHECKCONS, error);
    if (!zip) return false;
    const zip_int64_t count = zip_get_num_entries(zip.get(), 0);
    if (count < 0) {
        error = "cannot be read as a zip archive";
        return false;
    }
    if (static_cast<uint64_t>(count) > kMaxArchiveEntries) {
        error =
            "holds " + std::to_string(count) + " entries, more than " + std::to_string(kMaxArchiveEntries);
        return false;
    }
    std::vector<std::string> pictures;
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(zip.get(), static_cast<zip_uint64_t>(i), 0, &st) != 0 ||
            !(st.valid & ZIP_STAT_NAME)) {
            error = "entry " + std::to_string(i + 1) + " cannot be read";
            return false;
        }
        const std::string name = st.name;
        if (LeavesArchive(name)) {
            error = "entry " + name + " has a path outside the archive";
            return false;
        }
        if ((st.valid & ZIP_STAT_SIZE) && st.size > kMaxArchiveEntryBytes) {
            error = "entry " + name + " expands to " + std::to_string(st.size) + " bytes, more than " +
                    std::to_string(kMaxArchiveEntryBytes);
            return false;
        }
        if (name.back() == '/' || IsHidden(name) || !IsPictureName(name)) continue;
        if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE) {
            error = "entry " + name + " is encrypted";
            return false;
        }
        pictures.push_back(name);
    }
    if (pictures.empty()) {
        error = "holds no pictures";
        return false;
    }
    NaturalSort(pictures);
    entries = std::move(pictures);
    return true;
}

bool ReadArchiveEntry(const std::string& archive, const std::string& entry, std::vector<uint8_t>& bytes,
                      std::string& error, uint64_t limit) {
    bytes.clear();
    Zip zip = OpenZip(archive, 0, error);
    if (!zip) return false;
    zip_stat_t st;
    zip_stat_init(&st);
    const zip_int64_t index = zip_name_locate(zip.get(), entry.c_str(), 0);
    if (index < 0 || zip_stat_index(zip.get(), static_cast<zip_uint64_t>(index), 0, &st) != 0 ||
        !(st.valid & ZIP_STAT_SIZE)) {
        error = "has no entry " + entry;
        return false;
    }
    if (st.size > limit) {
        error = "entry " + entry + " expands to " + std::to_string(st.size) + " bytes, more than " +
                std::to_string(limit);
        return false;
    }
    ZipEntry file(zip_fopen_index(zip.get(), static_cast<zip_uint64_t>(index), 0));
    if (!file) {
        error = "entry " + entry + " cannot be read (" + zip_strerror(zip.get()) + ")";
        return false;
    }
    // One byte more than declared shows an entry that expands further than its header says.
    std::vector<uint8_t> data(static_cast<size_t>(st.size) + 1);
    uint64_t got = 0;
    while (got < data.size()) {
        const zip_int64_t n = zip_fread(file.get(), data.data() + got, data.size() - got);
        if (n < 0) {
            error = "entry " + entry + " is damaged (" + zip_file_strerror(file.get()) + ")";
            return false;
        }
        if (n == 0) break;
        got += static_cast<uint64_t>(n);
    }
    if (got != st.size) {
        error = "entry " + entry + (got > st.size ? " holds more" : " holds less") + " than the " +
                std::to_string(st.size) + " bytes it declares";
        return false;
    }
    data.resize(static_cast<size_t>(got));
    bytes = std::move(data);
    return true;
}

bool LoadPageFile(Picture& picture, const std::string& path, uint32_t id) {
    std::string archive, entry;
    if (!SplitArchivePage(path, archive, entry)) return picture.Load(path.c_str(), id);
    picture.SetLastError("");
    std::vector<uint8_t> bytes;
    std::string error;
    if (!ReadArchiveEntry(archive, entry, bytes, error)) {
        const size_t slash = archive.find_last_of('/');
        picture.SetLastError(
            (archive.substr(slash == std::string::npos ? 0 : slash + 1) + ": " + error).c_str());
        return false;
    }
    if (bytes.empty()) {
        picture.SetLastError("Load: the picture is empty");
        return false;
    }
    // As a file is loaded: by the format its name gives, else by what detection finds.
    MemoryStream stream(bytes.data(), static_cast<int32_t>(bytes.size()));
    if (id > 0 && id < FormatCount) {
        if (picture.Decode(&stream, id)) return true;
    }
    std::string saved = picture.GetLastError();
    picture.SetLastError("");
    stream.Seek(0, SEEK_SET);
    const bool ok = picture.Decode(&stream, ImageFormat::Unknown);
    if (!ok && id > 0 && !saved.empty()) picture.SetLastError(saved.c_str());
    return ok;
}

std::vector<uint8_t> PageHead(const std::string& path, size_t n) {
    std::vector<uint8_t> head(n);
    std::string archive, entry;
    if (!SplitArchivePage(path, archive, entry)) {
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
        head.resize(file ? std::fread(head.data(), 1, n, file.get()) : 0);
        return head;
    }
    std::string error;
    Zip zip = OpenZip(archive, 0, error);
    ZipEntry file(zip ? zip_fopen(zip.get(), entry.c_str(), 0) : nullptr);
    const zip_int64_t got = file ? zip_fread(file.get(), head.data(), n) : -1;
    head.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return head;
}

std::string PageSourceFile(const std::string& path) {
    std::string archive, entry;
    return SplitArchivePage(path, archive, entry) ? archive : path;
}
