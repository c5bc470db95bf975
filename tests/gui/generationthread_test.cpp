// A job on a thread of its own: the window's thread goes on with its events while the job
// runs, and every message reaches the window's thread in the job's order while the job
// waits for it.
#include "generationthread.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <future>
#include <thread>

#include "testutil.h"

namespace {

// Records every message with whether it came on the window's (the test's) thread.
class ThreadRecorder : public Recorder {
   public:
    void Show(const std::string& text) override {
        Note();
        Recorder::Show(text);
    }
    void ShowError(const std::string& caption, const std::string& text) override {
        Note();
        Recorder::ShowError(caption, text);
    }
    void ShowException(const std::string& text) override {
        Note();
        Recorder::ShowException(text);
    }
    void Detail(const std::string& text) override {
        Note();
        Recorder::Detail(text);
    }
    void Progress(int done, int total) override {
        Note();
        Recorder::Progress(done, total);
    }
    void Converting(int page, int total, const std::string& path) override {
        Note();
        Recorder::Converting(page, total, path);
    }
    int offThread = 0;  // messages that came on another thread

   private:
    void Note() {
        if (QThread::currentThread() != QCoreApplication::instance()->thread()) ++offThread;
    }
};

// The bound only keeps a job from waiting for ever on a window that never answers.
constexpr auto kNoAnswer = std::chrono::seconds(20);

}  // namespace

TEST(BackgroundGeneration, WindowGoesOnWithItsEventsWhileTheJobWaits) {
    ThreadRecorder window;
    BackgroundGeneration generation(window);
    // The job waits on the window's thread for a timer tick and a button click, which only
    // an event loop running during the job can deliver.
    std::promise<void> released;
    std::future<void> gate = released.get_future();
    QTimer timer;
    timer.setInterval(5);
    QPushButton button;
    int ticks = 0;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (++ticks == 3) QTest::mouseClick(&button, Qt::LeftButton);
    });
    QObject::connect(&button, &QPushButton::clicked, [&] { released.set_value(); });
    timer.start();  // it ticks only while an event loop runs
    std::thread::id jobThread;
    bool releasedInTime = false;
    const bool ok = generation.Run([&](Messages& messages) {
        jobThread = std::this_thread::get_id();
        messages.Converting(1, 1, "/pages/one.bmp");
        releasedInTime = gate.wait_for(kNoAnswer) == std::future_status::ready;
        messages.Progress(1, 1);
        return true;
    });
    EXPECT_TRUE(ok);
    EXPECT_TRUE(releasedInTime) << "the window's events stopped while the job ran";
    EXPECT_NE(jobThread, std::this_thread::get_id());
    EXPECT_GE(ticks, 3);
    EXPECT_EQ(window.converting, std::vector<std::string>{"1/1 one.bmp"});
    EXPECT_EQ(window.progress, std::vector<std::string>{"1/1"});
    EXPECT_EQ(window.offThread, 0);
}

TEST(BackgroundGeneration, MessagesComeInTheJobsOrderEachAnsweredBeforeTheNext) {
    ThreadRecorder window;
    BackgroundGeneration generation(window);
    std::vector<std::string> seenByJob;
    const bool ok = generation.Run([&](Messages& messages) {
        messages.Converting(1, 2, "/a/p1.png");
        messages.ShowError("Error", "null image!!!");
        // The box was answered before the job went on: the window has it already.
        seenByJob = window.log;
        messages.Detail("page 1, p1.png: cannot be read");
        messages.Progress(1, 2);
        messages.Converting(2, 2, "/a/p2.png");
        messages.Show("LoadFile error!");
        messages.ShowException("Cannot open file");
        messages.Show("Uncomplete!");
        return false;
    });
    EXPECT_FALSE(ok);
    EXPECT_EQ(seenByJob, std::vector<std::string>{"box:Error:null image!!!"});
    EXPECT_EQ(window.log, (std::vector<std::string>{"box:Error:null image!!!", "show:LoadFile error!",
                                                    "exception:Cannot open file", "show:Uncomplete!"}));
    EXPECT_EQ(window.details, std::vector<std::string>{"page 1, p1.png: cannot be read"});
    EXPECT_EQ(window.converting, (std::vector<std::string>{"1/2 p1.png", "2/2 p2.png"}));
    EXPECT_EQ(window.offThread, 0);
}

TEST(BackgroundGeneration, AnErrorRaisedByTheJobIsAFailure) {
    ThreadRecorder window;
    BackgroundGeneration generation(window);
    EXPECT_FALSE(generation.Run([](Messages& messages) -> bool {
        messages.Show("first");
        throw std::runtime_error("lost");
    }));
    EXPECT_EQ(window.log, std::vector<std::string>{"show:first"});
}
