// optivane-fake-phone as a child process in the test's network namespace,
// its output (what it received, overlaps) kept in a file the test reads.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace optivane::test {

class FakePhoneProcess {
public:
    // Starts the simulator beside the test binary on address:port with the
    // extra arguments, and waits until it listens; IsRunning() tells.
    FakePhoneProcess(const std::string& address, int port, std::vector<std::string> extra = {}) {
        char pattern[] = "/tmp/optivane-phone-XXXXXX";
        const int fd = mkstemp(pattern);
        if (fd < 0) return;
        m_logPath = pattern;
        std::vector<std::string> command{SimulatorPath(), "--address", address, "--port", std::to_string(port)};
        command.insert(command.end(), extra.begin(), extra.end());
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fd, 1);
        posix_spawn_file_actions_adddup2(&actions, fd, 2);
        std::vector<char*> argv;
        for (std::string& argument : command) argv.push_back(argument.data());
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(fd);
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (m_pid > 0 && Log().find("listening on") == std::string::npos && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        m_listening = Log().find("listening on") != std::string::npos;
    }
    ~FakePhoneProcess() {
        if (m_pid > 0 && kill(m_pid, SIGKILL) == 0) waitpid(m_pid, nullptr, 0);
        if (!m_logPath.empty()) std::remove(m_logPath.c_str());
    }
    FakePhoneProcess(const FakePhoneProcess&) = delete;
    FakePhoneProcess& operator=(const FakePhoneProcess&) = delete;

    bool IsRunning() const { return m_listening; }
    std::string Log() const {
        std::ifstream file(m_logPath);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }

private:
    static std::string SimulatorPath() {
        char self[4096];
        const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
        std::string path(self, length > 0 ? static_cast<size_t>(length) : 0);
        return path.substr(0, path.rfind('/') + 1) + "optivane-fake-phone";
    }

    std::string m_logPath;
    pid_t m_pid = -1;
    bool m_listening = false;
};

}  // namespace optivane::test
