#include "generationthread.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <system_error>

namespace {

const QEvent::Type kCallEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

// A call from the job's thread. The window's event queue owns it: it is run and deleted on
// the window's thread, or deleted unrun with its receiver.
class CallEvent : public QEvent {
   public:
    explicit CallEvent(std::function<void()> call) : QEvent(kCallEvent), call(std::move(call)) {}
    const std::function<void()> call;
};

}  // namespace

bool BackgroundGeneration::Receiver::event(QEvent* event) {
    if (event->type() != kCallEvent) return QObject::event(event);
    static_cast<CallEvent*>(event)->call();
    return true;
}

// The job's view of the window: each message becomes a call on the window's thread, and
// Cancelled reads the flag that Cancel sets. Copies of the texts travel with the calls.
class BackgroundGeneration::Relay : public Messages {
   public:
    Relay(BackgroundGeneration& owner, bool direct) : owner_(owner), direct_(direct) {}
    void Show(const std::string& text) override {
        Call([this, text] { owner_.window_.Show(text); });
    }
    void ShowError(const std::string& caption, const std::string& text) override {
        Call([this, caption, text] { owner_.window_.ShowError(caption, text); });
    }
    void ShowException(const std::string& text) override {
        Call([this, text] { owner_.window_.ShowException(text); });
    }
    void Detail(const std::string& text) override {
        Call([this, text] { owner_.window_.Detail(text); });
    }
    void Progress(int done, int total) override {
        Call([this, done, total] { owner_.window_.Progress(done, total); });
    }
    void Converting(int page, int total, const std::string& path) override {
        Call([this, page, total, path] { owner_.window_.Converting(page, total, path); });
    }
    bool Cancelled() override { return owner_.cancel_; }

   private:
    void Call(std::function<void()> call) {
        if (direct_)
            call();
        else
            owner_.Call(std::move(call));
    }
    BackgroundGeneration& owner_;
    const bool direct_;  // the job runs on the window's thread itself
};

BackgroundGeneration::BackgroundGeneration(Messages& window) : window_(window) {}

BackgroundGeneration::~BackgroundGeneration() {
    if (thread_.joinable()) {
        Cancel();
        Abandon();
        thread_.join();
    }
}

void BackgroundGeneration::Post(std::function<void()> call) {
    // Posted under the lock that the window's side takes before it runs the call, so that
    // everything the job did before is seen there.
    QCoreApplication::postEvent(&receiver_, new CallEvent(std::move(call)));
}

void BackgroundGeneration::Call(std::function<void()> call) {
    std::unique_lock lock(mutex_);
    if (abandoned_) return;
    pending_ = true;
    Post([this, call = std::move(call)] {
        {
            std::lock_guard held(mutex_);
            if (abandoned_) return;
        }
        call();
        std::lock_guard held(mutex_);
        pending_ = false;
        answered_.notify_all();
    });
    answered_.wait(lock, [this] { return !pending_ || abandoned_; });
}

void BackgroundGeneration::Abandon() {
    std::lock_guard lock(mutex_);
    abandoned_ = true;
    answered_.notify_all();
}

bool BackgroundGeneration::Run(const Job& job) {
    Relay relay(*this, false);
    try {
        thread_ = std::thread([this, &relay, &job] {
            bool ok = false;
            try {
                ok = job(relay);
            } catch (...) {
                ok = false;
            }
            result_ = ok;  // read once the thread is joined
            std::lock_guard lock(mutex_);
            Post([this] {
                std::lock_guard held(mutex_);
                finished_ = true;
                if (loop_) loop_->quit();
            });
        });
    } catch (const std::system_error&) {
        Relay here(*this, true);
        try {
            return job(here);
        } catch (...) {
            return false;
        }
    }
    {
        QEventLoop loop;
        loop_ = &loop;
        if (!finished_) loop.exec();
        loop_ = nullptr;
    }
    if (!finished_) {
        // The event loops were told to end before the job did (the program is closing).
        Cancel();
        Abandon();
    }
    thread_.join();
    return result_;
}
