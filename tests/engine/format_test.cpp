#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "format.h"
#include "picture.h"
#include "stream.h"

namespace {

// A private folder per test, removed with everything in it.
class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/panelle-format-XXXXXX";
        path_ = mkdtemp(pattern);
    }
    ~TempDir() {
        for (const std::string& name : Entries()) std::remove((path_ + "/" + name).c_str());
        rmdir(path_.c_str());
    }
    std::string File(const char* name) const { return path_ + "/" + name; }
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        if (DIR* dir = opendir(path_.c_str())) {
            while (dirent* e = readdir(dir))
                if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..")) names.push_back(e->d_name);
            closedir(dir);
        }
        return names;
    }

private:
    std::string path_;
};

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Picture Checkerboard() {
    Picture p(6, 4, 24, 0);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            p.SetPixelColor(x, y, RGBQUAD{static_cast<uint8_t>(x * 40), static_cast<uint8_t>(y * 60), 200, 0});
    return p;
}

}  // namespace

TEST(FormatNames, NamesAndAliasesRoundTrip) {
    EXPECT_STREQ(FormatName(ImageFormat::Wbmp), "wbmp");
    EXPECT_STREQ(FormatName(99), "unknown");
    EXPECT_EQ(FormatFromName("JPEG"), static_cast<uint32_t>(ImageFormat::Jpg));
    EXPECT_EQ(FormatFromName("tiff"), static_cast<uint32_t>(ImageFormat::Tif));
    EXPECT_EQ(FormatFromName("ras"), static_cast<uint32_t>(ImageFormat::Ras));
    EXPECT_EQ(FormatFromName("doc"), 0u);
    for (uint32_t id = 1; id < FormatCount; ++id) EXPECT_EQ(FormatFromName(FormatName(id)), id);
}

TEST(Dispatch, TextFileFailsWithTheNamedCodecsReason) {
    TempDir dir;
    const std::string text = dir.File("notes.bmp");
    WriteText(text, "hello, this is certainly not a picture of any kind\n");
    Picture p;
    EXPECT_FALSE(p.Load(text.c_str(), ImageFormat::Bmp));
    EXPECT_STREQ(p.GetLastError(), "Error reading BMP info");
    EXPECT_FALSE(p.Load(text.c_str(), ImageFormat::Unknown));
    EXPECT_STREQ(p.GetLastError(), "Decode: Unknown or wrong format");
}

TEST(Dispatch, MissingFileKeepsLastErrorAndPicture) {
    Picture p(3, 3, 8, ImageFormat::Bmp);
    p.SetLastError("earlier");
    EXPECT_FALSE(p.Load("/nonexistent/panelle/none.bmp", ImageFormat::Bmp));
    EXPECT_STREQ(p.GetLastError(), "earlier");
    EXPECT_TRUE(p.IsValid());
}

TEST(Dispatch, WrongExtensionStillLoadsByDetection) {
    TempDir dir;
    Picture src = Checkerboard();
    const std::string file = dir.File("really-a-bmp.png");
    ASSERT_TRUE(src.Save(file.c_str(), ImageFormat::Bmp));
    Picture p;
    ASSERT_TRUE(p.Load(file.c_str(), ImageFormat::Png));
    EXPECT_EQ(p.GetType(), static_cast<uint32_t>(ImageFormat::Bmp));
    EXPECT_EQ(p.GetPixelColor(5, 3, false), src.GetPixelColor(5, 3, false));
}

TEST(Dispatch, FailedDecodeLeavesThePictureUntouched) {
    Picture p = Checkerboard();
    const uint8_t* dib = p.dib;
    uint8_t junk[32] = {'B', 'M'};
    MemoryStream s(junk, sizeof junk);
    EXPECT_FALSE(p.Decode(&s, ImageFormat::Bmp));
    EXPECT_EQ(p.dib, dib);
    EXPECT_EQ(p.GetWidth(), 6u);
    EXPECT_EQ(p.GetPixelColor(1, 1, false), (RGBQUAD{40, 60, 200, 0}));
}

TEST(Dispatch, DetectionStartsAtTheStreamsPosition) {
    Picture src = Checkerboard();
    MemoryStream out;
    ASSERT_TRUE(out.Open());
    out.Write("xyz", 1, 3);
    ASSERT_TRUE(src.Encode(&out, ImageFormat::Bmp));
    ASSERT_TRUE(out.Seek(3, 0));
    Picture p;
    ASSERT_TRUE(p.Decode(&out, ImageFormat::Unknown));
    EXPECT_EQ(p.GetWidth(), 6u);
    EXPECT_EQ(p.GetPixelColor(2, 0, false), src.GetPixelColor(2, 0, false));
}

TEST(Dispatch, DecoderSeesTheCallersRequests) {
    Picture src = Checkerboard();
    MemoryStream out;
    ASSERT_TRUE(out.Open());
    ASSERT_TRUE(src.Encode(&out, ImageFormat::Bmp));
    out.Seek(0, 0);
    Picture p;
    p.SetEscape(-1);
    ASSERT_TRUE(p.Decode(&out, ImageFormat::Bmp));
    EXPECT_FALSE(p.IsValid());
    EXPECT_EQ(p.GetWidth(), 6u);
    EXPECT_EQ(p.GetHeight(), 4u);
    EXPECT_STREQ(p.GetLastError(), "output dimensions returned");
}

TEST(Dispatch, BadIdsAndArgumentsFailWithTheirTexts) {
    Picture p = Checkerboard();
    MemoryStream out;
    ASSERT_TRUE(out.Open());
    EXPECT_FALSE(p.Encode(&out, ImageFormat::Unknown));
    EXPECT_STREQ(p.GetLastError(), "Encode: Unknown format");
    EXPECT_FALSE(p.Encode(&out, 16));
    EXPECT_STREQ(p.GetLastError(), "Encode: Unknown format");
    EXPECT_FALSE(p.Decode(&out, 16));
    EXPECT_STREQ(p.GetLastError(), "Decode: Unknown or wrong format");
    EXPECT_FALSE(p.Decode(static_cast<ByteStream*>(nullptr), ImageFormat::Unknown));
    EXPECT_FALSE(p.Encode(static_cast<ByteStream*>(nullptr), ImageFormat::Bmp));
    EXPECT_STREQ(p.GetLastError(), "null file handler");
    Picture empty;
    EXPECT_FALSE(empty.Encode(&out, ImageFormat::Bmp));
    EXPECT_STREQ(empty.GetLastError(), "null image!!!");
}

TEST(Dispatch, EncodingLeavesThePictureAsItWas) {
    Picture p = Checkerboard();
    Picture before(p, true, true, true);
    MemoryStream out;
    ASSERT_TRUE(out.Open());
    ASSERT_TRUE(p.Encode(&out, ImageFormat::Bmp));
    EXPECT_EQ(0, std::memcmp(p.dib, before.dib, p.GetSize()));
    EXPECT_TRUE(p.IsValid());
}

TEST(Save, FailedSaveKeepsTheExistingFileAndLeavesNoTemporary) {
    TempDir dir;
    const std::string target = dir.File("page.bmp");
    WriteText(target, "precious");
    Picture p = Checkerboard();
    EXPECT_FALSE(p.Save(target.c_str(), ImageFormat::Unknown));
    EXPECT_STREQ(p.GetLastError(), "Encode: Unknown format");
    EXPECT_EQ(ReadAll(target), "precious");
    Picture empty;
    EXPECT_FALSE(empty.Save(target.c_str(), ImageFormat::Bmp));
    EXPECT_EQ(ReadAll(target), "precious");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"page.bmp"});
}

TEST(Save, FailedSaveOfANewFileCreatesNothing) {
    TempDir dir;
    Picture p = Checkerboard();
    EXPECT_FALSE(p.Save(dir.File("new.xyz").c_str(), ImageFormat::Unknown));
    EXPECT_TRUE(dir.Entries().empty());
    EXPECT_FALSE(p.Save("/nonexistent/panelle/dir/new.bmp", ImageFormat::Bmp));
}

TEST(Save, SuccessfulSaveReplacesTheFileWhole) {
    TempDir dir;
    const std::string target = dir.File("page.bmp");
    WriteText(target, std::string(100000, 'x'));  // longer than the picture: nothing of it may remain
    Picture p = Checkerboard();
    ASSERT_TRUE(p.Save(target.c_str(), ImageFormat::Bmp));
    MemoryStream expected;
    ASSERT_TRUE(expected.Open());
    ASSERT_TRUE(p.Encode(&expected, ImageFormat::Bmp));
    EXPECT_EQ(ReadAll(target), std::string(reinterpret_cast<char*>(expected.buffer), expected.size));
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"page.bmp"});
}

TEST(Dispatch, FormatsWithoutACodecFailWithAClearText) {
    // Every id has a slot; those whose codec is not built yet say so instead of pretending.
    Picture p = Checkerboard();
    MemoryStream out;
    ASSERT_TRUE(out.Open());
    for (uint32_t id = 1; id < FormatCount; ++id) {
        p.SetLastError("");
        const bool ok = p.Encode(&out, id);
        if (!ok) {
            EXPECT_STRNE(p.GetLastError(), "") << FormatName(id);
        }
    }
}

TEST(Save, NewFilesFollowTheUmaskAndReplacedFilesKeepTheirMode) {
    TempDir dir;
    Picture p = Checkerboard();
    const mode_t mask = umask(027);
    const std::string fresh = dir.File("fresh.bmp"), kept = dir.File("kept.bmp");
    ASSERT_TRUE(p.Save(fresh.c_str(), ImageFormat::Bmp));
    WriteText(kept, "old");
    chmod(kept.c_str(), 0604);
    ASSERT_TRUE(p.Save(kept.c_str(), ImageFormat::Bmp));
    umask(mask);
    struct stat st;
    ASSERT_EQ(stat(fresh.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    ASSERT_EQ(stat(kept.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0604u);
}
