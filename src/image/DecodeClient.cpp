// LoadImageFile and ReadImageSize through a pool of decoder processes. A decoder that crashes,
// runs out of its memory or hangs costs the one file it was given: the caller gets null and a
// one-line reason, and the next load gets a fresh process. The pool is shared by every thread
// of the caller; processes stay warm between loads, so a search over ten thousand files does
// not pay a process start for each.
#include "image/DecodeProtocol.h"
#include "image/ImageLoading.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace vantrel {
namespace {

using decoding::Reply;
using decoding::Request;
using decoding::RequestKind;

constexpr const char* kHelperName = "vantrel-decoder";
// The largest analysis a decoder may send back: the coefficients of a 2^28-pixel JPEG at full
// chroma resolution, with room to spare.
constexpr std::uint64_t kMaxAnalysisBytes = std::uint64_t{2} << 30;

// The environment names the helper first (tests, installs elsewhere); then the folder of the
// running program (a build tree); then libexec/vantrel beside that program's bin/ (an install,
// which keeps the helper off the user's PATH); then the build tree.
std::string HelperPath() {
    if (const char* configured = std::getenv("VANTREL_DECODER"); configured && *configured) {
        return configured;
    }
    std::error_code failed;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", failed);
    if (!failed) {
        const std::filesystem::path bin = self.parent_path();
        for (const std::filesystem::path& helper :
             {bin / kHelperName, bin / "../libexec/vantrel" / kHelperName}) {
            if (access(helper.c_str(), X_OK) == 0) {
                return helper.lexically_normal().string();
            }
        }
    }
#ifdef VANTREL_DECODER_BUILD_PATH
    if (access(VANTREL_DECODER_BUILD_PATH, X_OK) == 0) {
        return VANTREL_DECODER_BUILD_PATH;
    }
#endif
    return kHelperName;
}

// The helper's environment is the caller's, with two additions.
std::vector<std::string> HelperEnvironment() {
    std::vector<std::string> variables;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        variables.emplace_back(*variable);
    }
    // Decoders fill fresh multi-megabyte bitmaps; with 2 MB pages that costs a fraction of the
    // page faults (glibc's malloc asks for them with this tunable).
    const char* tunables = std::getenv("GLIBC_TUNABLES");
    std::erase_if(variables, [](const std::string& v) { return v.starts_with("GLIBC_TUNABLES="); });
    variables.push_back(std::string("GLIBC_TUNABLES=") +
                        (tunables ? std::string(tunables) + ":" : "") + "glibc.malloc.hugetlb=1");
    // Under AddressSanitizer a crash in a decoder would be caught, symbolised and reported (to a
    // closed stderr) before the process ends; there it simply ends, unless its stderr is kept
    // for debugging.
    if (decoding::kAddressSanitizer && std::getenv("VANTREL_DECODER_STDERR") == nullptr) {
        const char* options = std::getenv("ASAN_OPTIONS");
        std::string quick = std::string("ASAN_OPTIONS=") + (options ? options : "") +
                            ":handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_abort=0";
        std::erase_if(variables,
                      [](const std::string& v) { return v.starts_with("ASAN_OPTIONS="); });
        variables.push_back(std::move(quick));
    }
    return variables;
}

void CloseDescriptor(int& descriptor) {
    if (descriptor >= 0) {
        close(descriptor);
        descriptor = -1;
    }
}

// Every helper this process started and has not yet reaped, so that the program can end them
// when it exits instead of leaving a long decode running after it.
struct LiveHelpers {
    std::mutex mutex;
    std::vector<pid_t> pids;
    bool stopped = false; // no helper starts once the program is on its way out
};

LiveHelpers& Helpers() {
    static LiveHelpers* helpers = new LiveHelpers;
    return *helpers;
}

class DecoderProcess {
public:
    enum class Outcome { Answered, Crashed, TimedOut, NotDelivered };

    static std::unique_ptr<DecoderProcess> Start(std::int64_t memoryLimit, std::string* error) {
        int sockets[2] = {-1, -1};
        if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sockets) != 0) {
            *error = "no socket for the image decoder";
            return nullptr;
        }
        int childEnd = sockets[1];
        if (childEnd == decoding::kSocketDescriptor) {
            // dup2 onto itself would leave close-on-exec set.
            childEnd = fcntl(sockets[1], F_DUPFD_CLOEXEC, 10);
            close(sockets[1]);
        }
        const std::string path = HelperPath();
        const std::string limit = std::to_string(memoryLimit);
        LiveHelpers& helpers = Helpers();
        const std::lock_guard registry(helpers.mutex);
        if (helpers.stopped) {
            close(sockets[0]);
            close(childEnd);
            *error = "the program is closing";
            return nullptr;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, childEnd, decoding::kSocketDescriptor);
        // Nothing else of the caller's (files, sockets of the GUI) reaches the decoder.
        posix_spawn_file_actions_addclosefrom_np(&actions, decoding::kSocketDescriptor + 1);
        char* arguments[] = {const_cast<char*>(path.c_str()), const_cast<char*>("--memory-limit"),
                             const_cast<char*>(limit.c_str()), nullptr};
        std::vector<std::string> variables = HelperEnvironment();
        std::vector<char*> environment;
        for (std::string& variable : variables) {
            environment.push_back(variable.data());
        }
        environment.push_back(nullptr);
        pid_t pid = -1;
        const int spawned =
            posix_spawnp(&pid, path.c_str(), &actions, nullptr, arguments, environment.data());
        posix_spawn_file_actions_destroy(&actions);
        close(childEnd);
        if (spawned != 0) {
            close(sockets[0]);
            *error = "could not start the image decoder " + path;
            return nullptr;
        }
        helpers.pids.push_back(pid);
        return std::unique_ptr<DecoderProcess>(new DecoderProcess(pid, sockets[0], memoryLimit));
    }

    ~DecoderProcess() {
        // Closing the socket ends a healthy helper; one that misbehaved is killed outright.
        CloseDescriptor(socket_);
        LiveHelpers& helpers = Helpers();
        bool ours = false;
        {
            const std::lock_guard registry(helpers.mutex);
            ours = std::erase(helpers.pids, pid_) > 0;
        }
        // A helper StopDecoders took is reaped already: its pid may belong to another process.
        if (pid_ > 0 && ours) {
            if (!healthy_) {
                kill(pid_, SIGKILL);
                waitpid(pid_, nullptr, 0);
            } else {
                Reap(pid_);
            }
        }
    }

    DecoderProcess(const DecoderProcess&) = delete;
    DecoderProcess& operator=(const DecoderProcess&) = delete;

    std::int64_t memoryLimit() const { return memoryLimit_; }
    bool healthy() const { return healthy_; }

    // The bitmap of a Decode reply: from its memfd, or read from this helper's memory (then the
    // helper is told it may let go of it). Null when the reply is inconsistent; `refused` is set
    // when the system does not allow reading another process's memory.
    BitmapHandle receiveBitmap(Reply& reply, bool* refused) {
        if (reply.payload >= 0) {
            return decoding::ReadBitmapFromMemfd(reply.payload);
        }
        BitmapHandle bitmap = decoding::BitmapFromPayloadHead(reply.head, reply.pixelBytes);
        int failure = 0;
        if (bitmap &&
            !decoding::ReadRemotePixels(pid_, reply.pixelAddress, bitmap.get(), &failure)) {
            bitmap.reset();
            *refused = failure == EPERM || failure == ENOSYS || failure == EACCES;
        }
        release();
        return bitmap;
    }

    // An analysis's encoding: from its memfd, or read from this helper's memory (where it is
    // kept until released) when it is no larger than `maxBytes`.
    bool receiveAnalysis(Reply& reply, std::uint64_t maxBytes, decoding::ReplyBytes* bytes,
                         bool* refused) {
        if (reply.payload >= 0) {
            return bytes->read(reply.payload, maxBytes);
        }
        int failure = 0;
        const bool read = reply.pixelBytes <= maxBytes && reply.rowsBytes <= maxBytes &&
                          reply.pixelBytes + reply.rowsBytes <= maxBytes &&
                          bytes->readRemote(pid_, reply.pixelAddress, reply.pixelBytes, &failure,
                                            reply.rowsAddress, reply.rowsBytes);
        *refused = failure == EPERM || failure == ENOSYS || failure == EACCES;
        release();
        return read;
    }

    Outcome exchange(const Request& request, Reply* reply, int timeoutMilliseconds) {
        followCallersCores();
        if (!decoding::SendPacket(socket_, decoding::EncodeRequest(request))) {
            healthy_ = false;
            return Outcome::NotDelivered;
        }
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
        return receive(reply, deadline);
    }

private:
    // Tells the helper the caller has read what it lent.
    void release() {
        const Request done{RequestKind::Release, false, false, 0, {}, {}};
        if (healthy_ && !decoding::SendPacket(socket_, decoding::EncodeRequest(done))) {
            healthy_ = false;
        }
    }

    // The caller waits while its decoder works, so the two can share the caller's cores. A
    // caller kept to one core (a job of a tree scan) then has its decode there too, instead of
    // queued behind other work while a core stands idle.
    void followCallersCores() {
        cpu_set_t cores;
        CPU_ZERO(&cores);
        if (sched_getaffinity(0, sizeof cores, &cores) == 0 &&
            (!coresKnown_ || !CPU_EQUAL(&cores, &cores_))) {
            if (sched_setaffinity(pid_, sizeof cores, &cores) == 0) {
                cores_ = cores;
                coresKnown_ = true;
            }
        }
    }

    Outcome receive(Reply* reply, std::chrono::steady_clock::time_point deadline) {
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                healthy_ = false;
                return Outcome::TimedOut;
            }
            pollfd wait{socket_, POLLIN, 0};
            const int ready = poll(&wait, 1, static_cast<int>(left.count()));
            if (ready > 0) {
                break;
            }
            if (ready < 0 && errno != EINTR) {
                healthy_ = false;
                return Outcome::Crashed;
            }
        }
        std::vector<std::uint8_t> packet;
        int descriptor = -1;
        const long received = decoding::ReceivePacket(socket_, &packet, &descriptor);
        if (received <= 0 || !decoding::ParseReplyHeader(packet, reply)) {
            // End of stream or garbage: the process died in the decoder (or is not ours).
            if (descriptor >= 0) {
                close(descriptor);
            }
            healthy_ = false;
            return Outcome::Crashed;
        }
        reply->payload = descriptor;
        if (reply->retire) {
            healthy_ = false; // replaced once this request is done
        }
        // One line, whatever the decoder said.
        std::replace(reply->message.begin(), reply->message.end(), '\n', ' ');
        return Outcome::Answered;
    }

    DecoderProcess(pid_t pid, int socket, std::int64_t memoryLimit)
        : pid_(pid), socket_(socket), memoryLimit_(memoryLimit) {}

    // A helper whose socket was closed exits at once; reaping it must not hold up the caller.
    static void Reap(pid_t pid) {
        if (waitpid(pid, nullptr, WNOHANG) == 0) {
            std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
        }
    }

    pid_t pid_;
    cpu_set_t cores_{};
    bool coresKnown_ = false;
    int socket_;
    std::int64_t memoryLimit_;
    bool healthy_ = true;
};

// At most `capacity` helpers run at once; a caller beyond that waits for one to come back.
class DecoderPool {
public:
    explicit DecoderPool(int capacity) : capacity_(capacity) {}

    std::unique_ptr<DecoderProcess> acquire(std::int64_t memoryLimit, std::string* error) {
        std::unique_ptr<DecoderProcess> stale;
        {
            std::unique_lock lock(mutex_);
            returned_.wait(lock, [&] { return !idle_.empty() || running_ < capacity_; });
            if (!idle_.empty()) {
                std::unique_ptr<DecoderProcess> process = std::move(idle_.back());
                idle_.pop_back();
                if (process->memoryLimit() == memoryLimit) {
                    return process;
                }
                stale = std::move(process); // started under other limits: replaced below
            } else {
                ++running_;
            }
        }
        stale.reset();
        std::unique_ptr<DecoderProcess> process = DecoderProcess::Start(memoryLimit, error);
        if (!process) {
            const std::lock_guard lock(mutex_);
            --running_;
            returned_.notify_one();
        }
        return process;
    }

    void release(std::unique_ptr<DecoderProcess> process) {
        if (!process->healthy()) {
            process.reset(); // killed and reaped outside the lock
            const std::lock_guard lock(mutex_);
            --running_;
        } else {
            const std::lock_guard lock(mutex_);
            idle_.push_back(std::move(process));
        }
        returned_.notify_one();
    }

private:
    std::mutex mutex_;
    std::condition_variable returned_;
    std::vector<std::unique_ptr<DecoderProcess>> idle_;
    int running_ = 0; // idle and busy
    const int capacity_;
};

DecoderPool& Pool() {
    // Never destroyed: the helpers end when this process ends and their sockets close.
    static DecoderPool* pool = new DecoderPool(DecoderPoolCapacity());
    return *pool;
}

// Reading the decoder's memory directly saves a copy through shared memory; where the system
// refuses it (a sandbox without process_vm_readv), every later load uses a memfd.
std::atomic<bool> remoteReadRefused{false};

struct Answer {
    BitmapHandle bitmap;           // Decode
    Size size;                     // Size
    decoding::ReplyBytes analysis; // Analyse
    std::string message;           // one line naming the file, when there is neither
};

// One request through the pool. A warm helper that died while idle never saw the request, so
// that case is retried on a fresh process, as is a decode whose pixels could not be read
// directly.
Answer Exchange(RequestKind kind, const std::string& path, const DecodeOptions& options,
                const std::string& analysis = {}) {
    const DecodeLimits& limits = options.limits;
    Answer answer;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const Request request{
            kind, remoteReadRefused.load(), options.keepIndexed, limits.maxPixels, path, analysis};
        std::string error;
        std::unique_ptr<DecoderProcess> process = Pool().acquire(limits.maxMemoryBytes, &error);
        if (!process) {
            answer.message = error + " for " + path;
            return answer;
        }
        Reply reply;
        const DecoderProcess::Outcome outcome =
            process->exchange(request, &reply, limits.timeoutMilliseconds);
        bool refused = false;
        if (outcome == DecoderProcess::Outcome::Answered && kind == RequestKind::Decode &&
            reply.ok) {
            answer.bitmap = process->receiveBitmap(reply, &refused);
            if (!answer.bitmap) {
                reply.message = "the image decoder sent an unreadable bitmap for " + path;
            }
        }
        if (outcome == DecoderProcess::Outcome::Answered && kind == RequestKind::Analyse &&
            reply.ok &&
            !process->receiveAnalysis(reply, kMaxAnalysisBytes, &answer.analysis, &refused)) {
            reply.ok = false;
            reply.message = "the image decoder sent an unreadable analysis of " + path;
        }
        CloseDescriptor(reply.payload);
        Pool().release(std::move(process));
        switch (outcome) {
        case DecoderProcess::Outcome::Answered:
            if (refused && !request.sharedMemory) {
                remoteReadRefused = true;
                continue;
            }
            answer.size = {reply.width, reply.height};
            answer.message = reply.ok && (kind == RequestKind::Size || kind == RequestKind::Analyse)
                                 ? ""
                                 : reply.message;
            return answer;
        case DecoderProcess::Outcome::Crashed:
            answer.message = "decoder crashed on " + path;
            return answer;
        case DecoderProcess::Outcome::TimedOut:
            answer.message = "timed out decoding " + path;
            return answer;
        case DecoderProcess::Outcome::NotDelivered:
            answer.message = "the image decoder did not take " + path;
            break;
        }
    }
    return answer;
}

} // namespace

Result<decoding::ReplyBytes> AnalyseInDecoderInPlace(const std::string& path,
                                                     const std::string& analysis,
                                                     const DecodeLimits& limits) {
    DecodeOptions options;
    options.limits = limits;
    Answer answer = Exchange(RequestKind::Analyse, path, options, analysis);
    if (!answer.message.empty()) {
        return Failure(answer.message);
    }
    return std::move(answer.analysis);
}

Result<std::vector<std::uint8_t>>
AnalyseInDecoder(const std::string& path, const std::string& analysis, const DecodeLimits& limits) {
    const Result<decoding::ReplyBytes> reply = AnalyseInDecoderInPlace(path, analysis, limits);
    if (!reply) {
        return Failure(reply.error());
    }
    return std::vector<std::uint8_t>(reply->bytes().begin(), reply->bytes().end());
}

void StopDecoders() {
    LiveHelpers& helpers = Helpers();
    std::vector<pid_t> pids;
    {
        const std::lock_guard registry(helpers.mutex);
        helpers.stopped = true;
        pids.swap(helpers.pids);
    }
    for (const pid_t pid : pids) {
        kill(pid, SIGKILL);
    }
    for (const pid_t pid : pids) {
        waitpid(pid, nullptr, 0);
    }
}

int DecoderPoolCapacity() {
    // Two even on one core, so that one slow decode does not hold up every other load; at most
    // four, since each helper may hold a large picture's memory.
    return std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 2, 4);
}

Result<BitmapHandle> LoadImageFile(const std::string& path, const DecodeOptions& options) {
    Answer answer = Exchange(RequestKind::Decode, path, options);
    if (!answer.bitmap) {
        return Failure(answer.message.empty() ? "Could not decode " + path : answer.message);
    }
    return std::move(answer.bitmap);
}

Result<Size> ReadImageSize(const std::string& path, const DecodeLimits& limits) {
    const Answer answer = Exchange(RequestKind::Size, path, {limits, false});
    if (answer.size.width <= 0 || answer.size.height <= 0) {
        return Failure(answer.message.empty() ? "Could not read the size of " + path
                                              : answer.message);
    }
    return answer.size;
}

} // namespace vantrel
