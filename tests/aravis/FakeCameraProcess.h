// arv-fake-gv-camera-0.8 as a child process on one loopback address (512 x 512
// Mono8, 25 frames per second, 10 ms exposure), in the test's network namespace.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <string>

extern char** environ;

namespace optivane::test {

class FakeCameraProcess {
public:
    explicit FakeCameraProcess(std::string address) : m_address(std::move(address)) {}
    ~FakeCameraProcess() { Kill(); }
    FakeCameraProcess(const FakeCameraProcess&) = delete;
    FakeCameraProcess& operator=(const FakeCameraProcess&) = delete;

    bool Start() {
        if (m_pid > 0) return true;
        posix_spawn_file_actions_t actions;
        if (posix_spawn_file_actions_init(&actions) != 0) return false;
        // Its progress lines would drown the test output.
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        std::string program = "arv-fake-gv-camera-0.8", option = "-i";
        char* argv[] = {program.data(), option.data(), m_address.data(), nullptr};
        if (posix_spawnp(&m_pid, program.c_str(), &actions, nullptr, argv, environ) != 0) m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        return m_pid > 0;
    }
    // Ends it at once, as a pulled cable would, and reaps it.
    void Kill() {
        if (m_pid <= 0) return;
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    std::string m_address;
    pid_t m_pid = -1;
};

}  // namespace optivane::test
