// A program of ours run as a child process, its output captured in files, so
// that tests see exactly what a person would: exit status, standard output
// and standard error.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace optivane::test {

inline std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

class ToolProcess {
public:
    ToolProcess() = default;
    ~ToolProcess() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            int status = 0;
            waitpid(m_pid, &status, 0);
        }
    }
    ToolProcess(const ToolProcess&) = delete;
    ToolProcess& operator=(const ToolProcess&) = delete;

    // Starts the program (first element: its path) with standard output and
    // error going to the two files.
    bool Start(const std::vector<std::string>& arguments, const std::string& outFile, const std::string& errFile) {
        if (m_pid > 0 || arguments.empty()) return false;
        m_outFile = outFile;
        m_errFile = errFile;
        posix_spawn_file_actions_t actions;
        if (posix_spawn_file_actions_init(&actions) != 0) return false;
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<std::string> copies = arguments;
        std::vector<char*> argv;
        for (std::string& argument : copies) argv.push_back(argument.data());
        argv.push_back(nullptr);
        const int result = posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (result != 0) m_pid = -1;
        return m_pid > 0;
    }

    void Signal(int signal) const {
        if (m_pid > 0) kill(m_pid, signal);
    }

    // Waits for the exit status; -1 when it did not end in time (it is then
    // killed) or ended by a signal.
    int Wait(std::chrono::seconds limit) {
        if (m_pid <= 0) return -1;
        const auto deadline = std::chrono::steady_clock::now() + limit;
        int status = 0;
        for (;;) {
            const pid_t ended = waitpid(m_pid, &status, WNOHANG);
            if (ended == m_pid) break;
            if (ended < 0) {
                m_pid = -1;
                return -1;
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                kill(m_pid, SIGKILL);
                waitpid(m_pid, &status, 0);
                m_pid = -1;
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Waits until the standard output holds the text; false after the limit.
    bool WaitForOutput(const std::string& text, std::chrono::seconds limit) const {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            if (ReadFile(m_outFile).find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    std::string Out() const { return ReadFile(m_outFile); }
    std::string Err() const { return ReadFile(m_errFile); }

private:
    pid_t m_pid = -1;
    std::string m_outFile;
    std::string m_errFile;
};

// One finished run of a program.
struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

inline ToolRun RunTool(const std::vector<std::string>& arguments, const std::string& folder,
                       std::chrono::seconds limit = std::chrono::seconds(180)) {
    ToolProcess process;
    ToolRun run;
    if (!process.Start(arguments, folder + "/run.out", folder + "/run.err")) return run;
    run.status = process.Wait(limit);
    run.out = process.Out();
    run.err = process.Err();
    return run;
}

}  // namespace optivane::test
