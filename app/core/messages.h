// How the builder tells the user things. The desktop forms show message boxes, the
// command-line tool writes to stderr, and the tests record every call.
#pragma once

#include <stdexcept>
#include <string>

class Messages {
   public:
    virtual ~Messages() = default;
    // A modal box with one of the builder's own short texts ("Complete!", "LoadFile error!").
    virtual void Show(const std::string& text) = 0;
    // A box with a caption ("Error") holding the engine's last-error text.
    virtual void ShowError(const std::string& caption, const std::string& text) = 0;
    // The standard error box for an error raised in an unguarded step of a generation.
    virtual void ShowException(const std::string& text) = 0;
    // A line naming what the box before or after it is about: the page, the file and the
    // reason ("page 2, b.bmp: Error reading BMP info"). The command line prints it at once;
    // the window gathers a generation's lines into one notice after its outcome box.
    virtual void Detail(const std::string& text) { (void)text; }
    // Progress of a generation: page `done` of `total` has been converted.
    virtual void Progress(int done, int total) {
        (void)done;
        (void)total;
    }
    // Page `page` of `total` (counted from 1), whose picture is `path`, is being converted.
    virtual void Converting(int page, int total, const std::string& path) {
        (void)page;
        (void)total;
        (void)path;
    }
    // Whether the user asked the generation to stop. It is asked between pages and before
    // the archive replaces an old one, possibly from another thread than the one that asked
    // to stop; a generation that stops leaves nothing of the new book behind.
    virtual bool Cancelled() { return false; }
};

// An error raised by a step of the builder; its text is shown as it stands.
struct BuildError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
