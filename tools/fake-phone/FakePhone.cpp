#include "FakePhone.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "platform/Ipv4Text.h"
#include "platform/TcpListener.h"
#include "smartphone/PhoneCapabilities.h"
#include "smartphone/PhoneCommands.h"
#include "smartphone/ReplyHeader.h"

namespace optivane::tool {

namespace {

constexpr int64_t kPollUs = 100000;
constexpr int64_t kSendUs = 10000000;

std::string Escaped(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '\\') out += "\\\\";
        else if (c < 0x20 || c >= 0x7F) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// The exchange counter of the connection this thread serves, while its
// exchange lasts. An exchange ends just before its reply's last bytes go:
// the client may start the next one as soon as they arrive.
thread_local std::atomic<int>* t_activeExchange = nullptr;

void EndExchange() {
    if (t_activeExchange != nullptr) t_activeExchange->fetch_sub(1);
    t_activeExchange = nullptr;
}

bool SendBytes(platform::TcpSocket& connection, const void* data, size_t size, bool last = false) {
    if (last) EndExchange();
    size_t sent = 0;
    return connection.SendAll(data, size, &sent, kSendUs) == platform::TcpSocket::Result::Ok;
}

bool Sleep(uint32_t ms, const std::atomic<int>& stop) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
        if (stop != 0) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min<uint32_t>(ms, 10)));
    }
    return stop == 0;
}

// Whether a setup command carries a decimal in its place and the fixed tail.
bool IsSetup(const std::string& command, const std::string& word) {
    const std::string head = std::string(phone::kCommandPrefix) + "setup " + word + " ";
    const std::string tail = " dur 166666666 zoom 1.0 lens wide\r";
    if (command.compare(0, head.size(), head) != 0 || command.size() <= head.size() + tail.size()) return false;
    if (command.compare(command.size() - tail.size(), tail.size(), tail) != 0) return false;
    const std::string value = command.substr(head.size(), command.size() - head.size() - tail.size());
    size_t at = value[0] == '-' ? 1 : 0;
    return at < value.size() && value.find_first_not_of("0123456789", at) == std::string::npos;
}

}  // namespace

void FakePhone::Log(const std::string& line) {
    std::lock_guard<std::mutex> guard(m_logLock);
    std::cout << line << std::endl;
}

bool FakePhone::Run(uint32_t address, uint16_t port, const std::atomic<int>& stop) {
    platform::TcpListener listener;
    if (!listener.Listen(address, port, 64)) return false;
    // The first encoding sets up the image codecs, which takes long (more so
    // in a sanitizer build): done before the phone says it is ready, so that
    // no client's first capture pays for it.
    Photograph(0);
    Log("listening on " + platform::Ipv4Text::Format(address) + ":" + std::to_string(listener.Port()));
    std::vector<std::thread> connections;
    while (stop == 0) {
        if (m_faults.noAccept) {
            Sleep(100, stop);
            continue;
        }
        platform::TcpSocket connection;
        if (listener.Accept(&connection, kPollUs) != platform::TcpSocket::Result::Ok) continue;
        connections.emplace_back([this, &stop, c = std::move(connection)]() mutable { Serve(std::move(c), stop); });
    }
    for (std::thread& thread : connections) thread.join();
    return true;
}

void FakePhone::Serve(platform::TcpSocket connection, const std::atomic<int>& stop) {
    std::string pending;
    char buffer[1024];
    while (stop == 0) {
        size_t received = 0;
        const auto result = connection.Receive(buffer, sizeof buffer, &received, kPollUs);
        if (result == platform::TcpSocket::Result::TimedOut) continue;
        if (result != platform::TcpSocket::Result::Ok) return;
        pending.append(buffer, received);
        size_t end;
        while ((end = pending.find('\r')) != std::string::npos) {
            const std::string command = pending.substr(0, end + 1);
            pending.erase(0, end + 1);
            if (m_active.fetch_add(1) > 0) Log("overlap");
            t_activeExchange = &m_active;
            Log("received \"" + Escaped(command) + "\"");
            const bool keep = Answer(connection, command, stop);
            EndExchange();
            if (!keep) return;
        }
    }
}

bool FakePhone::Answer(platform::TcpSocket& connection, const std::string& command,
                       const std::atomic<int>& stop) {
    if (command == phone::SearchCommand()) {
        bool faulty;
        {
            std::lock_guard<std::mutex> guard(m_logLock);
            faulty = ++m_searches % m_faults.every == 0;
        }
        return SendCapabilities(connection, faulty);
    }
    if (command == phone::CaptureCommand()) {
        bool faulty;
        {
            std::lock_guard<std::mutex> guard(m_logLock);
            faulty = ++m_captures % m_faults.every == 0;
        }
        if (faulty && m_faults.noCapture) return true;
        return SendImage(connection, faulty, stop);
    }
    if (IsSetup(command, "exp") || IsSetup(command, "iso")) {
        const std::string status = m_faults.status.empty() ? "OK" : m_faults.status;
        return SendBytes(connection, status.data(), status.size(), true);
    }
    Log("bad command \"" + Escaped(command) + "\"");
    return true;
}

std::string FakePhone::CapabilityDocument(bool faulty) const {
    if (faulty && !m_faults.xmlFile.empty()) {
        std::ifstream file(m_faults.xmlFile, std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }
    std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<PhoneCapabilities>";
    for (int field = 0; field < phone::PhoneCapabilities::kFieldCount; ++field) {
        const std::string name = phone::PhoneCapabilities::kNames[field];
        std::string value = "1";
        if (field == phone::PhoneCapabilities::Model) value = m_identity.model;
        if (field == phone::PhoneCapabilities::Manufacture) value = m_identity.manufacture;
        if (field == phone::PhoneCapabilities::Serial) value = m_identity.serial;
        if (field == phone::PhoneCapabilities::ExposureTimeRange) value = m_identity.exposureRange;
        if (field == phone::PhoneCapabilities::SensitivityRange) value = m_identity.isoRange;
        if (faulty && std::find(m_faults.missing.begin(), m_faults.missing.end(), name) != m_faults.missing.end())
            continue;
        if (faulty && std::find(m_faults.empty.begin(), m_faults.empty.end(), name) != m_faults.empty.end()) value = "";
        xml += "<" + name + ">" + value + "</" + name + ">";
    }
    xml += faulty && m_faults.badXml ? "</Broken>" : "</PhoneCapabilities>";
    return xml;
}

bool FakePhone::SendCapabilities(platform::TcpSocket& connection, bool faulty) {
    const std::string document = CapabilityDocument(faulty);
    std::string reply(7, '\0');
    const uint32_t length = faulty && m_faults.xmlLength >= 0 ? static_cast<uint32_t>(m_faults.xmlLength)
                                                              : static_cast<uint32_t>(document.size());
    phone::WriteReplyHeader(&reply[0], "xml", length);
    reply += document;
    if (faulty && m_faults.splitXml) {
        const size_t half = reply.size() / 2;
        if (!SendBytes(connection, reply.data(), half)) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return SendBytes(connection, reply.data() + half, reply.size() - half, true);
    }
    return SendBytes(connection, reply.data(), reply.size(), true);
}

// The capture number as a row of 32 black or white 16 x 16 blocks (most
// significant bit first) on a mid-grey picture: JPEG keeps blocks that
// large and that far apart intact.
std::vector<unsigned char> FakePhone::Photograph(uint32_t number) const {
    cv::Mat picture(static_cast<int>(m_identity.height), static_cast<int>(m_identity.width), CV_8UC3,
                    cv::Scalar(128, 128, 128));
    for (int bit = 0; bit < 32; ++bit) {
        const bool set = (number >> (31 - bit)) & 1u;
        const cv::Rect block(bit * 16, 0, 16, 16);
        if ((block & cv::Rect(0, 0, picture.cols, picture.rows)) == block)
            picture(block).setTo(set ? cv::Scalar(255, 255, 255) : cv::Scalar(0, 0, 0));
    }
    std::vector<unsigned char> jpeg;
    cv::imencode(".jpg", picture, jpeg, {cv::IMWRITE_JPEG_QUALITY, 90});
    return jpeg;
}

bool FakePhone::SendImage(platform::TcpSocket& connection, bool faulty, const std::atomic<int>& stop) {
    uint32_t number;
    {
        std::lock_guard<std::mutex> guard(m_logLock);
        number = m_captures;
    }
    if (!Sleep(m_identity.captureDelayMs, stop)) return false;
    std::vector<unsigned char> image = Photograph(number);
    if (faulty && m_faults.notJpeg) image.assign(image.size(), 'N');
    if (faulty && m_faults.shortJpg >= 0 && static_cast<size_t>(m_faults.shortJpg) < image.size())
        image.resize(static_cast<size_t>(m_faults.shortJpg));
    uint32_t length = static_cast<uint32_t>(image.size());
    if (faulty && m_faults.length >= 0) length = static_cast<uint32_t>(m_faults.length);
    if (faulty && m_faults.extra >= 0) image.insert(image.end(), static_cast<size_t>(m_faults.extra), 'E');
    std::string reply(7, '\0');
    phone::WriteReplyHeader(&reply[0], faulty && !m_faults.tag.empty() ? m_faults.tag.c_str() : "jpg", length);
    reply.append(image.begin(), image.end());
    if (faulty && (m_faults.truncate >= 0 || m_faults.drop >= 0)) {
        const size_t keep = 7 + static_cast<size_t>(m_faults.truncate >= 0 ? m_faults.truncate : m_faults.drop);
        if (!SendBytes(connection, reply.data(), std::min(keep, reply.size()))) return false;
        if (m_faults.drop >= 0) return false;
        while (Sleep(100, stop)) {
        }
        return false;
    }
    if (faulty && m_faults.splitHeader) {
        if (!SendBytes(connection, reply.data(), 3)) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return SendBytes(connection, reply.data() + 3, reply.size() - 3, true);
    }
    if (faulty && m_faults.trickleMs >= 0) {
        // The header whole, as the first read must bring it; then the picture.
        if (!SendBytes(connection, reply.data(), 7)) return false;
        for (size_t at = 7; at < reply.size(); ++at) {
            if (!SendBytes(connection, &reply[at], 1, at + 1 == reply.size())) return false;
            if (!Sleep(static_cast<uint32_t>(m_faults.trickleMs), stop)) return false;
        }
        return true;
    }
    if (faulty && m_faults.chunkedJpg) {
        for (size_t at = 0; at < reply.size(); at += 997) {
            if (!SendBytes(connection, reply.data() + at, std::min<size_t>(997, reply.size() - at), at + 997 >= reply.size()))
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }
    return SendBytes(connection, reply.data(), reply.size(), true);
}

}  // namespace optivane::tool
