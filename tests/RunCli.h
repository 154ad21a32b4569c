#pragma once
// Runs vantrel-cli as a user would, without a shell: every argument reaches the program as it is,
// whatever spaces or quotes a path holds.
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#ifdef QT_CORE_LIB
#include <QStringList>
#endif

#include <array>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

extern char** environ;

namespace vantrel::testing {

struct CliRun {
    int status = -1; // the exit status; -1 when the program did not exit normally
    std::string out; // standard output (and standard error too, when merged)
    std::string err; // standard error
};

enum class CliStreams { Separate, Merged };

inline CliRun RunCli(const std::vector<std::string>& arguments,
                     CliStreams streams = CliStreams::Separate, std::string_view input = {}) {
    CliRun run;
    int out[2], err[2], in[2];
    if (pipe(out) != 0 || pipe(err) != 0 || pipe(in) != 0) {
        return run;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, streams == CliStreams::Merged ? out[1] : err[1], 2);
    for (const int descriptor : {in[0], in[1], out[0], out[1], err[0], err[1]}) {
        posix_spawn_file_actions_addclose(&actions, descriptor);
    }
    std::vector<std::string> words{VANTREL_CLI};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    close(err[1]);
    if (spawned == 0 && !input.empty()) {
        // Inputs in tests are small: they fit the pipe, so writing before reading cannot block.
        [[maybe_unused]] const ssize_t written = write(in[1], input.data(), input.size());
    }
    close(in[1]);
    std::array<pollfd, 2> readers{{{out[0], POLLIN, 0}, {err[0], POLLIN, 0}}};
    std::array<std::string*, 2> sinks{&run.out, &run.err};
    int open = 2;
    while (spawned == 0 && open > 0 && poll(readers.data(), readers.size(), -1) > 0) {
        for (std::size_t i = 0; i < readers.size(); ++i) {
            if (readers[i].fd < 0 || readers[i].revents == 0) {
                continue;
            }
            std::array<char, 4096> buffer;
            const ssize_t got = read(readers[i].fd, buffer.data(), buffer.size());
            if (got > 0) {
                sinks[i]->append(buffer.data(), static_cast<std::size_t>(got));
            } else {
                close(readers[i].fd);
                readers[i].fd = -1;
                --open;
            }
        }
    }
    for (const pollfd& reader : readers) {
        if (reader.fd >= 0) {
            close(reader.fd);
        }
    }
    int raw = 0;
    if (spawned == 0 && waitpid(pid, &raw, 0) == pid && WIFEXITED(raw)) {
        run.status = WEXITSTATUS(raw);
    }
    return run;
}

// A shell command line, for the tests that need the shell's pipes, quoting or redirections:
// its standard output and exit status.
inline CliRun Shell(const std::string& command) {
    CliRun run;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        std::array<char, 4096> buffer{};
        while (fgets(buffer.data(), static_cast<int>(buffer.size()), pipe) != nullptr) {
            run.out += buffer.data();
        }
        const int raw = pclose(pipe);
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    return run;
}

// A command's output one line an element.
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

#ifdef QT_CORE_LIB
inline CliRun RunCli(const QStringList& arguments) {
    std::vector<std::string> words;
    for (const QString& argument : arguments) {
        words.push_back(argument.toStdString());
    }
    return RunCli(words);
}
#endif

} // namespace vantrel::testing
