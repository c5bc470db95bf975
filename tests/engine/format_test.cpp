#include "format.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "picture.h"
#include "stream.h"
#include "support/files.h"

namespace {

using testsupport::TempDir;
using testsupport::WriteFile;

Picture Checkerboard() {
    Picture p(6, 4, 24, 0);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            p.SetPixelColor(x, y,
                            RGBQUAD{static_cast<uint8_t>(x * 40), static_cast<uint8_t>(y * 60), 200, 0});
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
    WriteFile(text, "hello, this is certainly not a picture of any kind\n");
    Picture p;
    EXPECT_FALSE(p.Load(text.c_str(), ImageFormat::Bmp));
    EXPECT_STREQ(p.GetLastError(), "Error reading BMP info");
    EXPECT_FALSE(p.Load(text.c_str(), ImageFormat::Unknown));
    EXPECT_STREQ(p.GetLastError(), "Decode: Unknown or wrong format");
}

TEST(Dispatch, MissingFileSaysWhyAndKeepsThePicture) {
    for (const uint32_t id : {uint32_t{ImageFormat::Bmp}, uint32_t{ImageFormat::Unknown}}) {
        Picture p(3, 3, 8, ImageFormat::Bmp);
        p.SetLastError("earlier");
        EXPECT_FALSE(p.Load("/nonexistent/panelle/none.bmp", id));
        EXPECT_STREQ(p.GetLastError(), "Load: No such file or directory") << id;
        EXPECT_TRUE(p.IsValid());
        EXPECT_EQ(p.GetWidth(), 3u);
    }
}

TEST(Dispatch, SuccessfulLoadClearsAnEarlierFailure) {
    TempDir dir;
    const std::string file = dir.File("page.jpg");  // a BMP by content: the named attempt fails
    ASSERT_TRUE(Checkerboard().Save(file.c_str(), ImageFormat::Bmp));
    Picture p;
    EXPECT_FALSE(p.Load(dir.File("missing.bmp").c_str(), ImageFormat::Bmp));
    EXPECT_STRNE(p.GetLastError(), "");
    ASSERT_TRUE(p.Load(file.c_str(), ImageFormat::Jpg));
    EXPECT_STREQ(p.GetLastError(), "");
    ASSERT_TRUE(p.Load(file.c_str(), ImageFormat::Bmp));
    EXPECT_STREQ(p.GetLastError(), "");
}

TEST(Dispatch, DetectionKeepsTheFrameCountOfTheCaller) {
    // A one-frame GIF asked for its sixth frame: named, the GIF codec's failure reports the
    // frames there are; merely tried during detection, it must not.
    Picture gif(4, 4, 8, 0);
    MemoryStream file;
    ASSERT_TRUE(file.Open());
    ASSERT_TRUE(gif.Encode(&file, ImageFormat::Gif));
    for (const uint32_t id : {uint32_t{ImageFormat::Gif}, uint32_t{ImageFormat::Unknown}}) {
        Picture p;
        p.info.frameCount = 7;
        p.SetFrame(5);
        file.Seek(0, 0);
        EXPECT_FALSE(p.Decode(&file, id));
        EXPECT_EQ(p.GetFrameCount(), id == ImageFormat::Gif ? 1 : 7) << id;
    }
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
    WriteFile(target, "precious");
    Picture p = Checkerboard();
    EXPECT_FALSE(p.Save(target.c_str(), ImageFormat::Unknown));
    EXPECT_STREQ(p.GetLastError(), "Encode: Unknown format");
    EXPECT_EQ(testsupport::ReadText(target), "precious");
    Picture empty;
    EXPECT_FALSE(empty.Save(target.c_str(), ImageFormat::Bmp));
    EXPECT_EQ(testsupport::ReadText(target), "precious");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"page.bmp"});
}

TEST(Save, FailedSaveOfANewFileCreatesNothing) {
    TempDir dir;
    Picture p = Checkerboard();
    EXPECT_FALSE(p.Save(dir.File("new.xyz").c_str(), ImageFormat::Unknown));
    EXPECT_TRUE(dir.Entries().empty());
    EXPECT_FALSE(p.Save("/nonexistent/panelle/dir/new.bmp", ImageFormat::Bmp));
    EXPECT_STREQ(p.GetLastError(), "Save: No such file or directory");
}

TEST(Save, SuccessfulSaveReplacesTheFileWhole) {
    TempDir dir;
    const std::string target = dir.File("page.bmp");
    WriteFile(target, std::string(100000, 'x'));  // longer than the picture: nothing of it may remain
    Picture p = Checkerboard();
    ASSERT_TRUE(p.Save(target.c_str(), ImageFormat::Bmp));
    MemoryStream expected;
    ASSERT_TRUE(expected.Open());
    ASSERT_TRUE(p.Encode(&expected, ImageFormat::Bmp));
    EXPECT_EQ(testsupport::ReadText(target),
              std::string(reinterpret_cast<char*>(expected.buffer), expected.size));
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
    WriteFile(kept, "old");
    chmod(kept.c_str(), 0604);
    ASSERT_TRUE(p.Save(kept.c_str(), ImageFormat::Bmp));
    umask(mask);
    struct stat st;
    ASSERT_EQ(stat(fresh.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    ASSERT_EQ(stat(kept.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0604u);
}

TEST(Save, WritesThroughSymbolicLinksWhichStayLinks) {
    TempDir dir;
    Picture p = Checkerboard();
    MemoryStream expected;
    ASSERT_TRUE(expected.Open());
    ASSERT_TRUE(p.Encode(&expected, ImageFormat::Bmp));
    const std::string bytes(reinterpret_cast<char*>(expected.buffer), expected.size);

    struct Row {
        const char* name;
        const char* link;    // the name saved to
        const char* target;  // what the link holds
        bool targetExists;
    } rows[] = {
        {"relative", "rel.bmp", "real-rel.bmp", true},
        {"absolute", "abs.bmp", nullptr, true},
        {"chained", "chain.bmp", "rel.bmp", true},
        {"dangling", "dangling.bmp", "created.bmp", false},
    };
    const std::string absolute = dir.File("real-abs.bmp");
    for (const Row& row : rows) {
        const std::string target = row.target ? row.target : absolute;
        const std::string link = dir.File(row.link);
        if (row.targetExists && !row.target) WriteFile(absolute, "old");
        if (row.targetExists && row.target && std::string(row.target) == "real-rel.bmp")
            WriteFile(dir.File(row.target), "old");
        ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0) << row.name;
        ASSERT_TRUE(p.Save(link.c_str(), ImageFormat::Bmp)) << row.name << ": " << p.GetLastError();
        struct stat st;
        ASSERT_EQ(lstat(link.c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode)) << row.name;
        EXPECT_EQ(testsupport::ReadText(link), bytes) << row.name;  // read through the link(s)
    }
    EXPECT_EQ(testsupport::ReadText(dir.File("real-rel.bmp")), bytes);
    EXPECT_EQ(testsupport::ReadText(dir.File("created.bmp")), bytes);
    EXPECT_EQ(testsupport::ReadText(absolute), bytes);
    for (const std::string& name : dir.Entries()) EXPECT_EQ(name.find(".tmp-"), std::string::npos) << name;
}

TEST(Save, RefusesWhatIsNotARegularFile) {
    // Only names inside the test's folder are saved to, so that a faulty Save can replace
    // nothing outside it; the device is reached through a link, and where the process may
    // make device nodes, through a node of the null device made here.
    TempDir dir;
    Picture p = Checkerboard();
    const std::string fifo = dir.File("pipe.bmp"), folder = dir.File("folder.bmp"),
                      toNull = dir.File("null.bmp"), node = dir.File("node.bmp");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    ASSERT_EQ(symlink("/dev/null", toNull.c_str()), 0);
    std::vector<std::string> targets{fifo, folder, toNull};
    if (mknod(node.c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0) targets.push_back(node);
    for (const std::string& target : targets) {
        struct stat before;
        ASSERT_EQ(lstat(target.c_str(), &before), 0);
        p.SetLastError("");
        EXPECT_FALSE(p.Save(target.c_str(), ImageFormat::Bmp)) << target;
        EXPECT_STREQ(p.GetLastError(), "Save: not a regular file") << target;
        struct stat after;
        ASSERT_EQ(lstat(target.c_str(), &after), 0);
        EXPECT_EQ(after.st_mode, before.st_mode) << target;
        EXPECT_EQ(after.st_ino, before.st_ino) << target;
    }
    rmdir(folder.c_str());
    EXPECT_EQ(dir.Entries().size(), targets.size() - 1);  // nothing left beside them
}

TEST(Save, LoopOfLinksAndUnwritableFolderSayWhy) {
    TempDir dir;
    Picture p = Checkerboard();
    const std::string a = dir.File("a.bmp"), b = dir.File("b.bmp");
    ASSERT_EQ(symlink(b.c_str(), a.c_str()), 0);
    ASSERT_EQ(symlink(a.c_str(), b.c_str()), 0);
    EXPECT_FALSE(p.Save(a.c_str(), ImageFormat::Bmp));
    EXPECT_EQ(std::string(p.GetLastError()), std::string("Save: ") + std::strerror(ELOOP));

    // A folder the process may not write into; root may write anywhere, so there only the
    // refusal of the operating system is imitated by a path through a file.
    if (geteuid() != 0) {
        const std::string locked = dir.File("locked");
        ASSERT_EQ(mkdir(locked.c_str(), 0500), 0);
        EXPECT_FALSE(p.Save((locked + "/page.bmp").c_str(), ImageFormat::Bmp));
        EXPECT_EQ(std::string(p.GetLastError()), std::string("Save: ") + std::strerror(EACCES));
        rmdir(locked.c_str());
    }
    const std::string file = dir.File("plain");
    WriteFile(file, "x");
    EXPECT_FALSE(p.Save((file + "/page.bmp").c_str(), ImageFormat::Bmp));
    EXPECT_EQ(std::string(p.GetLastError()), std::string("Save: ") + std::strerror(ENOTDIR));
}

TEST(Save, ReplacedFileKeepsItsOwnerWherePermitted) {
    if (geteuid() != 0) GTEST_SKIP() << "only a privileged process may give a file away";
    TempDir dir;
    const std::string target = dir.File("owned.bmp");
    WriteFile(target, "old");
    ASSERT_EQ(chown(target.c_str(), 65534, 65534), 0);
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);
    Picture p = Checkerboard();
    ASSERT_TRUE(p.Save(target.c_str(), ImageFormat::Bmp)) << p.GetLastError();
    struct stat st;
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_NE(testsupport::ReadText(target), "old");
}
