// optivane-frame-source as a child process: started with its arguments,
// ready once it has printed its "listening on" line, killed when destroyed.
#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

namespace optivane::test {

class SourceProcess {
public:
    SourceProcess(const std::string& program, std::vector<std::string> arguments) {
        int pipe[2];
        if (::pipe(pipe) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipe[1], 1);
        posix_spawn_file_actions_adddup2(&actions, pipe[1], 2);
        posix_spawn_file_actions_addclose(&actions, pipe[0]);
        arguments.insert(arguments.begin(), program);
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipe[1]);
        m_output = fdopen(pipe[0], "r");
    }
    ~SourceProcess() {
        Stop();
        if (m_output != nullptr) fclose(m_output);
    }
    SourceProcess(const SourceProcess&) = delete;
    SourceProcess& operator=(const SourceProcess&) = delete;

    // Reads the first line (bounded by the child's own exit): its ready line or its error.
    std::string FirstLine() {
        char line[512] = {};
        if (m_output == nullptr || fgets(line, sizeof(line), m_output) == nullptr) return "";
        return line;
    }
    // The exit status, after waiting for the child to end by itself.
    int Wait() {
        int status = 0;
        if (m_pid <= 0 || waitpid(m_pid, &status, 0) != m_pid) return -1;
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    void Stop() {
        if (m_pid > 0 && kill(m_pid, SIGTERM) == 0) waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
    FILE* m_output = nullptr;
};

}  // namespace optivane::test
