// panelle-cli run as a user runs it: a copy of the program in a folder of the test's own (so
// that its settings file beside it is private), real pictures, and the JAR read back.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <set>

#include "../app/testutil.h"
#include "descriptors.h"
#include "fitpage.h"
#include "panelle/picture.h"
#include "text.h"

namespace {

namespace fs = std::filesystem;

struct Result {
    int status = -1;  // the exit status, or 128 + the signal that ended it
    std::string out;
    std::string err;
};

std::string Desc(const std::string& name, const std::string& author, const std::vector<std::string>& pages) {
    std::string text =
        "bookname:" + name + "\r\npiccount:" + std::to_string(pages.size()) + "\r\nauthor:" + author + "\r\n";
    for (size_t i = 0; i < pages.size(); ++i) text += std::to_string(i) + ":" + pages[i] + "\r\n";
    return "\xFF\xFE" + Utf8ToUtf16Le(text);
}

std::string Hex(const std::string& bytes) {
    std::string out;
    char b[3];
    for (unsigned char c : bytes) {
        std::snprintf(b, sizeof b, "%02x", c);
        out += b;
    }
    return out;
}

// Every file under a folder, relative to it.
std::vector<std::string> Tree(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        names.push_back(fs::relative(e.path(), folder).string());
    std::sort(names.begin(), names.end());
    return names;
}

class Cli : public ::testing::Test {
   protected:
    void SetUp() override {
        fs::create_directories(dir / "bin");
        fs::create_directories(dir / "tmp");
        fs::create_directories(dir / "out");
        fs::copy_file(PANELLE_CLI, program);
        fs::copy(PANELLE_SOURCE "/files", dir / "files", fs::copy_options::recursive);
        fs::copy_file(PANELLE_SOURCE "/samples/page.bmp", dir / "page.bmp");
    }
    void TearDown() override { EXPECT_TRUE(Tree(dir / "tmp").empty()) << "temporary files were left behind"; }

    std::vector<std::string> BuildArgs(std::vector<std::string> rest) const {
        std::vector<std::string> args = {"build", "--templates", dir / "files"};
        args.insert(args.end(), rest.begin(), rest.end());
        return args;
    }

    // Starts the program with its output going to files; gives its process id.
    pid_t Start(const std::vector<std::string>& args) {
        const pid_t pid = fork();
        if (pid == 0) {
            const int out = open((dir / "stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int err = open((dir / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(out, 1);
            dup2(err, 2);
            setenv("TMPDIR", (dir / "tmp").c_str(), 1);
            std::vector<char*> argv = {const_cast<char*>(program.c_str())};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            if (chdir(dir.path().c_str()) == 0) execv(program.c_str(), argv.data());
            _exit(127);
        }
        return pid;
    }
    Result Finish(pid_t pid) {
        Result r;
        int status = 0;
        waitpid(pid, &status, 0);
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        r.out = ReadText(dir / "stdout");
        r.err = ReadText(dir / "stderr");
        return r;
    }
    Result Run(const std::vector<std::string>& args) { return Finish(Start(args)); }

    TempDir dir;
    const std::string program = dir / "bin/panelle-cli";
};

// ---- descriptions over every input format -----------------------------------------------

struct Format {
    const char* fixture;
    const char* name;  // the page's file name: the extension picks the decoder
};

class Descriptions : public Cli, public ::testing::WithParamInterface<Format> {};

TEST_P(Descriptions, EveryFormatIsMeasuredAndDescribed) {
    const Format f = GetParam();
    fs::copy_file(std::string(PANELLE_TEST_DATA "/") + f.fixture, dir / f.name);
    fs::copy_file(dir / "page.bmp", dir / "second.bmp");
    WriteFile(dir / "d.txt", std::string("第一页 ") + f.name + "\nsecond\n");
    const Result r = Run(BuildArgs({"-o", "out/book", "--descriptions", "d.txt", f.name, "second.bmp"}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ZipEntry(dir / "out/book.jar", "desc.txt"),
              Desc("book", "Kavoo网", {std::string("第一页 ") + f.name, "second"}));
    const std::string png = ZipEntry(dir / "out/book.jar", "0.png");
    EXPECT_EQ(png.substr(0, 4), "\x89PNG");
}

INSTANTIATE_TEST_SUITE_P(
    Cli, Descriptions,
    ::testing::Values(Format{"bmp/im-bmp3-24bit.bmp", "p.bmp"}, Format{"gif/im-palette.gif", "p.gif"},
                      Format{"jpg/baseline.jpg", "p.jpg"}, Format{"png/im-rgb8.png", "p.png"},
                      Format{"ico/im-8bit.ico", "p.ico"}, Format{"tif/im-rgb.tif", "p.tif"},
                      Format{"tga/im-24-bl.tga", "p.tga"}, Format{"pcx/im-24bit.pcx", "p.pcx"},
                      Format{"wbmp/im-small.wbmp", "p.wbmp"}, Format{"wmf/lo-scene.wmf", "p.wmf"},
                      Format{"wmf/lo-scene.emf", "p.emf"}),
    [](const auto& info) { return std::string(info.param.name).substr(2); });

TEST_F(Cli, DescriptionsFileByteOrderMarkLineEndsAndControlCharacters) {
    WriteFile(dir / "d.txt",
              "\xEF\xBB\xBF"
              "一\r\ntab\there\x01\n");
    const Result r =
        Run(BuildArgs({"-o", "out/book", "--name", "书", "--descriptions", "d.txt", "page.bmp", "page.bmp"}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ZipEntry(dir / "out/book.jar", "desc.txt"), Desc("书", "Kavoo网", {"一", "tab here "}));
}

// ---- refused before anything is converted -----------------------------------------------

TEST_F(Cli, OutputsThatWouldDestroySomethingAreRefused) {
    const std::string picture = ReadText(dir / "page.bmp");
    fs::create_directories(dir / "ro");
    fs::permissions(dir / "ro", fs::perms(0555));
    struct Row {
        std::vector<std::string> args;
        std::string message;
    } rows[] = {
        {{"-o", "out/", "page.bmp"},
         "panelle-cli: the output out/ is a folder: name the book's file in it, such as out/book.jar\n"},
        {{"-o", "out", "page.bmp"},
         "panelle-cli: the output out is a folder: name the book's file in it, such as out/book.jar\n"},
        {{"-o", "book.jad", "page.bmp"},
         "panelle-cli: the archive and its JAD would both be book.jad: name the output .jar, or give it no "
         "extension\n"},
        {{"-o", "page.bmp", "page.bmp"},
         "panelle-cli: the output page.bmp is the picture of page 1, which the book would replace\n"},
        {{"-o", "x.jar", "--", "page.bmp", "x.jad"},
         "panelle-cli: the output x.jad is the picture of page 2, which the book would replace\n"},
        {{"-o", "none/book", "page.bmp"}, "panelle-cli: output folder does not exist: none\n"},
        {{"-o", "out/book", "page.bmp", "missing.bmp"},
         "panelle-cli: page 2, missing.bmp: No such file or directory\n"},
        {{"-o", "d", "--descriptions", "d.jad", "page.bmp"},
         "panelle-cli: the output would replace the descriptions file d.jad\n"},
        {{"-o", "out/d.zip", "--descriptions", "out/d.jad", "page.bmp"},
         "panelle-cli: the output would replace the descriptions file out/d.jad\n"},
    };
    WriteFile(dir / "x.jad", "a picture named like a JAD");
    WriteFile(dir / "out/d.jad", "captions");
    WriteFile(dir / "d.jad", "captions");
    const std::vector<std::string> before = Tree(dir.path());
    for (const Row& row : rows) {
        const Result r = Run(BuildArgs(row.args));
        EXPECT_EQ(r.status, 1) << row.message;
        EXPECT_EQ(r.err, row.message);
        EXPECT_EQ(r.out, "");
    }
    if (geteuid() != 0) {  // root writes anywhere
        const Result r = Run(BuildArgs({"-o", "ro/book", "page.bmp"}));
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "panelle-cli: output folder not writable: ro: Permission denied\n");
    }
    std::vector<std::string> after = Tree(dir.path());
    after.erase(std::remove_if(after.begin(), after.end(),
                               [](const std::string& n) { return n.rfind("std", 0) == 0; }),
                after.end());
    std::vector<std::string> expected = before;
    expected.erase(std::remove_if(expected.begin(), expected.end(),
                                  [](const std::string& n) { return n.rfind("std", 0) == 0; }),
                   expected.end());
    EXPECT_EQ(after, expected) << "a file was written";
    EXPECT_EQ(ReadText(dir / "page.bmp"), picture);
    EXPECT_EQ(ReadText(dir / "x.jad"), "a picture named like a JAD");
}

TEST_F(Cli, TextThatWouldBreakTheBookIsRefusedNamingWhere) {
    WriteFile(dir / "gbk.txt", "第一页\n\xB5\xDA\xB6\xFE\xD2\xB3\n");  // line 2 in GBK
    struct Row {
        std::vector<std::string> args;
        int status;
        std::string message;
    } rows[] = {
        {{"--name", "书\nMIDlet-Jar-URL: http://elsewhere/x.jar"},
         2,
         "--name holds a control character (a line break, a tab …)"},
        {{"--author", "作者\x01"}, 2, "--author holds a control character (a line break, a tab …)"},
        {{"--name", "\xCE\xD2\xB5\xC4\xCA\xE9"}, 2, "--name is not UTF-8 text"},
        {{"--author", "\xC3"}, 2, "--author is not UTF-8 text"},
        {{"--name", ""}, 2, "the book's name is empty; give --name"},
        {{"--descriptions", "gbk.txt"}, 1, "gbk.txt line 2 is not UTF-8 text"},
    };
    for (const Row& row : rows) {
        std::vector<std::string> args = {"-o", "out/book"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        args.insert(args.end(), {"page.bmp", "page.bmp"});
        const Result r = Run(BuildArgs(args));
        EXPECT_EQ(r.status, row.status) << row.message;
        EXPECT_EQ(r.err, "panelle-cli: " + row.message + "\n");
    }
    EXPECT_TRUE(Tree(dir / "out").empty());
    const Result r = Run(BuildArgs({"-o", "out/\xCE\xD2.jar", "page.bmp"}));
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "panelle-cli: the output's file name \xCE\xD2.jar is not UTF-8 text\n");
}

// ---- names ------------------------------------------------------------------------------

TEST_F(Cli, LongNamesAndCommasGiveAManifestThatJavaReads) {
    const std::string name = "猫和狗,一天的故事：我的漫画书我的漫画书我的漫画书我的漫画书, volume one";
    const Result r = Run(BuildArgs({"-o", "out/book", "--name", name, "page.bmp"}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("commas show as full-width commas"), std::string::npos);
    const std::string manifest = ZipEntry(dir / "out/book.jar", "META-INF/MANIFEST.MF");
    for (size_t at = 0; at < manifest.size();) {
        const size_t end = manifest.find("\r\n", at);
        ASSERT_NE(end, std::string::npos);
        EXPECT_LE(end - at, 72u) << manifest.substr(at, end - at);
        at = end + 2;
    }
    const std::string jad = ReadText(dir / "out/book.jad");
    EXPECT_NE(jad.find("MIDlet-1: " + MidletName(name) + ", icon.png, GameMidlet\r\n"), std::string::npos);
    EXPECT_NE(jad.find("MIDlet-Name: " + name + "\r\n"), std::string::npos);

    if (std::system("command -v java >/dev/null 2>&1") != 0) GTEST_SKIP() << "no java here";
    const std::string check = "java " PANELLE_TEST_SOURCE "/app/JarCheck.java '" + (dir / "out/book.jar") +
                              "' 1 > '" + (dir / "java.txt") + "'";
    ASSERT_EQ(std::system(check.c_str()), 0);
    const std::string seen = ReadText(dir / "java.txt");
    EXPECT_NE(seen.find("MIDlet-Name UTF-8: " + Hex(name) + "\n"), std::string::npos) << seen;
    EXPECT_NE(seen.find("MIDlet-1 UTF-8: " + Hex(MidletName(name) + ",/icon.png, GameMidlet") + "\n"),
              std::string::npos)
        << seen;
}

TEST_F(Cli, WithoutANameTheBookIsNamedAfterItsFileAndTheFilesWrittenAreListed) {
    const Result r = Run(BuildArgs({"-o", "out/猫的一天", "page.bmp"}));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string jar = "out/猫的一天.jar";
    EXPECT_EQ(r.out, "wrote " + jar + " (" + std::to_string(fs::file_size(dir / jar)) +
                         " bytes)\nwrote out/猫的一天.jad\n");
    EXPECT_EQ(ZipEntry(dir / jar, "META-INF/MANIFEST.MF"), ManifestText("猫的一天"));
    EXPECT_NE(ReadText(dir / "out/猫的一天.jad").find("MIDlet-Name: 猫的一天\r\n"), std::string::npos);
    EXPECT_EQ(ZipEntry(dir / jar, "desc.txt"), Desc("猫的一天", "Kavoo网", {""}));
}

// ---- the command line itself ------------------------------------------------------------

TEST_F(Cli, WrongCommandLinesSayWhatWasWrongAndTouchNoSettings) {
    struct Row {
        std::vector<std::string> args;
        std::string firstLine;  // empty: usage on stdout with status 0
    } rows[] = {
        {{"build", "--bogus", "-o", "out/b", "page.bmp"}, "panelle-cli: unknown option --bogus"},
        {{"build", "page.bmp", "-o"}, "panelle-cli: -o needs a value"},
        {{"build", "page.bmp"}, "panelle-cli: build needs -o OUT"},
        {{"build", "-o", "out/b"}, "panelle-cli: build needs at least one PICTURE"},
        {{"convert", "a.bmp"}, "panelle-cli: convert takes IN and OUT"},
        {{"info"}, "panelle-cli: info takes one FILE"},
        {{"frobnicate"}, "panelle-cli: unknown command frobnicate"},
        {{}, "panelle-cli: no command given"},
        {{"build", "--help"}, ""},
        {{"build", "-o", "out/b", "--help", "page.bmp"}, ""},
        {{"convert", "--help"}, ""},
        {{"--help"}, ""},
    };
    for (const Row& row : rows) {
        const Result r = Run(row.args);
        if (row.firstLine.empty()) {
            EXPECT_EQ(r.status, 0);
            EXPECT_EQ(r.out.rfind("usage:\n", 0), 0u);
            EXPECT_EQ(r.err, "");
        } else {
            EXPECT_EQ(r.status, 2) << row.firstLine;
            EXPECT_EQ(r.err.substr(0, r.err.find('\n')), row.firstLine);
            EXPECT_EQ(r.err.substr(r.err.find('\n') + 1, 7), "usage:\n");
            EXPECT_EQ(r.out, "");
        }
        EXPECT_FALSE(fs::exists(dir / "bin/panelle.INI")) << "written by " << row.firstLine;
    }
    // Bad values: one line, no usage text.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--price", "-1"}, {"--threads", "9"}}) {
        const Result r = Run(BuildArgs({"-o", "out/b", args[0], args[1], "page.bmp"}));
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_FALSE(fs::exists(dir / "bin/panelle.INI"));
    }
    EXPECT_TRUE(Tree(dir / "out").empty());
}

TEST_F(Cli, DoubleDashEndsTheOptions) {
    fs::copy_file(dir / "page.bmp", dir / "-first.bmp");
    const Result r = Run(BuildArgs({"-o", "out/book", "--", "-first.bmp", "page.bmp"}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ZipEntry(dir / "out/book.jar", "desc.txt"), Desc("book", "Kavoo网", {"", ""}));
}

TEST_F(Cli, SettingsFileWithAByteOrderMarkOrANegativePrice) {
    struct Row {
        std::string ini;
        std::string author;
        std::string price;
    } rows[] = {
        {"\xEF\xBB\xBF[SETTING]\r\nwidth=176\r\nheight=208\r\nprice=3\r\nauthor=小明\r\n", "小明",
         "单次下载3元"},
        {"[SETTING]\r\nwidth=176\r\nheight=208\r\nprice=-4\r\nauthor=小明\r\n", "小明", "单次下载0元"},
    };
    for (const Row& row : rows) {
        WriteFile(dir / "bin/panelle.INI", row.ini);
        const Result r = Run(BuildArgs({"-o", "out/book", "page.bmp"}));
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(ReadText(dir / "out/book.jad").find("Media-Price: " + row.price + "\r\n"),
                  std::string::npos)
            << row.ini;
        EXPECT_EQ(ZipEntry(dir / "out/book.jar", "desc.txt"), Desc("book", row.author, {""}));
        const std::string ini = ReadText(dir / "bin/panelle.INI");
        EXPECT_EQ(ini.find("[SETTING]"), ini.rfind("[SETTING]")) << ini;
    }
}

TEST_F(Cli, UnreadablePagesAreNamedWithTheReason) {
    WriteFile(dir / "bad.bmp", "BM but nothing a picture needs");
    Result r = Run(BuildArgs({"-o", "out/book", "page.bmp", "bad.bmp"}));
    EXPECT_EQ(r.status, 1);
    const std::string line = "page 2, bad.bmp: ";
    const size_t at = r.err.find(line);
    ASSERT_NE(at, std::string::npos) << r.err;
    const size_t end = r.err.find('\n', at);
    EXPECT_GT(end, at + line.size()) << "no reason given";
    EXPECT_EQ(r.err.substr(end + 1, 16), "LoadFile error!\n");
    EXPECT_NE(r.err.find("Uncomplete!\n"), std::string::npos);
    EXPECT_EQ(r.out, "");

    WriteFile(dir / "d.txt", "one\ntwo\n");
    r = Run(BuildArgs({"-o", "out/book", "--descriptions", "d.txt", "page.bmp", "bad.bmp"}));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("panelle-cli: page 2, bad.bmp: ", 0), 0u) << r.err;
    EXPECT_TRUE(Tree(dir / "out").empty());
}

// ---- stopped by a signal ----------------------------------------------------------------

// Polls until `ready` holds or the program ends on its own (then false).
template <typename Ready>
bool WaitFor(pid_t pid, Ready ready) {
    for (;;) {
        if (ready()) return true;
        int status;
        if (waitpid(pid, &status, WNOHANG) == pid) return false;
        usleep(2000);
    }
}

bool Exists(const std::string& folder, const std::string& part) {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        if (it->path().filename().string().find(part) != std::string::npos) return true;
    return false;
}

// A picture of noise that takes the encoders a while.
void Noise(const std::string& path, uint32_t w, uint32_t h, uint32_t format) {
    Picture p(w, h, 24, 0);
    std::mt19937 random(7);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            p.SetPixelColor(x, y,
                            RGBQUAD{static_cast<uint8_t>(random()), static_cast<uint8_t>(random()),
                                    static_cast<uint8_t>(random()), 0});
    ASSERT_TRUE(p.Save(path.c_str(), format));
}

TEST_F(Cli, StopSignalDuringConversionLeavesNothingBehind) {
    Noise(dir / "noise.bmp", 1500, 1500, ImageFormat::Bmp);
    std::vector<std::string> pages(60, "noise.bmp");
    for (int sig : {SIGTERM, SIGINT}) {
        WriteFile(dir / "out/book.jar", "previous book");
        std::vector<std::string> args = {"-o", "out/book", "--threads", "2"};
        args.insert(args.end(), pages.begin(), pages.end());
        const pid_t pid = Start(BuildArgs(args));
        ASSERT_TRUE(WaitFor(pid, [&] { return Exists(dir / "tmp", "3.png"); })) << "finished before page 4";
        kill(pid, sig);
        const Result r = Finish(pid);
        EXPECT_EQ(r.status, 128 + sig) << r.err;
        EXPECT_TRUE(Tree(dir / "tmp").empty()) << "staging left after signal " << sig;
        EXPECT_EQ(Tree(dir / "out"), std::vector<std::string>{"book.jar"});
        EXPECT_EQ(ReadText(dir / "out/book.jar"), "previous book");
    }
}

TEST_F(Cli, StopSignalWhileTheArchiveIsWrittenRemovesItsTemporaryFiles) {
    // A large template that does not compress keeps the archive step busy.
    std::string big(48 << 20, '\0');
    std::mt19937 random(3);
    for (char& c : big) c = static_cast<char>(random());
    WriteFile(dir / "files/a.class", big);
    const pid_t pid = Start(BuildArgs({"-o", "out/book", "page.bmp"}));
    ASSERT_TRUE(WaitFor(pid, [&] { return Exists(dir / "out", "book.jar.tmp-"); }))
        << "finished before the archive";
    kill(pid, SIGTERM);
    const Result r = Finish(pid);
    EXPECT_EQ(r.status, 128 + SIGTERM) << r.err;
    EXPECT_TRUE(Tree(dir / "out").empty());
}

TEST_F(Cli, StopSignalDuringConvertRemovesItsTemporaryFile) {
    Noise(dir / "noise.bmp", 2500, 2500, ImageFormat::Bmp);
    WriteFile(dir / "out/keep.txt", "other file");
    const pid_t pid = Start({"convert", "noise.bmp", "out/noise.jp2"});
    ASSERT_TRUE(WaitFor(pid, [&] { return Exists(dir / "out", "noise.jp2.tmp-"); }))
        << "finished before saving";
    kill(pid, SIGINT);
    const Result r = Finish(pid);
    EXPECT_EQ(r.status, 128 + SIGINT) << r.err;
    EXPECT_EQ(Tree(dir / "out"), std::vector<std::string>{"keep.txt"});
}

}  // namespace

// ---- pages fitted to the screen ---------------------------------------------------------

namespace {

// Width, height, bit depth and colour type from a PNG's header.
struct PngHeader {
    uint32_t width = 0, height = 0;
    int depth = 0, colorType = -1;
};
PngHeader ReadPngHeader(const std::string& png) {
    PngHeader h;
    if (png.size() < 26 || png.compare(0, 4, "\x89PNG") != 0) return h;
    const auto be = [&](size_t at) {
        return uint32_t(uint8_t(png[at])) << 24 | uint32_t(uint8_t(png[at + 1])) << 16 |
               uint32_t(uint8_t(png[at + 2])) << 8 | uint8_t(png[at + 3]);
    };
    h.width = be(16), h.height = be(20), h.depth = uint8_t(png[24]), h.colorType = uint8_t(png[25]);
    return h;
}

// A picture of some detail, saved in the given format.
void WritePage(const std::string& path, uint32_t w, uint32_t h, uint32_t format) {
    Picture p(w, h, 24, 0);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            p.SetPixelColor(int32_t(x), int32_t(y),
                            RGBQUAD{uint8_t(x * 7 ^ y), uint8_t(y / 3), uint8_t((x + y) / 9), 0});
    ASSERT_TRUE(p.Save(path.c_str(), format));
}

}  // namespace

TEST_F(Cli, FitWidthMakesATallPageTheScreensWidth) {
    WritePage(dir / "tall.jpg", 1200, 1800, ImageFormat::Jpg);
    Result r = Run(BuildArgs({"-o", "out/own", "tall.jpg"}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("page 1 is 1200x1800, 7x9 screens of 176x208; --fit width makes it readable\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(ReadPngHeader(ZipEntry(dir / "out/own.jar", "0.png")).width, 1200u);

    r = Run(BuildArgs({"-o", "out/fitted", "--fit", "width", "tall.jpg", "page.bmp"}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("screens of"), std::string::npos) << r.err;
    const PngHeader fitted = ReadPngHeader(ZipEntry(dir / "out/fitted.jar", "0.png"));
    EXPECT_EQ(fitted.width, 176u);
    EXPECT_EQ(fitted.height, 264u);
    EXPECT_LE(ReadPngHeader(ZipEntry(dir / "out/fitted.jar", "1.png")).width, 176u);
    const std::string summary = "fitted.jar: 2 pages, " +
                                std::to_string(fs::file_size(dir / "out/fitted.jar")) +
                                " bytes, largest page 176x264\n";
    EXPECT_NE(r.err.find(summary), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "bin/panelle.INI") &&
                 ReadText(dir / "bin/panelle.INI").find("fit=") != std::string::npos)
        << "the command line's choice is not saved";
}

TEST_F(Cli, PageOptionsOverrideTheSettingsFile) {
    WritePage(dir / "double.png", 800, 500, ImageFormat::Png);
    WriteFile(dir / "bin/panelle.INI",
              "[SETTING]\r\nwidth=176\r\nheight=208\r\nprice=0\r\nauthor=a\r\nfit=1\r\nsplit=1\r\n");
    WriteFile(dir / "d.txt", "跨页\n");
    Result r = Run(BuildArgs({"-o", "out/a", "--descriptions", "d.txt", "double.png"}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ZipEntry(dir / "out/a.jar", "desc.txt"), Desc("a", "a", {"跨页", ""}));
    EXPECT_EQ(ReadPngHeader(ZipEntry(dir / "out/a.jar", "1.png")).width, 176u);

    r = Run(BuildArgs({"-o", "out/b", "--split", "none", "--fit", "screen", "--screen", "240x320", "--grey",
                       "--colors", "16", "--dither", "double.png"}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ZipEntry(dir / "out/b.jar", "desc.txt"), Desc("b", "a", {""}));
    const PngHeader h = ReadPngHeader(ZipEntry(dir / "out/b.jar", "0.png"));
    EXPECT_EQ(h.width, 240u);
    EXPECT_EQ(h.height, 150u);
    EXPECT_EQ(h.depth, 4);
    EXPECT_EQ(h.colorType, 3);
    EXPECT_EQ(ZipEntry(dir / "out/b.jar", "1.png"), "<missing>");

    r = Run(BuildArgs({"-o", "out/c", "--fit", "none", "--split", "rtl", "--colors", "256", "double.png"}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadPngHeader(ZipEntry(dir / "out/c.jar", "1.png")).width, 400u);
    EXPECT_EQ(ReadPngHeader(ZipEntry(dir / "out/c.jar", "1.png")).depth, 8);
}

TEST_F(Cli, WrongPageOptionsAreRefusedInOneLine) {
    const std::vector<std::vector<std::string>> rows = {
        {"--fit", "wide"},       {"--split", "up"}, {"--screen", "176"}, {"--screen", "0x208"},
        {"--screen", "176x-1"},  {"--colors", "1"}, {"--colors", "257"}, {"--colors", "16k"},
        {"--reader", "flowing"}, {"--reader", "1"},
    };
    for (const std::vector<std::string>& args : rows) {
        const Result r = Run(BuildArgs({"-o", "out/b", args[0], args[1], "page.bmp"}));
        EXPECT_EQ(r.status, 2) << args[0] << " " << args[1];
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    EXPECT_TRUE(Tree(dir / "out").empty());
}

TEST_F(Cli, ReaderOptionOverTheSettingsFileChoosesTheViewerClasses) {
    const std::string classicA = ReadText(dir / "files/a.class"),
                      flowA = ReadText(dir / "files/flow/a.class");
    ASSERT_NE(classicA, flowA);
    struct Row {
        const char* ini;  // the reader line in the settings file, empty: none
        std::vector<std::string> option;
        bool flow;
    } rows[] = {
        {"", {}, false},
        {"", {"--reader", "flow"}, true},
        {"", {"--reader", "classic"}, false},
        {"reader=1\r\n", {}, true},
        {"reader=1\r\n", {"--reader", "classic"}, false},
        {"reader=0\r\n", {"--reader", "flow"}, true},
        {"reader=3\r\n", {}, false},
    };
    for (const Row& row : rows) {
        const std::string ini =
            std::string("[SETTING]\r\nwidth=176\r\nheight=208\r\nprice=0\r\nauthor=a\r\n") + row.ini;
        WriteFile(dir / "bin/panelle.INI", ini);
        std::vector<std::string> args = {"-o", "out/book"};
        args.insert(args.end(), row.option.begin(), row.option.end());
        args.push_back("page.bmp");
        const Result r = Run(BuildArgs(args));
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string jar = dir / "out/book.jar";
        const std::string where = std::string(row.ini) + (row.option.empty() ? "" : row.option[1]);
        EXPECT_EQ(ZipEntry(jar, "a.class"), row.flow ? flowA : classicA) << where;
        EXPECT_EQ(ZipEntry(jar, "GameMidlet.class"),
                  ReadText(dir / (row.flow ? "files/flow/GameMidlet.class" : "files/GameMidlet.class")))
            << where;
        // the pictures and the book's text are the same for both readers
        EXPECT_EQ(ZipEntry(jar, "logo1.png"), ReadText(dir / "files/logo1.png")) << where;
        EXPECT_EQ(ZipEntry(jar, "desc.txt"), Desc("book", "a", {""})) << where;
        EXPECT_EQ(ReadText(dir / "bin/panelle.INI"), ini) << "the command line's choice is not saved";
    }
}

TEST_F(Cli, FlowingReaderMissingFromTheTemplatesIsNamedAndNothingIsWritten) {
    fs::remove_all(dir / "files/flow");
    const Result r = Run(BuildArgs({"-o", "out/book", "--reader", "flow", "page.bmp"}));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("flow/a.class"), std::string::npos) << r.err;
    EXPECT_TRUE(Tree(dir / "out").empty());
}

// ---- folders and comic archives among the pictures ------------------------------------------

namespace {

// The width of a PNG held in bytes (its IHDR), 0 when it is none.
uint32_t PngWidth(const std::string& png) {
    if (png.size() < 24 || png.compare(1, 3, "PNG") != 0) return 0;
    return (uint32_t{static_cast<uint8_t>(png[16])} << 24) | (uint32_t{static_cast<uint8_t>(png[17])} << 16) |
           (uint32_t{static_cast<uint8_t>(png[18])} << 8) | static_cast<uint8_t>(png[19]);
}

// A BMP of width w (and height 2), as bytes.
std::string BmpOfWidth(const std::string& folder, uint32_t w) {
    Picture picture(w, 2, 24, 0);
    const std::string path = folder + "/w" + std::to_string(w) + ".bmp";
    EXPECT_TRUE(picture.Save(path.c_str(), 1));
    return ReadText(path);
}

}  // namespace

TEST_F(Cli, FoldersAndArchivesGiveTheirPicturesInNaturalOrder) {
    fs::create_directories(dir / "scratch");
    fs::create_directories(dir / "chapter");
    // each page has its own width, so that the JAR's pages tell where they came from
    WriteFile(dir / "chapter/page10.bmp", BmpOfWidth(dir / "scratch", 3));
    WriteFile(dir / "chapter/Page2.bmp", BmpOfWidth(dir / "scratch", 2));
    WriteFile(dir / "chapter/readme.txt", std::string("not a page"));
    const std::string cbz = MakeZip(dir / "more.cbz", {{"b/11.bmp", BmpOfWidth(dir / "scratch", 5)},
                                                       {"b/9.bmp", BmpOfWidth(dir / "scratch", 4)},
                                                       {"ComicInfo.xml", "<x/>"}});
    BmpOfWidth(dir / "scratch", 6);
    const Result r = Run(BuildArgs({"-o", dir / "out/book", dir / "chapter", cbz, dir / "scratch/w6.bmp"}));
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<uint32_t> widths;
    for (int i = 0; i < 6; ++i)
        widths.push_back(PngWidth(ZipEntry(dir / "out/book.jar", std::to_string(i) + ".png")));
    EXPECT_EQ(widths, (std::vector<uint32_t>{2, 3, 4, 5, 6, 0}));
    EXPECT_NE(ReadText(dir / "out/book.jad").find("book.jar"), std::string::npos);
}

TEST_F(Cli, HostileArchiveIsRefusedBeforeAnythingIsWritten) {
    const std::string cbz = MakeZip(dir / "bad.cbz", {{"1.bmp", "x"}, {"/etc/passwd.bmp", "x"}});
    const Result r = Run(BuildArgs({"-o", dir / "out/book", dir / "page.bmp", cbz}));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "panelle-cli: " + cbz + ": entry /etc/passwd.bmp has a path outside the archive\n");
    EXPECT_TRUE(Tree(dir / "out").empty());
}

TEST_F(Cli, DamagedArchivePageIsNamedWithItsReasonAndLeavesNoBook) {
    fs::create_directories(dir / "scratch");
    const std::string cbz = MakeZip(dir / "book.cbz", {{"1.bmp", BmpOfWidth(dir / "scratch", 9)}});
    // the entry now says it is shorter than it is
    std::string bytes = ReadText(cbz);
    for (size_t at = 0; at + 30 <= bytes.size(); ++at) {
        const size_t field = bytes.compare(at, 4, "PK\x03\x04", 4) == 0   ? at + 22
                             : bytes.compare(at, 4, "PK\x01\x02", 4) == 0 ? at + 24
                                                                          : 0;
        if (field) bytes.replace(field, 4, std::string("\x10\0\0\0", 4));
    }
    WriteFile(cbz, bytes);
    const Result r = Run(BuildArgs({"-o", dir / "out/book", cbz}));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(
        r.err.find("page 1, book.cbz: 1.bmp: book.cbz: entry 1.bmp holds more than the 16 bytes it declares"),
        std::string::npos)
        << r.err;
    EXPECT_TRUE(Tree(dir / "out").empty());
}

// ---- phone budgets --------------------------------------------------------------------------

TEST_F(Cli, PhoneOptionsAreRefusedInOneLineNamingWhatTheyTake) {
    struct Row {
        std::vector<std::string> args;
        std::string line;
    } rows[] = {
        {{"--profile", "176x221"},
         "panelle-cli: unknown profile 176x221; the profiles are 128x128, 128x160, 176x208, 176x220, "
         "240x320, 320x240, "
         "352x416\n"},
        {{"--profile", ""}, ""},
        {{"--heap", "-1"}, "panelle-cli: --heap takes a number of KB from 0 (none) to 1048576\n"},
        {{"--heap", "200k"}, "panelle-cli: --heap takes a number of KB from 0 (none) to 1048576\n"},
        {{"--jar-limit", "1048577"},
         "panelle-cli: --jar-limit takes a number of KB from 0 (none) to 1048576\n"},
        {{"--jar-limit", "x"}, "panelle-cli: --jar-limit takes a number of KB from 0 (none) to 1048576\n"},
    };
    for (const Row& row : rows) {
        const Result r = Run(BuildArgs({"-o", "out/b", row.args[0], row.args[1], "page.bmp"}));
        EXPECT_EQ(r.status, 2) << row.args[0] << " " << row.args[1];
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        if (!row.line.empty()) {
            EXPECT_EQ(r.err, row.line);
        }
    }
    EXPECT_TRUE(Tree(dir / "out").empty());
    EXPECT_FALSE(fs::exists(dir / "bin/panelle.INI"));
}

TEST_F(Cli, AProfileGivesItsScreenAndLimitsAndOptionsBesideItWin) {
    WritePage(dir / "tall.png", 600, 900, ImageFormat::Png);
    // 128x128: pages 128 wide, and a heap of 200 KB (a 128 x 192 page fits it)
    Result r = Run(BuildArgs({"-o", "out/a", "--profile", "128x128", "--fit", "width", "tall.png"}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadPngHeader(ZipEntry(dir / "out/a.jar", "0.png")).width, 128u);
    EXPECT_NE(r.err.find("a.jar: 1 pages, "), std::string::npos) << r.err;
    // --screen and --heap beside the profile win over its own; a 176 x 264 page is cut to fit 50 KB
    r = Run(BuildArgs({"-o", "out/b", "--screen", "176x208", "--profile", "128x128", "--heap", "50",
                       "--jar-limit", "0", "--fit", "width", "tall.png"}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadPngHeader(ZipEntry(dir / "out/b.jar", "0.png")).width, 176u);
    const size_t pieces = StripsFor(176, 264, 50 * 1024).size();
    ASSERT_GT(pieces, 1u);
    EXPECT_NE(r.err.find("b.jar: " + std::to_string(pieces) + " pages, "), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("larger than the heap"), std::string::npos) << r.err;
    // the settings file's keys apply without options, and the options over them
    WriteFile(dir / "bin/panelle.INI",
              "[SETTING]\r\nwidth=176\r\nheight=208\r\nprice=0\r\nauthor=a\r\nheap=100\r\n");
    r = Run(BuildArgs({"-o", "out/c", "tall.png"}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("a page decodes larger than the heap of 100 KB: page 1 (600x900, 2110 KB)\n"),
              std::string::npos)
        << r.err;
    r = Run(BuildArgs({"-o", "out/d", "--heap", "0", "tall.png"}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("larger than the heap"), std::string::npos) << r.err;
    EXPECT_EQ(ReadText(dir / "bin/panelle.INI"),
              "[SETTING]\r\nwidth=176\r\nheight=208\r\nprice=0\r\nauthor=a\r\nheap=100\r\n");
}

// A page like a comic's: white, panels framed in black, each shaded from top to bottom.
void WriteComicPage(const std::string& path, uint32_t w, uint32_t h, uint32_t seed) {
    Picture p(w, h, 24, 0);
    const uint32_t rows = 3, cols = 2;
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            const uint32_t px = x * cols / w, py = y * rows / h;
            const uint32_t cx = x - px * w / cols, cy = y - py * h / rows;
            const bool frame = cx < 12 || cy < 12 || cx >= w / cols - 12 || cy >= h / rows - 12;
            const uint8_t shade =
                static_cast<uint8_t>(255 - (cy * 160 / (h / rows) + seed * 37 + px * 50 + py * 20) % 200);
            const RGBQUAD c = frame && (cx >= 4 && cy >= 4) ? RGBQUAD{0, 0, 0, 0}
                              : frame                       ? RGBQUAD{255, 255, 255, 0}
                                      : RGBQUAD{shade, shade, uint8_t(shade / 2 + 100), 0};
            p.SetPixelColor(int32_t(x), int32_t(y), c);
        }
    ASSERT_TRUE(p.Save(path.c_str(), ImageFormat::Jpg));
}

TEST_F(Cli, AFortyPageFittedBookWithAJarLimitOf64GivesVolumesJavaReads) {
    std::vector<std::string> pages;
    for (int i = 0; i < 40; ++i) {
        pages.push_back("p" + std::to_string(i) + ".jpg");
        WriteComicPage(dir / pages.back(), 1200, 1800 + static_cast<uint32_t>(i), static_cast<uint32_t>(i));
    }
    std::vector<std::string> args = {"-o",    "out/vol", "--name",      "四十页",
                                     "--fit", "width",   "--jar-limit", "64"};
    args.insert(args.end(), pages.begin(), pages.end());
    const Result r = Run(BuildArgs(args));
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> jars;
    for (int k = 1; fs::exists(dir / ("out/vol-" + std::to_string(k) + ".jar")); ++k)
        jars.push_back("vol-" + std::to_string(k) + ".jar");
    ASSERT_GE(jars.size(), 2u) << r.err;
    EXPECT_FALSE(fs::exists(dir / "out/vol.jar"));
    EXPECT_EQ(Tree(dir / "out").size(), 2 * jars.size());
    const bool java = std::system("command -v java >/dev/null 2>&1") == 0;
    std::set<std::string> names;
    int total = 0;
    std::string out;
    for (size_t k = 0; k < jars.size(); ++k) {
        const std::string jar = dir / ("out/" + jars[k]);
        const std::string name = "四十页 " + std::to_string(k + 1) + "/" + std::to_string(jars.size());
        const auto bytes = fs::file_size(jar);
        EXPECT_LE(bytes, 65536u) << jar;
        const std::string desc = ZipEntry(jar, "desc.txt");
        const std::string head = "\xFF\xFE" + Utf8ToUtf16Le("bookname:" + name + "\r\npiccount:");
        ASSERT_EQ(desc.rfind(head, 0), 0u) << jar;
        int count = 0;
        for (size_t at = head.size();
             at + 1 < desc.size() && std::isdigit(static_cast<unsigned char>(desc[at])); at += 2)
            count = count * 10 + (desc[at] - '0');
        std::vector<std::string> lines(static_cast<size_t>(count));
        EXPECT_EQ(desc, Desc(name, "Kavoo网", lines)) << "page lines from 0 in " << jar;
        total += count;
        const std::string jad = ReadText(JadPathFor(jar));
        EXPECT_NE(jad.find("MIDlet-Jar-Size: " + std::to_string(bytes) + "\r\n"), std::string::npos) << jad;
        EXPECT_NE(jad.find("MIDlet-Jar-URL: " + jars[k] + "\r\n"), std::string::npos) << jad;
        EXPECT_NE(jad.find("MIDlet-Name: " + name + "\r\n"), std::string::npos) << jad;
        EXPECT_TRUE(names.insert(name).second);
        EXPECT_NE(r.err.find(jars[k] + ": " + std::to_string(count) + " pages, " + std::to_string(bytes) +
                             " bytes, largest page 176x"),
                  std::string::npos)
            << r.err;
        out += "wrote out/" + jars[k] + " (" + std::to_string(bytes) + " bytes)\nwrote out/" +
               jars[k].substr(0, jars[k].size() - 4) + ".jad\n";
        if (java) {
            const std::string check = "java " PANELLE_TEST_SOURCE "/app/JarCheck.java '" + jar + "' " +
                                      std::to_string(count) + " > '" + (dir / "java.txt") + "'";
            ASSERT_EQ(std::system(check.c_str()), 0) << jar;
            EXPECT_NE(ReadText(dir / "java.txt").find("MIDlet-Name UTF-8: " + Hex(name) + "\n"),
                      std::string::npos);
        }
    }
    EXPECT_EQ(total, 40);
    EXPECT_EQ(r.out, out);
}

TEST_F(Cli, APageTooLargeForTheJarLimitFailsAndLeavesNothingNew) {
    WritePage(dir / "huge.png", 400, 400, ImageFormat::Png);
    WriteFile(dir / "out/book.jar", "old");
    const Result r = Run(BuildArgs({"-o", "out/book", "--jar-limit", "16", "page.bmp", "huge.png"}));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("page 2 (huge.png) alone makes an archive of "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("\nUncomplete!\n"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(Tree(dir / "out"), std::vector<std::string>{"book.jar"});
    EXPECT_EQ(ReadText(dir / "out/book.jar"), "old");
    // a limit that not even the viewer's classes and pictures fit says so
    const Result tiny = Run(BuildArgs({"-o", "out/book", "--jar-limit", "4", "page.bmp"}));
    EXPECT_EQ(tiny.status, 1);
    EXPECT_NE(tiny.err.find("the viewer and the book's texts alone make an archive of "), std::string::npos)
        << tiny.err;
    EXPECT_EQ(Tree(dir / "out"), std::vector<std::string>{"book.jar"});
}
