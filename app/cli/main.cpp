// panelle-cli: the engine's and the builder's command-line face. Prints what a picture is,
// converts pictures between the formats the engine reads and writes, and makes comic books.
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "book.h"
#include "comicarchive.h"
#include "convert.h"
#include "descriptors.h"
#include "files.h"
#include "fitpage.h"
#include "generate.h"
#include "imports.h"
#include "measure.h"
#include "messages.h"
#include "panelle/codec.h"
#include "panelle/format.h"
#include "panelle/picture.h"
#include "profiles.h"
#include "settings.h"
#include "text.h"

namespace {

constexpr const char* kUsage =
    "usage:\n"
    "  panelle-cli info FILE\n"
    "      Print what FILE holds, one key=value per line: format, width, height, bpp,\n"
    "      colors, xdpi, ydpi, alpha (yes/no), transindex, frames.\n"
    "  panelle-cli convert [--to FORMAT] [--quality N] IN OUT\n"
    "      Load IN (format from its extension, detected from its content when that\n"
    "      fails) and save OUT in FORMAT, or in the format OUT's extension names.\n"
    "      FORMAT: @FORMATS@.\n"
    "      --quality N sets the JPEG quality (0..100, default 90).\n"
    "  panelle-cli build -o OUT [--name NAME] [--author TEXT] [--price YUAN]\n"
    "                    [--descriptions FILE] [--templates DIR] [--threads N]\n"
    "                    [--fit none|width|screen] [--screen WxH] [--grey] [--colors N]\n"
    "                    [--dither] [--split none|ltr|rtl] [--reader classic|flow]\n"
    "                    [--profile NAME] [--heap KB] [--jar-limit KB] PICTURE...\n"
    "      Make a comic book: OUT.jar (\".jar\" is added when OUT's file name has no\n"
    "      extension) and OUT.jad beside it, one page per PICTURE in the order given.\n"
    "      A folder gives the pictures in it and a .cbz or .zip archive the pictures\n"
    "      inside it, each in natural order of their names (page2 before page10).\n"
    "      OUT must name a file in an existing, writable folder, other than the JAD\n"
    "      and the pictures; nothing is converted otherwise.\n"
    "      --name NAME is the book's name; without it, OUT's file name without its\n"
    "        extension. Commas show as full-width commas in the MIDlet-1 line.\n"
    "      --descriptions FILE gives one description per line, page by page (UTF-8).\n"
    "      --threads N converts N pages at once (1..4; default: one per core, at most 4).\n"
    "      --fit width shrinks pages wider than the screen to its width, --fit screen\n"
    "        shrinks them to lie inside it; pages are never enlarged. --screen WxH\n"
    "        names the screen (default: the settings file's, 176x208).\n"
    "      --grey writes grey pages, --colors N (2..256) at most N colours, --dither\n"
    "        diffuses the error of fewer colours.\n"
    "      --split ltr|rtl makes a page wider than tall two pages, left or right half\n"
    "        first; its description goes with the first half.\n"
    "      --reader flow gives the book the flowing reader: down at a page's bottom\n"
    "        goes on to the next page, and the page read last is kept for the next\n"
    "        time; --reader classic (the default) the reader that turns pages.\n"
    "      --profile NAME takes the screen, heap and JAR limit of a class of phones;\n"
    "        --screen, --heap and --jar-limit given beside it win. The\n"
    "        profiles: @PROFILES@.\n"
    "      --heap KB names every page whose decoded picture (width x height x 4) is\n"
    "        larger; with --fit width such a page is cut into pieces that fit, one page\n"
    "        each, overlapping by a few rows. 0: no check.\n"
    "      --jar-limit KB cuts a book larger than KB kilobytes at pages into volumes\n"
    "        OUT-1.jar/.jad, OUT-2 ..., each within it and named \"NAME 1/3\" and so\n"
    "        on; a book within it stays OUT.jar. 0: no limit.\n"
    "      Author, price, screen, the page options, the reader, heap and JAR limit\n"
    "      default to the settings file (panelle.INI). Names, authors and\n"
    "      descriptions are UTF-8 text; names and authors hold no control\n"
    "      characters, in descriptions they become spaces.\n"
    "      Progress and messages go to stderr, the files written to stdout.\n"
    "  panelle-cli --help, or COMMAND --help\n"
    "      Print this text to stdout.\n"
    "\"--\" ends the options; every word after it is a file.\n"
    "Exit status: 0 done; 1 failed (a file that cannot be read or written, the\n"
    "engine's error text, an output refused, \"Uncomplete!\"); 2 a wrong command line.\n"
    "On SIGINT, SIGTERM or SIGHUP a convert or build stops, removes its temporary\n"
    "files and ends by that signal.\n";

int Usage(FILE* to, int status) {
    // The list of formats comes from the codecs that can write.
    std::string text = kUsage;
    const size_t at = text.find("@FORMATS@");
    if (at != std::string::npos) text.replace(at, 9, WritableFormatList());
    const size_t profiles = text.find("@PROFILES@");
    if (profiles != std::string::npos) text.replace(profiles, 10, ProfileNames());
    std::fputs(text.c_str(), to);
    return status;
}

// A wrong command line: what was wrong, then the usage text.
int Wrong(const std::string& what) {
    std::fprintf(stderr, "panelle-cli: %s\n", what.c_str());
    return Usage(stderr, 2);
}

// A value or a file refused: one line saying why.
int Refuse(const std::string& what, int status) {
    std::fprintf(stderr, "panelle-cli: %s\n", what.c_str());
    return status;
}

// The words after a command: options (each of `withValue` takes the next word as its value;
// "--output" is "-o"), "--help", and operands. "--" ends the options.
struct Arguments {
    std::map<std::string, std::string> values;
    std::vector<std::string> operands;
    bool help = false;
    std::string error;

    Arguments(const std::vector<std::string>& words, const std::set<std::string>& withValue,
              const std::set<std::string>& flags = {}) {
        bool optionsEnded = false;
        for (size_t i = 0; i < words.size(); ++i) {
            const std::string& w = words[i];
            if (optionsEnded || w.size() < 2 || w[0] != '-') {
                operands.push_back(w);
            } else if (w == "--") {
                optionsEnded = true;
            } else if (w == "--help" || w == "-h") {
                help = true;
            } else {
                const std::string name = w == "--output" ? "-o" : w;
                if (flags.count(name)) {
                    values[name];
                    continue;
                }
                if (!withValue.count(name)) {
                    error = "unknown option " + w;
                    return;
                }
                if (i + 1 == words.size()) {
                    error = w + " needs a value";
                    return;
                }
                values[name] = words[++i];
            }
        }
    }
    bool Has(const std::string& name) const { return values.count(name) != 0; }
    const std::string& Value(const std::string& name) const { return values.at(name); }
};

// A whole decimal number in [least, most].
bool ParseNumber(const std::string& text, long least, long most, long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text.c_str(), &end, 10);
    return errno == 0 && end && !*end && value >= least && value <= most;
}

// Why a text typed for `what` cannot go into the book, or empty.
std::string TextProblem(const std::string& what, const std::string& text) {
    if (!IsValidUtf8(text)) return what + " is not UTF-8 text";
    if (HasControlCharacter(text)) return what + " holds a control character (a line break, a tab …)";
    return {};
}

int Failed(const Picture& picture, const char* what, const std::string& file) {
    const char* text = picture.GetLastError();
    std::fprintf(stderr, "panelle-cli: %s %s: %s\n", what, file.c_str(), *text ? text : "cannot open file");
    return 1;
}

// The id a file name's extension names, as the converter's output knows them.
uint32_t FormatOfName(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return 0;
    return FormatFromName(path.c_str() + dot + 1);
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

// ---- stopping cleanly on a signal -------------------------------------------------------

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
volatile sig_atomic_t g_signal = 0;
volatile sig_atomic_t g_child = 0;

void OnStopSignal(int sig) {
    g_signal = sig;
    if (g_child > 0) kill(static_cast<pid_t>(g_child), SIGKILL);
}

// The names in the folder of `target` that a file written beside it uses while it is
// incomplete: target + ".tmp-" and whatever follows (the zip writer adds its own suffix).
std::set<std::string> TemporariesBeside(const std::vector<std::string>& targets) {
    std::set<std::string> found;
    for (const std::string& target : targets) {
        const size_t slash = target.find_last_of('/');
        const std::string folder = slash == std::string::npos ? "./" : target.substr(0, slash + 1);
        const std::string prefix = FileNamePart(target) + ".tmp-";
        // the volumes of a book: the target's name with "-K" before its extension
        const std::string name = FileNamePart(target);
        const size_t dot = name.rfind('.');
        const std::string stem = name.substr(0, dot) + "-";
        const std::string tail = (dot == std::string::npos ? std::string() : name.substr(dot)) + ".tmp-";
        const auto isVolume = [&](const std::string& file) {
            if (file.rfind(stem, 0) != 0) return false;
            size_t at = stem.size();
            const size_t digits = at;
            while (at < file.size() && std::isdigit(static_cast<unsigned char>(file[at]))) ++at;
            return at > digits && file.compare(at, tail.size(), tail) == 0;
        };
        if (DIR* dir = opendir(folder.c_str())) {
            while (const dirent* e = readdir(dir)) {
                const std::string file = e->d_name;
                if (file.rfind(prefix, 0) == 0 || isVolume(file)) found.insert(folder + file);
            }
            closedir(dir);
        }
    }
    return found;
}

// Runs `work` in a child process whose temporary folder is a private one. When a stop
// signal arrives the child is killed at once, so that it writes nothing more; then the
// private folder (the staging folder with it) and the temporary files the child began
// beside `targets` are removed, and this process ends by the same signal. The private
// folder goes on every other path too.
int RunStoppable(const std::vector<std::string>& targets, const std::function<int()>& work) {
    const char* tmp = std::getenv("TMPDIR");
    std::string scratch = std::string(tmp && *tmp ? tmp : "/tmp") + "/panelle-cli-XXXXXX";
    if (!mkdtemp(scratch.data()))
        return Refuse("cannot create a temporary folder in " + scratch.substr(0, scratch.rfind('/')) + ": " +
                          std::strerror(errno),
                      1);
    const std::set<std::string> before = TemporariesBeside(targets);

    sigset_t stops, old;
    sigemptyset(&stops);
    for (int sig : kStopSignals) sigaddset(&stops, sig);
    sigprocmask(SIG_BLOCK, &stops, &old);
    struct sigaction handler {};
    handler.sa_handler = OnStopSignal;
    sigemptyset(&handler.sa_mask);
    struct sigaction previous[std::size(kStopSignals)];
    for (size_t k = 0; k < std::size(kStopSignals); ++k) sigaction(kStopSignals[k], &handler, &previous[k]);

    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t child = fork();
    if (child == 0) {
        for (size_t k = 0; k < std::size(kStopSignals); ++k)
            sigaction(kStopSignals[k], &previous[k], nullptr);
        sigprocmask(SIG_SETMASK, &old, nullptr);
        setenv("TMPDIR", scratch.c_str(), 1);
        std::exit(work());
    }
    int status = 0;
    if (child > 0) {
        g_child = child;
        sigprocmask(SIG_SETMASK, &old, nullptr);  // a signal already pending arrives now
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        sigprocmask(SIG_BLOCK, &stops, nullptr);
        g_child = 0;
    }
    const int forkError = child < 0 ? errno : 0;

    RemoveTree(scratch);
    const int sig = g_signal;
    if (sig != 0 || (child > 0 && WIFSIGNALED(status)))
        for (const std::string& file : TemporariesBeside(targets))
            if (!before.count(file)) unlink(file.c_str());
    for (size_t k = 0; k < std::size(kStopSignals); ++k) sigaction(kStopSignals[k], &previous[k], nullptr);

    if (sig != 0) {
        std::fprintf(stderr, "panelle-cli: stopped by %s; its temporary files are removed\n", strsignal(sig));
        signal(sig, SIG_DFL);
        sigprocmask(SIG_SETMASK, &old, nullptr);
        raise(sig);
        return 128 + sig;
    }
    sigprocmask(SIG_SETMASK, &old, nullptr);
    if (child < 0) return Refuse(std::string("cannot start the work: ") + std::strerror(forkError), 1);
    if (WIFSIGNALED(status))
        return Refuse(std::string("the work ended by ") + strsignal(WTERMSIG(status)), 1);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

// ---- info and convert -------------------------------------------------------------------

int Info(const std::vector<std::string>& words) {
    const Arguments args(words, {});
    if (args.help) return Usage(stdout, 0);
    if (!args.error.empty()) return Wrong(args.error);
    if (args.operands.size() != 1) return Wrong("info takes one FILE");
    const std::string& file = args.operands[0];
    Picture picture;
    if (!picture.Load(file.c_str(), FormatFromExtension(file))) return Failed(picture, "cannot read", file);
    std::printf("format=%s\n", FormatName(picture.GetType()));
    std::printf("width=%u\n", picture.GetWidth());
    std::printf("height=%u\n", picture.GetHeight());
    std::printf("bpp=%u\n", picture.GetBpp());
    std::printf("colors=%u\n", picture.GetNumColors());
    std::printf("xdpi=%d\n", picture.GetXDpi());
    std::printf("ydpi=%d\n", picture.GetYDpi());
    std::printf("alpha=%s\n", picture.AlphaIsValid() ? "yes" : "no");
    std::printf("transindex=%d\n", picture.GetTransIndex());
    std::printf("frames=%d\n", picture.GetFrameCount() > 0 ? picture.GetFrameCount() : 1);
    return 0;
}

int Convert(const std::vector<std::string>& words) {
    const Arguments args(words, {"--to", "--quality"});
    if (args.help) return Usage(stdout, 0);
    if (!args.error.empty()) return Wrong(args.error);
    if (args.operands.size() != 2) return Wrong("convert takes IN and OUT");
    uint32_t to = 0;
    if (args.Has("--to")) {
        to = FormatFromName(args.Value("--to").c_str());
        if (!to) return Refuse("unknown format " + args.Value("--to"), 2);
    }
    long quality = -1;
    if (args.Has("--quality") && !ParseNumber(args.Value("--quality"), 0, 100, quality))
        return Refuse("--quality takes 0 to 100", 2);
    const std::string& in = args.operands[0];
    const std::string& out = args.operands[1];
    if (!to) to = FormatOfName(out);
    if (!to) return Refuse("cannot tell the output format of " + out + "; use --to", 2);
    if (SameFile(in, out))
        return Refuse("OUT is IN: " + out + " would replace the picture it is made from", 1);

    return RunStoppable({out}, [&] {
        Picture picture;
        if (!picture.Load(in.c_str(), FormatFromExtension(in))) return Failed(picture, "cannot read", in);
        if (quality >= 0) picture.SetJpegQuality(static_cast<uint8_t>(quality));
        picture.SetLastError("");
        if (!picture.Save(out.c_str(), to)) return Failed(picture, "cannot write", out);
        return 0;
    });
}

// ---- build ------------------------------------------------------------------------------

// Messages of a generation, on stderr.
class StderrMessages : public Messages {
   public:
    void Show(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
    void ShowError(const std::string& caption, const std::string& text) override {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    }
    void ShowException(const std::string& text) override {
        std::fprintf(stderr, "error: %s\n", text.c_str());
    }
    void Detail(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
    void Progress(int done, int total) override { std::fprintf(stderr, "page %d/%d\n", done, total); }
};

// The description lines of a file: without a byte-order mark or line ends, control
// characters as spaces. False (reported, naming the line) when a line is not UTF-8.
bool ReadDescriptions(const std::string& file, std::vector<std::string>& lines) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        Refuse("cannot read " + file + ": " + std::strerror(errno), 1);
        return false;
    }
    std::string line;
    for (size_t n = 1; std::getline(in, line); ++n) {
        if (n == 1) line = WithoutByteOrderMark(line);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!IsValidUtf8(line)) {
            Refuse(file + " line " + std::to_string(n) + " is not UTF-8 text", 1);
            return false;
        }
        lines.push_back(ControlsToSpaces(line));
    }
    if (in.bad()) {
        Refuse("cannot read " + file + ": " + std::strerror(errno), 1);
        return false;
    }
    return true;
}

// The book's name when none is given: the output file's name without its extension.
std::string NameFromOutput(const std::string& jarPath) {
    const std::string name = FileNamePart(jarPath);
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

// ---- pages fitted to the screen ----
// The page options of the command line over those of the settings file; empty, or what is wrong.
std::string ApplyPageOptions(const Arguments& args, PageFit& fit, int32_t& screenWidth,
                             int32_t& screenHeight) {
    const auto choose = [&](const char* option, std::initializer_list<const char*> names, int32_t& field) {
        if (!args.Has(option)) return true;
        int32_t n = 0;
        for (const char* name : names) {
            if (args.Value(option) == name) return field = n, true;
            ++n;
        }
        return false;
    };
    if (!choose("--fit", {"none", "width", "screen"}, fit.fit)) return "--fit takes none, width or screen";
    if (!choose("--split", {"none", "ltr", "rtl"}, fit.split)) return "--split takes none, ltr or rtl";
    if (args.Has("--screen")) {
        const std::string& v = args.Value("--screen");
        const size_t x = v.find('x');
        long w = 0, h = 0;
        if (x == std::string::npos || !ParseNumber(v.substr(0, x), 1, 65535, w) ||
            !ParseNumber(v.substr(x + 1), 1, 65535, h))
            return "--screen takes WxH, such as 176x208";
        screenWidth = static_cast<int32_t>(w), screenHeight = static_cast<int32_t>(h);
    }
    long colors = 0;
    if (args.Has("--colors")) {
        if (!ParseNumber(args.Value("--colors"), 2, 256, colors)) return "--colors takes 2 to 256";
        fit.colors = static_cast<int32_t>(colors);
    }
    if (args.Has("--grey")) fit.grey = 1;
    if (args.Has("--dither")) fit.dither = 1;
    return {};
}

// The phone options over those of the settings file: a profile first, then --heap and
// --jar-limit; --screen, applied after, wins over the profile's screen. Empty, or what is wrong.
std::string ApplyPhoneOptions(const Arguments& args, PhoneBudget& budget, int32_t& screenWidth,
                              int32_t& screenHeight) {
    if (args.Has("--profile")) {
        const PhoneProfile* profile = FindProfile(args.Value("--profile"));
        if (!profile)
            return "unknown profile " + args.Value("--profile") + "; the profiles are " + ProfileNames();
        screenWidth = profile->width, screenHeight = profile->height;
        budget = {profile->heap, profile->jarLimit};
    }
    long kb = 0;
    const std::string range = " takes a number of KB from 0 (none) to " + std::to_string(kMaxBudgetKb);
    if (args.Has("--heap")) {
        if (!ParseNumber(args.Value("--heap"), 0, kMaxBudgetKb, kb)) return "--heap" + range;
        budget.heap = static_cast<int32_t>(kb);
    }
    if (args.Has("--jar-limit")) {
        if (!ParseNumber(args.Value("--jar-limit"), 0, kMaxBudgetKb, kb)) return "--jar-limit" + range;
        budget.jarLimit = static_cast<int32_t>(kb);
    }
    return {};
}

// How many screens a length covers, counting a part of one as one.
int32_t Screens(int32_t length, int32_t screen) { return screen > 0 ? (length + screen - 1) / screen : 0; }

// After a generation: a warning for every page left at its own size that is larger than
// 2 x 2 screens and would shrink to the width, then per archive its pages, bytes and
// largest page.
void ReportPages(const Book& book) {
    const int32_t sw = book.settingWidth, sh = book.settingHeight;
    for (int32_t i = 0; i < book.pageCount(); ++i) {
        const Description_T& page = book.pages[i];
        if (!page.measured) continue;
        if (book.pageFit.fit == 0 && sw > 0 && sh > 0 && page.picWidth > sw &&
            (page.picWidth > 2 * sw || page.picHeight > 2 * sh))
            std::fprintf(stderr, "page %d is %dx%d, %dx%d screens of %dx%d; --fit width makes it readable\n",
                         i + 1, page.picWidth, page.picHeight, Screens(page.picWidth, sw),
                         Screens(page.picHeight, sh), sw, sh);
    }
    for (const JarOutcome& jar : book.outcome)
        std::fprintf(stderr, "%s: %d pages, %lld bytes, largest page %dx%d\n",
                     FileNamePart(jar.jarPath).c_str(), jar.pages, static_cast<long long>(jar.bytes),
                     jar.largestWidth, jar.largestHeight);
}

int Build(const std::vector<std::string>& words) {
    const Arguments args(
        words,
        {"-o", "--name", "--author", "--price", "--descriptions", "--templates", "--threads", "--fit",
         "--screen", "--colors", "--split", "--reader", "--profile", "--heap", "--jar-limit"},
        {"--grey", "--dither"});
    if (args.help) return Usage(stdout, 0);
    if (!args.error.empty()) return Wrong(args.error);
    if (!args.Has("-o")) return Wrong("build needs -o OUT");
    if (args.operands.empty()) return Wrong("build needs at least one PICTURE");
    const std::string& out = args.Value("-o");

    long price = -1, threads = ConversionWorkers();
    if (args.Has("--price") && !ParseNumber(args.Value("--price"), 0, INT32_MAX, price))
        return Refuse("the price must be a whole number of yuan", 2);
    if (args.Has("--threads") && !ParseNumber(args.Value("--threads"), 1, kMaxConversionWorkers, threads))
        return Refuse("--threads takes 1 to " + std::to_string(kMaxConversionWorkers), 2);
    for (const char* option : {"--name", "--author"})
        if (args.Has(option))
            if (const std::string problem = TextProblem(option, args.Value(option)); !problem.empty())
                return Refuse(problem, 2);
    PageFit fitOptions;
    PhoneBudget budgetOptions;
    int32_t screenWidth = 0, screenHeight = 0;
    if (const std::string problem = ApplyPhoneOptions(args, budgetOptions, screenWidth, screenHeight);
        !problem.empty())
        return Refuse(problem, 2);
    if (const std::string problem = ApplyPageOptions(args, fitOptions, screenWidth, screenHeight);
        !problem.empty())
        return Refuse(problem, 2);
    int32_t reader = -1;  // -1: the settings file's
    if (args.Has("--reader")) {
        if (args.Value("--reader") == "classic")
            reader = 0;
        else if (args.Value("--reader") == "flow")
            reader = 1;
        else
            return Refuse("--reader takes classic or flow", 2);
    }
    const ImportedPaths imported = ExpandImports(args.operands);
    if (!imported.problems.empty()) {
        for (size_t i = 1; i < imported.problems.size(); ++i)
            std::fprintf(stderr, "panelle-cli: %s\n", imported.problems[i].c_str());
        return Refuse(imported.problems.front(), 1);
    }
    const std::vector<std::string>& pictures = imported.pages;
    if (pictures.size() > static_cast<size_t>(kMaxPages))
        return Refuse("a book holds at most " + std::to_string(kMaxPages) + " pages", 2);

    Book book;
    if (args.Has("--templates")) book.SetTemplateFolder(args.Value("--templates"));
    book.ImportPictures(pictures);

    // Nothing is converted unless the book can be written where asked.
    if (const std::string problem = OutputProblem(book, out); !problem.empty()) return Refuse(problem, 1);

    // The JAD names the archive by its file name, and without --name the book is named after it.
    const std::string jarPath = JarNameFor(out);
    if (const std::string problem =
            TextProblem("the output's file name " + FileNamePart(jarPath), FileNamePart(jarPath));
        !problem.empty())
        return Refuse(problem, 2);
    book.bookName = book.descriptorName = args.Has("--name") ? args.Value("--name") : NameFromOutput(jarPath);
    if (book.descriptorName.empty()) return Refuse("the book's name is empty; give --name", 2);
    for (int32_t i = 0; i < book.pageCount(); ++i) {
        const std::string& path = book.pages[i].path;
        const std::string source = PageSourceFile(path);
        struct stat st;
        const bool readable = stat(source.c_str(), &st) == 0 && access(source.c_str(), R_OK) == 0;
        if (!readable)
            return Refuse("page " + std::to_string(i + 1) + ", " + path + ": " + std::strerror(errno), 1);
        if (!S_ISREG(st.st_mode))
            return Refuse("page " + std::to_string(i + 1) + ", " + path + ": not a picture file", 1);
    }
    if (args.Has("--descriptions")) {
        const std::string& file = args.Value("--descriptions");
        if (SameFile(file, jarPath) || SameFile(file, JadPathFor(jarPath)))
            return Refuse("the output would replace the descriptions file " + file, 1);
    }

    const std::string settingsPath = SettingsPath();
    const BookSettings settings = ReadSettings(settingsPath);
    book.author = args.Has("--author") ? args.Value("--author") : settings.author;
    if (!args.Has("--author"))
        if (const std::string problem = TextProblem("the author in " + settingsPath, book.author);
            !problem.empty())
            return Refuse(problem + "; give --author", 1);
    book.settingWidth = settings.width;
    book.settingHeight = settings.height;
    book.settingPrice = price >= 0 ? static_cast<int32_t>(price) : settings.price;
    book.pageFit = settings.pageFit;
    book.budget = settings.budget;
    ApplyPhoneOptions(args, book.budget, book.settingWidth, book.settingHeight);
    ApplyPageOptions(args, book.pageFit, book.settingWidth, book.settingHeight);
    book.SetReader(reader >= 0 ? reader : settings.reader);

    if (args.Has("--descriptions")) {
        std::vector<std::string> lines;
        if (!ReadDescriptions(args.Value("--descriptions"), lines)) return 1;
        // Each described page is loaded whole and measured, as selecting it in the window
        // does, so that one that cannot be read is named before anything is converted.
        for (int32_t i = 0; i < book.pageCount() && static_cast<size_t>(i) < lines.size(); ++i) {
            book.currentImage = std::make_unique<Picture>();
            const std::string& path = book.pages[i].path;
            if (!LoadPageFile(*book.currentImage, path, FormatFromExtension(path)) || !book.MeasurePage(i)) {
                const char* text = book.currentImage->GetLastError();
                return Refuse(
                    "page " + std::to_string(i + 1) + ", " + path + ": " + (*text ? text : "cannot be read"),
                    1);
            }
            book.SetDescription(i, lines[i]);
        }
        book.currentImage.reset();
    }
    if (book.descriptorName.find(',') != std::string::npos)
        std::fprintf(stderr, "panelle-cli: the name's commas show as full-width commas in MIDlet-1\n");

    return RunStoppable({jarPath, JadPathFor(jarPath)}, [&] {
        StderrMessages messages;
        if (!Generate(book, out, messages, static_cast<unsigned>(threads))) return 1;
        for (const JarOutcome& jar : book.outcome)
            std::printf("wrote %s (%lld bytes)\nwrote %s\n", jar.jarPath.c_str(),
                        static_cast<long long>(jar.bytes), JadPathFor(jar.jarPath).c_str());
        ReportPages(book);
        return 0;
    });
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return Wrong("no command given");
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") return Usage(stdout, 0);
    if (args[0] == "info") return Info(rest);
    if (args[0] == "convert") return Convert(rest);
    if (args[0] == "build") return Build(rest);
    return Wrong("unknown command " + args[0]);
}
