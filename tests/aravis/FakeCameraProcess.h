// A simulated camera program (arv-fake-gv-camera-0.8, optivane-fake-camera) as
// a child process in the test's network namespace, its output discarded.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <string>
#include <vector>

extern char** environ;

namespace optivane::test {

class FakeCameraProcess {
public:
    // The program (found on PATH unless a path) and its arguments.
    explicit FakeCameraProcess(std::vector<std::string> command) : m_command(std::move(command)) {}
    ~FakeCameraProcess() { Kill(); }
    FakeCameraProcess(const FakeCameraProcess&) = delete;
    FakeCameraProcess& operator=(const FakeCameraProcess&) = delete;

    bool Start() {
        posix_spawn_file_actions_t actions;
        if (m_pid > 0 || posix_spawn_file_actions_init(&actions) != 0) return m_pid > 0;
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        std::vector<char*> argv;
        for (std::string& argument : m_command) argv.push_back(argument.data());
        argv.push_back(nullptr);
        if (posix_spawnp(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        return m_pid > 0;
    }
    // Ends it at once, as a pulled cable would, and reaps it.
    void Kill() {
        if (m_pid > 0 && kill(m_pid, SIGKILL) == 0) waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    std::vector<std::string> m_command;
    pid_t m_pid = -1;
};

}  // namespace optivane::test
