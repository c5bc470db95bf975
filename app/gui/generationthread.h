// A generation on a thread of its own, so that the window goes on with its events (the
// preview, the timer, a Cancel) while pages are converted. Everything the generation tells
// the user is handed to the window's thread one call at a time, in the order given, and the
// generation waits until the window has dealt with it: a box has been answered, the bar
// moved. So boxes come one after another in the generation's order, never two at once.
#pragma once

#include <QObject>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "messages.h"

class QEventLoop;

class BackgroundGeneration {
   public:
    using Job = std::function<bool(Messages&)>;

    // `window` gets every message of the job on the thread that makes this object.
    explicit BackgroundGeneration(Messages& window);
    // A job still running is stopped, its messages still to come are dropped, and its
    // thread is waited for.
    ~BackgroundGeneration();
    BackgroundGeneration(const BackgroundGeneration&) = delete;
    BackgroundGeneration& operator=(const BackgroundGeneration&) = delete;

    // Runs the job on its own thread and the window's events until it has finished; gives
    // the job's result. Once only. Should the program's event loops be told to end first,
    // the job is stopped as by Cancel, its messages from then on are dropped, and it is
    // waited for. Without a thread to be had, the job runs on the calling thread.
    bool Run(const Job& job);

    // Asks the job to stop: its Messages::Cancelled() turns true.
    void Cancel() { cancel_ = true; }
    bool Cancelling() const { return cancel_; }

   private:
    class Relay;
    // The window thread's end: the calls queued for it go with it.
    class Receiver : public QObject {
       protected:
        bool event(QEvent* event) override;
    };
    // On the job's thread: runs call on the window's thread and waits until it returned or
    // the window no longer takes calls.
    void Call(std::function<void()> call);
    // Queues call for the window's thread; mutex_ is held.
    void Post(std::function<void()> call);
    // No call of the job is run from now on; a job waiting for one goes on.
    void Abandon();

    Messages& window_;
    Receiver receiver_;
    std::atomic<bool> cancel_{false};
    bool finished_ = false;  // the job has returned (set on the window's thread)
    bool result_ = false;
    QEventLoop* loop_ = nullptr;
    std::mutex mutex_;
    std::condition_variable answered_;
    bool pending_ = false;    // a call waits to be run or is running
    bool abandoned_ = false;  // the window takes no more calls
    std::thread thread_;
};
