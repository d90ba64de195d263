#include "ListCommand.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iomanip>
#include <nlohmann/json.hpp>

#include "DeviceSearch.h"
#include "ExitStatus.h"
#include "discovery/CameraKindRule.h"
#include "platform/Ipv4Text.h"

namespace optivane::tool {

namespace {

constexpr size_t kColumns = 7;
using Row = std::array<std::string, kColumns>;

template <size_t N>
std::string Field(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

const char* Kind(const CameraDeviceInfo& record) { return CameraKindRule::NameOf(CameraKindRule::Of(record)); }

Row RowOf(const CameraDeviceInfo& record) {
    const std::string size = record.WidthMax == 0 && record.HeightMax == 0
                                 ? "-"
                                 : std::to_string(record.WidthMax) + "x" + std::to_string(record.HeightMax);
    return {Kind(record),           Field(record.DeviceId),     Field(record.ModelName), Field(record.VendorName),
            Field(record.IpAddress), Field(record.SerialNumber), size};
}

}  // namespace

int ListCommand::Run(const ModuleHost& host, const std::string& address, bool json) {
    uint32_t parsed = 0;
    if (!address.empty() && !platform::Ipv4Text::Parse(address.c_str(), &parsed)) {
        m_err << "optivane: '" << address << "' is no IPv4 address (for example 192.168.1.20)\n";
        return ExitUsage;
    }
    DeviceSearch search;
    std::vector<CameraDeviceInfo> records;
    std::string error;
    if (!search.Prepare(host, &error) || !search.Run(address, &records, &error)) {
        m_err << "optivane: " << error << "\n";
        return ExitFailure;
    }
    if (json) {
        WriteJson(records, m_out);
    } else {
        WriteTable(records, m_out);
    }
    return ExitSuccess;
}

void ListCommand::WriteTable(const std::vector<CameraDeviceInfo>& records, std::ostream& out) {
    if (records.empty()) {
        out << "no cameras found\n";
        return;
    }
    std::vector<Row> rows{{"KIND", "ID", "MODEL", "VENDOR", "ADDRESS", "SERIAL", "SIZE"}};
    for (const CameraDeviceInfo& record : records) rows.push_back(RowOf(record));
    std::array<size_t, kColumns> widths{};
    for (const Row& row : rows) {
        for (size_t column = 0; column < kColumns; ++column)
            widths[column] = std::max(widths[column], row[column].size());
    }
    for (const Row& row : rows) {
        for (size_t column = 0; column + 1 < kColumns; ++column)
            out << std::left << std::setw(static_cast<int>(widths[column] + 2)) << row[column];
        out << row[kColumns - 1] << "\n";
    }
}

void ListCommand::WriteJson(const std::vector<CameraDeviceInfo>& records, std::ostream& out) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const CameraDeviceInfo& record : records) {
        list.push_back({{"Kind", Kind(record)},
                        {"DeviceId", Field(record.DeviceId)},
                        {"DeviceUserId", Field(record.DeviceUserId)},
                        {"VendorName", Field(record.VendorName)},
                        {"IpAddress", Field(record.IpAddress)},
                        {"ModelName", Field(record.ModelName)},
                        {"SerialNumber", Field(record.SerialNumber)},
                        {"WidthMax", record.WidthMax},
                        {"HeightMax", record.HeightMax}});
    }
    // Device texts are ASCII; other bytes are replaced, not refused.
    out << list.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << "\n";
}

}  // namespace optivane::tool
