// Writes chosen stream frames as PNG files into a folder.
//
// The module's delivery thread must not wait on a disk: Offer only copies the
// 24-bit BGR pixels out of the lent frame into a queue and returns; the writer
// thread, which this object owns (started by Start, joined by Finish or the
// destructor), encodes and writes them. When the writer is behind by
// kMaxPending frames, further offers are skipped and counted, so a slow disk
// costs pictures, never frames of the stream.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace optivane::tool {

class FrameSaver {
public:
    static constexpr size_t kMaxPending = 3;

    explicit FrameSaver(std::string folder);
    ~FrameSaver();
    FrameSaver(const FrameSaver&) = delete;
    FrameSaver& operator=(const FrameSaver&) = delete;

    // Creates the folder when missing and starts the writer. False, with the
    // reason in words, when the folder cannot be made or the thread not started.
    bool Start(std::string* error);

    // Delivery thread: queues a copy of one frame (rows top first, width * 3
    // bytes each). False when it was skipped (writer behind, not started or
    // finished, or out of memory).
    bool Offer(uint64_t number, uint32_t width, uint32_t height, const uint8_t* pixels);

    // Writes what is queued, then stops and joins the writer. Idempotent.
    void Finish();

    // After Finish: the files written, offers skipped, writes that failed and
    // the first failure in words.
    const std::vector<std::string>& Written() const { return m_written; }
    uint64_t Skipped() const;
    uint64_t Failed() const { return m_failed; }
    const std::string& FirstFailure() const { return m_firstFailure; }

private:
    struct Picture {
        uint64_t number;
        uint32_t width;
        uint32_t height;
        std::vector<uint8_t> pixels;
    };

    void WriterLoop();
    void Write(const Picture& picture);

    const std::string m_folder;
    std::thread m_writer;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Picture> m_queue;
    bool m_accepting = false;
    bool m_finishing = false;
    uint64_t m_skipped = 0;

    // Writer thread while it runs; read by others only after the join.
    std::vector<std::string> m_written;
    uint64_t m_failed = 0;
    std::string m_firstFailure;
};

}  // namespace optivane::tool
