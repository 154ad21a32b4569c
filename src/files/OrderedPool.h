#pragma once
// File work run ahead on a few threads and handed back in the order it was handed out: the
// similar image search and the tree scan both report files in walk order while the decodes of
// the files behind overlap. The pool's threads mostly wait on decoder processes, so they are
// threads of its own, never the shared pool the pixel kernels use, which must not block.
#include "image/Result.h"

#include <algorithm>
#include <cassert>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

namespace vantrel {

template <typename T> class OrderedPool {
public:
    using Work = std::function<Result<T>()>;

    // `lookAhead` bounds the files handed out and not yet taken back, so that one slow file
    // holds back only that many finished ones. `threadStarted` runs first on each thread, with
    // its number (0..threads-1).
    OrderedPool(int threads, std::size_t lookAhead,
                const std::function<void(int thread)>& threadStarted = {})
        : lookAhead_(std::max<std::size_t>(1, lookAhead)) {
        for (int i = 0; i < std::max(1, threads); ++i) {
            threads_.emplace_back([this, i, threadStarted](std::stop_token stop) {
                if (threadStarted) {
                    threadStarted(i);
                }
                run(stop);
            });
        }
    }

    // Drops the files not begun and waits for those being worked on.
    ~OrderedPool() { stop(); }

    OrderedPool(const OrderedPool&) = delete;
    OrderedPool& operator=(const OrderedPool&) = delete;

    // Files handed out and not yet taken back; the caller's thread only.
    std::size_t inFlight() const { return order_.size(); }
    // True when the oldest must be taken back before another is handed out.
    bool full() const { return order_.size() >= lookAhead_; }

    // Hands out the work for one file. An exception it throws becomes the file's failure,
    // "file: what it said".
    void submit(std::string file, Work work) {
        assert(!full());
        auto piece = std::make_shared<Piece>();
        piece->file = std::move(file);
        piece->work = std::move(work);
        {
            const std::lock_guard lock(mutex_);
            waiting_.push_back(piece);
        }
        order_.push_back(std::move(piece));
        workReady_.notify_one();
    }

    // The outcome of the oldest file handed out, once it is done.
    Result<T> takeOldest() {
        assert(!order_.empty());
        const std::shared_ptr<Piece> piece = std::move(order_.front());
        order_.pop_front();
        std::unique_lock lock(mutex_);
        pieceDone_.wait(lock, [&] { return piece->outcome.has_value(); });
        return std::move(*piece->outcome);
    }

    // Drops the files not begun, and returns once those being worked on are done; nothing is
    // in flight afterwards.
    void stop() {
        {
            const std::lock_guard lock(mutex_);
            waiting_.clear();
        }
        for (std::jthread& thread : threads_) {
            thread.request_stop();
        }
        workReady_.notify_all();
        threads_.clear(); // joins
        order_.clear();
    }

private:
    struct Piece {
        std::string file;
        Work work;
        std::optional<Result<T>> outcome; // set under the mutex
    };

    static Result<T> Guarded(const Piece& piece) {
        try {
            return piece.work();
        } catch (const std::exception& error) { // memory refused for a huge picture, say
            return Failure(piece.file + ": " + error.what());
        } catch (...) {
            return Failure(piece.file + ": unknown failure");
        }
    }

    void run(const std::stop_token& stop) {
        while (true) {
            std::shared_ptr<Piece> piece;
            {
                std::unique_lock lock(mutex_);
                workReady_.wait(lock, stop, [&] { return !waiting_.empty(); });
                if (stop.stop_requested() || waiting_.empty()) {
                    return;
                }
                piece = std::move(waiting_.front());
                waiting_.pop_front();
            }
            Result<T> outcome = Guarded(*piece);
            {
                const std::lock_guard lock(mutex_);
                piece->outcome.emplace(std::move(outcome));
            }
            pieceDone_.notify_all();
        }
    }

    const std::size_t lookAhead_;
    std::mutex mutex_;
    std::condition_variable_any workReady_;
    std::condition_variable pieceDone_;
    std::deque<std::shared_ptr<Piece>> waiting_; // handed out, not begun
    std::deque<std::shared_ptr<Piece>> order_;   // handed out, oldest first; the caller's thread
    std::vector<std::jthread> threads_;
};

} // namespace vantrel
