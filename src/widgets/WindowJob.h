#pragma once
// A window's long work on a thread of its own, one run at a time. The window stops the run
// (asks it to cancel, then waits) before starting another and before it lets go of what the run
// reads; the run posts its results back to the window's thread.
#include <atomic>
#include <thread>
#include <utility>

namespace vantrel {

class WindowJob {
public:
    WindowJob() = default;
    WindowJob(const WindowJob&) = delete;
    WindowJob& operator=(const WindowJob&) = delete;
    ~WindowJob() { stop(); }

    // Stops a run still going, then starts `work`.
    template <typename Work> void start(Work work) {
        stop();
        cancel_ = false;
        thread_ = std::thread(std::move(work));
    }

    // Asks the run to end early; it checks `cancelFlag()` as it goes.
    void cancel() { cancel_ = true; }
    const std::atomic<bool>* cancelFlag() const { return &cancel_; }
    bool cancelled() const { return cancel_.load(); }

    // Waits for the run to end (at once when it has posted its last result).
    void join() {
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    void stop() {
        cancel();
        join();
    }
    bool running() const { return thread_.joinable(); }

private:
    std::thread thread_;
    std::atomic<bool> cancel_{false};
};

} // namespace vantrel
