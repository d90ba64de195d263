// A forked child that runs a body, reports its result byte (1 for success) and
// waits to be told to exit, so that a test can act while the child holds
// something (a file lock). The body runs after fork: plain system calls only.
#pragma once

#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace optivane::test {

class ChildProcess {
public:
    explicit ChildProcess(const std::function<char()>& body) {
        int channel[2];
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, channel) != 0) return;
        m_pid = fork();
        if (m_pid == 0) {
            close(channel[0]);
            const char report = body();
            (void)!send(channel[1], &report, 1, MSG_NOSIGNAL);
            (void)!recv(channel[1], &m_report, 1, 0);  // returns once the parent closes its end
            _exit(0);
        }
        close(channel[1]);
        m_channel = channel[0];
        if (m_pid < 0 || recv(m_channel, &m_report, 1, 0) != 1) m_report = 0;
    }
    ~ChildProcess() { Finish(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    char Report() const { return m_report; }  // 0 when the child could not be started
    void Finish() {
        if (m_channel >= 0) close(m_channel);
        if (m_pid > 0) waitpid(m_pid, nullptr, 0);
        m_channel = m_pid = -1;
    }

private:
    pid_t m_pid = -1;
    int m_channel = -1;
    char m_report = 0;
};

}  // namespace optivane::test
