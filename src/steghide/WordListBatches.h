#pragma once
// The word-list searches' driver: the list read a block of whole lines at a time on one thread,
// and split into its lines on the cores that check them: the reading thread only copies bytes, so
// it keeps up with every core.
#include <tbb/parallel_pipeline.h>
#include <tbb/task_arena.h>

#include <algorithm>
#include <cstddef>
#include <istream>
#include <memory>
#include <string>
#include <string_view>

namespace vantrel::wordlist {

// Reads whole lines a block at a time; the line a block cuts waits for the next.
class LineBlocks {
public:
    static constexpr std::size_t kBytesPerBlock = std::size_t{1} << 16;
    static constexpr std::size_t kMaxLineBytes = std::size_t{1} << 20;

    explicit LineBlocks(std::istream* in) : in_(in) {}
    std::string Next() {
        std::string text;
        text.swap(carry_);
        if (in_ && *in_) {
            const std::size_t kept = text.size();
            text.resize(kept + kBytesPerBlock);
            in_->read(text.data() + kept, static_cast<std::streamsize>(kBytesPerBlock));
            text.resize(kept + static_cast<std::size_t>(in_->gcount()));
            if (*in_) {
                const std::size_t end = text.rfind('\n');
                // A megabyte without a line end is no word list: it goes as one word rather than
                // being held whole.
                const std::size_t cut = end != std::string::npos      ? end + 1
                                        : text.size() > kMaxLineBytes ? text.size()
                                                                      : 0;
                carry_.assign(text, cut);
                text.resize(cut);
            }
        }
        return text;
    }
    bool ended() const { return carry_.empty() && (!in_ || !*in_); }

private:
    std::istream* in_;
    std::string carry_;
};

// Each line of a block, without its "\r\n" or "\n"; empty lines included.
template <typename Visit> void ForEachLine(std::string_view text, const Visit& visit) {
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string_view word = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (!word.empty() && word.back() == '\r') {
            word.remove_suffix(1);
        }
        visit(word);
    }
}

// Runs the batches of a list through three stages: `read` on one thread in list order (null ends
// the list), `check` on every core, `collect` on one thread in list order.
template <class Batch, class Read, class Check, class Collect>
void RunBatches(const Read& read, const Check& check, const Collect& collect) {
    tbb::parallel_pipeline(static_cast<std::size_t>(2 * tbb::this_task_arena::max_concurrency()),
                           tbb::make_filter<void, std::shared_ptr<Batch>>(
                               tbb::filter_mode::serial_in_order,
                               [&](tbb::flow_control& control) -> std::shared_ptr<Batch> {
                                   std::shared_ptr<Batch> batch = read();
                                   if (!batch) {
                                       control.stop();
                                   }
                                   return batch;
                               }) &
                               tbb::make_filter<std::shared_ptr<Batch>, std::shared_ptr<Batch>>(
                                   tbb::filter_mode::parallel,
                                   [&](std::shared_ptr<Batch> batch) {
                                       check(*batch);
                                       return batch;
                                   }) &
                               tbb::make_filter<std::shared_ptr<Batch>, void>(
                                   tbb::filter_mode::serial_in_order,
                                   [&](std::shared_ptr<Batch> batch) { collect(*batch); }));
}

} // namespace vantrel::wordlist
