#include "archives.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <cstdlib>
#include <cstring>

namespace testsupport {

std::string MakeZip(const std::string& path,
                    const std::vector<std::pair<std::string, std::string>>& entries) {
    int error = 0;
    zip_t* zip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    EXPECT_NE(zip, nullptr) << path;
    if (!zip) return path;
    for (const auto& [name, data] : entries) {
        if (!name.empty() && name.back() == '/') {
            EXPECT_GE(zip_dir_add(zip, name.c_str(), ZIP_FL_ENC_UTF_8), 0) << name;
            continue;
        }
        // The source owns a copy of the data and frees it when the archive is written; libzip
        // keeps no buffer of an empty entry, so that one gets none.
        char* copy = nullptr;
        if (!data.empty()) {
            copy = static_cast<char*>(std::malloc(data.size()));
            std::memcpy(copy, data.data(), data.size());
        }
        zip_source_t* source = zip_source_buffer(zip, copy, data.size(), copy != nullptr);
        const zip_int64_t index = zip_file_add(zip, name.c_str(), source, ZIP_FL_ENC_UTF_8);
        EXPECT_GE(index, 0) << name << ": " << zip_strerror(zip);
        if (index >= 0)
            zip_set_file_compression(zip, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 9);
        else if (source)
            zip_source_free(source);
    }
    EXPECT_EQ(zip_close(zip), 0) << path;
    return path;
}

std::string ZipEntry(const std::string& archive, const std::string& name) {
    int error = 0;
    zip_t* zip = zip_open(archive.c_str(), ZIP_RDONLY, &error);
    if (!zip) return "<no archive>";
    std::string data = "<missing>";
    zip_stat_t st;
    if (zip_stat(zip, name.c_str(), 0, &st) == 0) {
        if (zip_file_t* f = zip_fopen(zip, name.c_str(), 0)) {
            data.assign(st.size, '\0');
            if (zip_fread(f, data.data(), st.size) != static_cast<zip_int64_t>(st.size)) data = "<short>";
            zip_fclose(f);
        }
    }
    zip_discard(zip);
    return data;
}

}  // namespace testsupport
