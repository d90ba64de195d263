// A forked child that runs a body and then waits to be told to exit, so that
// a test can act while the child holds something (a file lock). The body runs
// right after fork: it must stick to plain system calls.
#pragma once

#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace optivane::test {

class ChildProcess {
public:
    // The body returns the byte reported to the parent (1 for success).
    explicit ChildProcess(const std::function<char()>& body) {
        int channel[2];
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, channel) != 0) return;
        m_pid = fork();
        if (m_pid == 0) {
            close(channel[0]);
            const char report = body();
            (void)!send(channel[1], &report, 1, MSG_NOSIGNAL);
            char ignored;
            (void)!recv(channel[1], &ignored, 1, 0);  // until told, or the parent ends
            _exit(0);
        }
        close(channel[1]);
        m_channel = channel[0];
        if (m_pid > 0 && recv(m_channel, &m_report, 1, 0) != 1) m_report = 0;
    }
    ~ChildProcess() { Finish(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // What the body reported; 0 when the child could not be started.
    char Report() const { return m_report; }

    // Lets the child exit and waits for it.
    void Finish() {
        if (m_channel >= 0) {
            const char go = 1;
            (void)!send(m_channel, &go, 1, MSG_NOSIGNAL);
            close(m_channel);
            m_channel = -1;
        }
        if (m_pid > 0) {
            int status = 0;
            waitpid(m_pid, &status, 0);
            m_pid = -1;
        }
    }

private:
    pid_t m_pid = -1;
    int m_channel = -1;
    char m_report = 0;
};

}  // namespace optivane::test
