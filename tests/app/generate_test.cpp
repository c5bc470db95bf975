#include "generate.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "book.h"
#include "convert.h"
#include "descriptors.h"
#include "files.h"
#include "infozip.h"
#include "panelle/picture.h"
#include "panelle/stream.h"
#include "testutil.h"

namespace {

// A template folder of the test's own: the builder only copies these files.
void MakeTemplates(const std::string& folder) {
    WriteFile(folder + "/a.class", "class a");
    WriteFile(folder + "/GameMidlet.class", "class GameMidlet");
    WriteFile(folder + "/logo1.png", "logo");
    WriteFile(folder + "/icon.png", "icon");
    WriteFile(folder + "/desc.txt", "template desc");
    WriteFile(folder + "/META-INF/MANIFEST.MF", "template manifest, longer than nothing\r\n");
}

Picture Gradient(uint32_t w, uint32_t h) {
    Picture p(w, h, 24, 0);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            p.SetPixelColor(x, y, RGBQUAD{static_cast<uint8_t>(x * 7), static_cast<uint8_t>(y * 5), 99, 0});
    return p;
}

struct ZipReader {
    explicit ZipReader(const std::string& path) {
        int error = 0;
        archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
    }
    ~ZipReader() {
        if (archive) zip_discard(archive);
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i)
            names.push_back(zip_get_name(archive, i, 0));
        return names;
    }
    std::string Read(const std::string& name) const {
        zip_stat_t st;
        if (zip_stat(archive, name.c_str(), 0, &st) != 0) return {};
        std::string data(st.size, '\0');
        zip_file_t* f = zip_fopen(archive, name.c_str(), 0);
        if (!f) return {};
        zip_fread(f, data.data(), st.size);
        zip_fclose(f);
        return data;
    }
    zip_t* archive = nullptr;
};

class Generation : public ::testing::Test {
   protected:
    void SetUp() override {
        MakeTemplates(dir / "files");
        setenv("TMPDIR", staging.path().c_str(), 1);
        book.SetTemplateFolder(dir / "files");
        book.author = "Kavoo网";
        book.bookName = book.descriptorName = "我的书";
        book.settingPrice = 2;
    }
    void TearDown() override {
        unsetenv("TMPDIR");
        EXPECT_TRUE(Entries(staging.path()).empty()) << "a staging folder was left behind";
    }
    void AddPage(const std::string& name, const Picture& picture, uint32_t format) {
        ASSERT_TRUE(const_cast<Picture&>(picture).Save((dir / name).c_str(), format));
        book.ImportPictures({dir / name});
    }
    TempDir dir, staging;
    Book book;
    Recorder messages;
};

}  // namespace

TEST_F(Generation, WritesAJarAndJadThatReadersAccept) {
    // One page of each format a comic usually comes in. Each page PNG must hold what the
    // engine reads from its source (for the JPEG: the same library's decoding of it).
    Picture first = Gradient(30, 20), second = Gradient(7, 50), third = Gradient(64, 48);
    AddPage("one.bmp", first, ImageFormat::Bmp);
    AddPage("two.png", second, ImageFormat::Png);
    AddPage("three.jpg", third, ImageFormat::Jpg);
    ASSERT_TRUE(third.Load((dir / "three.jpg").c_str(), ImageFormat::Jpg));
    ASSERT_TRUE(Generate(book, dir / "book", messages));
    EXPECT_EQ(messages.log, std::vector<std::string>{"show:Complete!"});
    EXPECT_EQ(messages.progress, (std::vector<std::string>{"1/3", "2/3", "3/3"}));
    EXPECT_EQ(book.jarPath, dir / "book.jar");
    // Both files are readable like any new file, not private like a temporary one.
    const mode_t mask = umask(022);
    umask(mask);
    EXPECT_EQ(std::filesystem::status(dir / "book.jar").permissions(), std::filesystem::perms(0666 & ~mask));
    EXPECT_EQ(std::filesystem::status(dir / "book.jad").permissions(), std::filesystem::perms(0666 & ~mask));

    ZipReader jar(dir / "book.jar");
    ASSERT_NE(jar.archive, nullptr);
    EXPECT_EQ(jar.Names(),
              (std::vector<std::string>{"META-INF/MANIFEST.MF", "0.png", "1.png", "2.png", "a.class",
                                        "GameMidlet.class", "logo1.png", "icon.png", "desc.txt"}));
    EXPECT_EQ(jar.Read("META-INF/MANIFEST.MF"), ManifestText("我的书"));
    EXPECT_EQ(jar.Read("a.class"), "class a");

    const Picture* sources[] = {&first, &second, &third};
    for (int i = 0; i < 3; ++i) {
        std::string png = jar.Read(std::to_string(i) + ".png");
        MemoryStream in(reinterpret_cast<uint8_t*>(png.data()), static_cast<int32_t>(png.size()));
        Picture page;
        ASSERT_TRUE(page.Decode(&in, ImageFormat::Png)) << page.GetLastError();
        ASSERT_EQ(page.GetWidth(), sources[i]->GetWidth());
        ASSERT_EQ(page.GetHeight(), sources[i]->GetHeight());
        for (int32_t y = 0; y < static_cast<int32_t>(page.GetHeight()); ++y)
            for (int32_t x = 0; x < static_cast<int32_t>(page.GetWidth()); ++x)
                ASSERT_EQ(page.GetPixelColor(x, y, false), sources[i]->GetPixelColor(x, y, false));
    }

    const std::string jad = ReadText(dir / "book.jad");
    const auto size = std::filesystem::file_size(dir / "book.jar");
    EXPECT_EQ(jad, JadText("我的书", static_cast<int64_t>(size), "book.jar", 2));
    EXPECT_TRUE(book.pages[0].measured && book.pages[1].measured);
    EXPECT_EQ(book.pages[1].picWidth, 7);

    if (std::system("command -v unzip >/dev/null 2>&1") == 0) {
        EXPECT_EQ(std::system(("unzip -tq '" + (dir / "book.jar") + "' >/dev/null").c_str()), 0);
    }
    if (std::system("command -v java >/dev/null 2>&1") == 0) {
        const std::string check =
            "java " PANELLE_TEST_SOURCE "/app/JarCheck.java '" + (dir / "book.jar") + "' 3";
        EXPECT_EQ(std::system(check.c_str()), 0);
    }
    if (std::system("command -v jar >/dev/null 2>&1") == 0) {
        const std::string list = "jar tf '" + (dir / "book.jar") + "' > '" + (dir / "listing.txt") + "'";
        ASSERT_EQ(std::system(list.c_str()), 0);
        EXPECT_EQ(
            ReadText(dir / "listing.txt"),
            "META-INF/"
            "MANIFEST.MF\n0.png\n1.png\n2.png\na.class\nGameMidlet.class\nlogo1.png\nicon.png\ndesc.txt\n");
    }
}

TEST_F(Generation, NameWithoutExtensionGetsJarAndExistingArchiveIsReplaced) {
    AddPage("p.bmp", Gradient(3, 3), ImageFormat::Bmp);
    WriteFile(dir / "my.books/book.zip", "old archive");
    ASSERT_TRUE(Generate(book, dir / "my.books/book.zip", messages));
    EXPECT_NE(ReadText(dir / "my.books/book.zip"), "old archive");
    EXPECT_TRUE(FileExists(dir / "my.books/book.jad"));
    EXPECT_EQ(JarNameFor("/x/my.books/book"), "/x/my.books/book.jar");
}

TEST_F(Generation, CancelledDialogDoesNothing) {
    AddPage("p.bmp", Gradient(3, 3), ImageFormat::Bmp);
    EXPECT_FALSE(Generate(book, "", messages));
    EXPECT_TRUE(messages.log.empty());
}

TEST_F(Generation, MissingTemplateStopsWithTheFileNamedAndNoArchive) {
    AddPage("p.bmp", Gradient(3, 3), ImageFormat::Bmp);
    std::filesystem::remove(dir / "files/a.class");
    EXPECT_FALSE(Generate(book, dir / "book", messages));
    ASSERT_EQ(messages.log.size(), 1u);
    EXPECT_EQ(messages.log[0].rfind("exception:Cannot open file \"" + (dir / "files/a.class") + "\"", 0), 0u)
        << messages.log[0];
    EXPECT_FALSE(FileExists(dir / "book.jar"));
    EXPECT_FALSE(FileExists(dir / "book.jad"));
}

TEST_F(Generation, UnloadableMeasuredPageIsReportedAndExistingJarSurvives) {
    AddPage("good.bmp", Gradient(3, 3), ImageFormat::Bmp);
    WriteFile(dir / "bad.bmp", "not a picture at all, just text");
    book.ImportPictures({dir / "bad.bmp"});
    book.pages[1].measured = true;  // as if it was selected while it still loaded
    WriteFile(dir / "book.jar", "previous book");
    WriteFile(dir / "book.jad", "previous jad");
    EXPECT_FALSE(Generate(book, dir / "book.jar", messages));
    EXPECT_EQ(messages.log, (std::vector<std::string>{"box:Error:null image!!!", "show:AddFiles error!",
                                                      "show:Uncomplete!"}));
    // the lines beside the boxes say why: the page's own load failure, then the missing picture
    ASSERT_EQ(messages.details.size(), 2u);
    EXPECT_EQ(messages.details[0].rfind(std::string("page 2, bad.bmp: "), 0), 0u) << messages.details[0];
    EXPECT_GT(messages.details[0].size(), (std::string("page 2, bad.bmp: ")).size());
    EXPECT_EQ(messages.details[1], "archive " + (dir / "book.jar") + ": 1.png is missing");
    EXPECT_EQ(ReadText(dir / "book.jar"), "previous book");
    EXPECT_EQ(ReadText(dir / "book.jad"), "previous jad");
}

TEST_F(Generation, UnloadableUnmeasuredPageEndsTheConversion) {
    AddPage("good.bmp", Gradient(3, 3), ImageFormat::Bmp);
    WriteFile(dir / "bad.bmp", "not a picture at all, just text");
    book.ImportPictures({dir / "bad.bmp"});
    AddPage("never.bmp", Gradient(3, 3), ImageFormat::Bmp);
    EXPECT_FALSE(Generate(book, dir / "book", messages));
    EXPECT_EQ(messages.log,
              (std::vector<std::string>{"show:LoadFile error!", "show:AddFiles error!", "show:Uncomplete!"}));
    ASSERT_FALSE(messages.details.empty());
    EXPECT_EQ(messages.details[0].rfind(std::string("page 2, bad.bmp: "), 0), 0u) << messages.details[0];
    EXPECT_TRUE(book.pages[0].measured);
    EXPECT_FALSE(book.pages[1].measured);
    EXPECT_FALSE(book.pages[2].measured);  // the loop ended before it
    EXPECT_FALSE(FileExists(dir / "book.jar"));
}

TEST(Conversion, DescFileThatCannotBeCreatedIsReported) {
    Book book;
    book.ImportPictures({"/nowhere/p.bmp"});
    Recorder messages;
    ConvertPages(book, "/nonexistent/panelle/staging", messages);
    EXPECT_EQ(messages.log, std::vector<std::string>{"show:Open descfile error!"});
}

TEST(Archive, CountsOnlyTheFilesThatWentIn) {
    TempDir dir;
    WriteFile(dir / "stage/0.png", "png");
    CInfoZip zip;
    EXPECT_FALSE(zip.AddFiles(dir / "x.jar", dir / "stage", {"0.png"}, 1));  // not initialised
    EXPECT_EQ(zip.errorCode, 3);
    ASSERT_TRUE(zip.InitializeZip());
    EXPECT_FALSE(zip.AddFiles(dir / "x.jar", dir / "stage", {"0.png", "1.png"}, 2));
    EXPECT_FALSE(FileExists(dir / "x.jar"));
    EXPECT_TRUE(zip.AddFiles(dir / "x.jar", dir / "stage", {"0.png"}, 1));
    EXPECT_EQ(ZipReader(dir / "x.jar").Read("0.png"), "png");
    EXPECT_EQ(Entries(dir.path()).size(), 2u);  // stage and x.jar: no temporary left
}

TEST_F(Generation, PageMissingSinceImportIsNamed) {
    AddPage("gone.bmp", Gradient(3, 3), ImageFormat::Bmp);
    std::filesystem::remove(dir / "gone.bmp");
    EXPECT_FALSE(Generate(book, dir / "book", messages, 1));
    ASSERT_FALSE(messages.details.empty());
    EXPECT_EQ(messages.details[0], "page 1, gone.bmp: the file is missing since it was imported");
    EXPECT_EQ(messages.log.front(), "show:LoadFile error!");
}

TEST_F(Generation, OutputsThatWouldDestroySomethingAreRefusedBeforeAnythingIsStaged) {
    AddPage("p.bmp", Gradient(3, 3), ImageFormat::Bmp);
    const std::string picture = ReadText(dir / "p.bmp");
    std::filesystem::create_directories(dir / "folder.jar");
    struct Row {
        std::string chosen;
        std::string detail;
    } rows[] = {
        {dir / "files/", "the output " + (dir / "files/") + " is a folder"},
        {dir / "folder", "the output " + (dir / "folder.jar") + " is a folder"},
        {dir / "book.jad", "the archive and its JAD would both be " + (dir / "book.jad")},
        {dir / "p.bmp", "the output " + (dir / "p.bmp") + " is the picture of page 1"},
        {dir / "files/a.class", "the output " + (dir / "files/a.class") + " is the template"},
        {dir / "none/book", "output folder does not exist: " + (dir / "none")},
    };
    for (const Row& row : rows) {
        Recorder recorder;
        EXPECT_FALSE(Generate(book, row.chosen, recorder)) << row.chosen;
        ASSERT_EQ(recorder.details.size(), 1u) << row.chosen;
        EXPECT_EQ(recorder.details[0].rfind(row.detail, 0), 0u) << recorder.details[0];
        EXPECT_EQ(recorder.log, std::vector<std::string>{"show:Uncomplete!"});
        EXPECT_TRUE(recorder.progress.empty()) << "a page was converted for " << row.chosen;
    }
    EXPECT_EQ(ReadText(dir / "p.bmp"), picture);
    EXPECT_EQ(ReadText(dir / "files/a.class"), "class a");
    EXPECT_FALSE(FileExists(dir / "book.jad"));
}

TEST_F(Generation, JadThatCannotReplaceItsFileLeavesTheOldPairAsItWas) {
    // Everything the archive takes, staged by hand.
    const std::string stage = dir / "stage";
    WriteFile(stage + "/0.png", "page");
    for (const std::string& name : ArchiveNames(0)) WriteFile(stage + "/" + name, "template " + name);
    book.ImportPictures({dir / "p.bmp"});
    book.jarPath = dir / "book.jar";
    WriteFile(dir / "book.jar", "previous book");
    WriteFile(dir / "book.jad/inside", "a folder where the JAD goes");
    EXPECT_FALSE(WriteJarAndJad(book, stage, messages));
    EXPECT_EQ(messages.log, std::vector<std::string>{"show:Write JAD error!"});
    EXPECT_EQ(ReadText(dir / "book.jar"), "previous book");
    EXPECT_EQ(ReadText(dir / "book.jad/inside"), "a folder where the JAD goes");
    for (const std::string& name : Entries(dir.path()))
        EXPECT_EQ(name.find(".tmp-"), std::string::npos) << name;

    // The same staging with a writable JAD gives the new pair.
    std::filesystem::remove_all(dir / "book.jad");
    WriteFile(dir / "book.jad", "previous jad");
    ASSERT_TRUE(WriteJarAndJad(book, stage, messages));
    EXPECT_EQ(ZipReader(dir / "book.jar").Read("0.png"), "page");
    EXPECT_EQ(
        ReadText(dir / "book.jad"),
        JadText("我的书", static_cast<int64_t>(std::filesystem::file_size(dir / "book.jar")), "book.jar", 2));
}

namespace {

// Asks the generation to stop once a page is announced (stopAt pages) or once every page
// was converted (stopAt 0: the check before the archive).
class Stopper : public Recorder {
   public:
    explicit Stopper(int stopAt) : stopAt_(stopAt) {}
    void Converting(int page, int total, const std::string& path) override {
        Recorder::Converting(page, total, path);
        if (page == stopAt_) stop_ = true;
    }
    void Progress(int done, int total) override {
        Recorder::Progress(done, total);
        if (stopAt_ == 0 && done == total) stop_ = true;
    }
    bool Cancelled() override { return stop_; }

   private:
    int stopAt_;
    bool stop_ = false;
};

std::vector<std::string> Sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST_F(Generation, StopLeavesNothingOfTheNewBookAndKeepsTheOldPair) {
    struct Row {
        unsigned workers;
        int stopAt;
        bool oldPair;
        std::vector<std::string> converting;  // pages announced before the stop took hold
    } rows[] = {
        {1, 1, true, {"1/4 p0.bmp"}},
        {1, 3, true, {"1/4 p0.bmp", "2/4 p1.bmp", "3/4 p2.bmp"}},
        {3, 2, true, {"1/4 p0.bmp", "2/4 p1.bmp"}},
        {3, 0, true, {"1/4 p0.bmp", "2/4 p1.bmp", "3/4 p2.bmp", "4/4 p3.bmp"}},
        {1, 2, false, {"1/4 p0.bmp", "2/4 p1.bmp"}},
        {3, 0, false, {"1/4 p0.bmp", "2/4 p1.bmp", "3/4 p2.bmp", "4/4 p3.bmp"}},
    };
    for (int i = 0; i < 4; ++i)
        AddPage("p" + std::to_string(i) + ".bmp", Gradient(20 + i, 9), ImageFormat::Bmp);
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.workers) + " workers, stop at " + std::to_string(row.stopAt));
        std::filesystem::remove(dir / "book.jar");
        std::filesystem::remove(dir / "book.jad");
        if (row.oldPair) {
            WriteFile(dir / "book.jar", "previous book");
            WriteFile(dir / "book.jad", "previous jad");
        }
        const std::vector<std::string> before = Sorted(Entries(dir.path()));
        Stopper stopper(row.stopAt);
        EXPECT_FALSE(Generate(book, dir / "book", stopper, row.workers));
        EXPECT_EQ(stopper.log, std::vector<std::string>{"show:Uncomplete!"});
        EXPECT_EQ(stopper.converting, row.converting);
        std::string detail = "the generation was cancelled: nothing of the new book was written";
        if (row.oldPair) detail += "; " + (dir / "book.jar") + " is as it was";
        EXPECT_EQ(stopper.details, std::vector<std::string>{detail});
        EXPECT_EQ(Sorted(Entries(dir.path())), before) << "something was left beside the book";
        if (row.oldPair) {
            EXPECT_EQ(ReadText(dir / "book.jar"), "previous book");
            EXPECT_EQ(ReadText(dir / "book.jad"), "previous jad");
        } else {
            EXPECT_FALSE(FileExists(dir / "book.jar"));
            EXPECT_FALSE(FileExists(dir / "book.jad"));
        }
        EXPECT_TRUE(Entries(staging.path()).empty()) << "the staging folder was left behind";
    }
    // The same book without a stop is made whole, announcing every page by its file.
    ASSERT_TRUE(Generate(book, dir / "book", messages, 3));
    EXPECT_EQ(messages.converting, rows[3].converting);
    EXPECT_EQ(ZipReader(dir / "book.jar").Names().size(), 4u + 6u);
}

TEST_F(Generation, StopBeforeTheArchiveReplacesTheOldPairWritesNeither) {
    const std::string stage = dir / "stage";
    WriteFile(stage + "/0.png", "page");
    for (const std::string& name : ArchiveNames(0)) WriteFile(stage + "/" + name, "template " + name);
    book.ImportPictures({dir / "p.bmp"});
    book.jarPath = dir / "book.jar";
    WriteFile(dir / "book.jar", "previous book");
    WriteFile(dir / "book.jad", "previous jad");
    Stopper stopping(0);
    stopping.Progress(1, 1);
    EXPECT_FALSE(WriteJarAndJad(book, stage, stopping));
    EXPECT_TRUE(stopping.log.empty());  // the driver tells the outcome
    EXPECT_EQ(ReadText(dir / "book.jar"), "previous book");
    EXPECT_EQ(ReadText(dir / "book.jad"), "previous jad");
    for (const std::string& name : Entries(dir.path()))
        EXPECT_EQ(name.find(".tmp-"), std::string::npos) << name;
}
