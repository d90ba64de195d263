#include "FrameSaver.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <new>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <system_error>
#include <utility>

namespace optivane::tool {

FrameSaver::FrameSaver(std::string folder) : m_folder(std::move(folder)) {}

FrameSaver::~FrameSaver() { Finish(); }

bool FrameSaver::Start(std::string* error) {
    std::error_code failure;
    std::filesystem::create_directories(m_folder, failure);
    if (failure || !std::filesystem::is_directory(m_folder, failure)) {
        *error = "cannot make the folder '" + m_folder + "' for frames" + (failure ? ": " + failure.message() : "");
        return false;
    }
    if (m_writer.joinable()) return true;
    try {
        m_writer = std::thread(&FrameSaver::WriterLoop, this);
    } catch (const std::system_error& thrown) {
        *error = std::string("cannot start the thread that writes frames: ") + thrown.what();
        return false;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_accepting = true;
    return true;
}

bool FrameSaver::Offer(uint64_t number, uint32_t width, uint32_t height, const uint8_t* pixels) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_accepting || m_queue.size() >= kMaxPending) {
            ++m_skipped;
            return false;
        }
    }
    // The copy happens outside the lock so that the writer is never held up.
    Picture picture{number, width, height, {}};
    try {
        picture.pixels.assign(pixels, pixels + static_cast<size_t>(width) * height * 3);
    } catch (const std::bad_alloc&) {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_skipped;
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_accepting) {
            ++m_skipped;
            return false;
        }
        m_queue.push_back(std::move(picture));
    }
    m_wake.notify_one();
    return true;
}

void FrameSaver::Finish() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_accepting = false;
        m_finishing = true;
    }
    m_wake.notify_one();
    if (m_writer.joinable()) m_writer.join();
}

uint64_t FrameSaver::Skipped() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_skipped;
}

void FrameSaver::WriterLoop() {
    for (;;) {
        Picture picture;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [this] { return m_finishing || !m_queue.empty(); });
            if (m_queue.empty()) return;
            picture = std::move(m_queue.front());
            m_queue.pop_front();
        }
        Write(picture);
    }
}

void FrameSaver::Write(const Picture& picture) {
    char name[48];
    std::snprintf(name, sizeof(name), "frame-%06llu.png", static_cast<unsigned long long>(picture.number));
    const std::string path = (std::filesystem::path(m_folder) / name).string();
    std::string failure;
    try {
        // The matrix borrows the copied pixels; imwrite does not change them.
        const cv::Mat image(static_cast<int>(picture.height), static_cast<int>(picture.width), CV_8UC3,
                            const_cast<uint8_t*>(picture.pixels.data()));
        if (!cv::imwrite(path, image)) failure = "cannot write " + path;
    } catch (const std::exception& thrown) {
        failure = "cannot write " + path + ": " + thrown.what();
    }
    if (failure.empty()) {
        m_written.push_back(path);
        return;
    }
    if (m_failed++ == 0) m_firstFailure = failure;
}

}  // namespace optivane::tool
