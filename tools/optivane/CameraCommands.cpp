#include "CameraCommands.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "ExitStatus.h"
#include "HresultText.h"
#include "ParameterTable.h"
#include "frame/ComPtr.h"
#include "optivane/host_framework.h"

namespace optivane::tool {

namespace {

// Picture types the image writer knows by extension.
const char* const kPictureExtensions[] = {".png", ".jpg", ".jpeg", ".jpe", ".bmp", ".dib",
                                          ".tif", ".tiff", ".ppm", ".pnm", ".webp"};

std::string Text(const char* field, size_t size) { return std::string(field, std::find(field, field + size, '\0')); }

template <size_t N>
std::string Text(const char (&field)[N]) {
    return Text(field, N);
}

void Row(std::ostream& out, const std::string& label, const std::string& value) {
    std::string padded = label;
    padded.resize(std::max<size_t>(padded.size() + 1, 18), ' ');
    out << padded << value << "\n";
}

std::string Number(double value, const char* format) {
    char text[64];
    std::snprintf(text, sizeof(text), format, value);
    return text;
}

}  // namespace

bool CameraCommands::CheckSnapshotPath(const std::string& path, std::string* error) {
    const std::filesystem::path file(path);
    std::string extension = file.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const bool known = std::find_if(std::begin(kPictureExtensions), std::end(kPictureExtensions),
                                    [&](const char* known) { return extension == known; }) !=
                       std::end(kPictureExtensions);
    if (!known) {
        *error = "cannot tell the picture type of '" + path +
                 "' from its extension: use .png, .jpg, .bmp, .tiff, .ppm or .webp";
        return false;
    }
    const std::filesystem::path folder = file.parent_path();
    std::error_code failure;
    if (!folder.empty() && !std::filesystem::is_directory(folder, failure)) {
        *error = "the folder '" + folder.string() + "' for the snapshot does not exist";
        return false;
    }
    return true;
}

HRESULT CameraCommands::ReadPixelFormats(std::vector<CameraPixelFormat>* list) {
    // The camera refuses a list too small for all its formats: grow once.
    HRESULT status = E_FAIL;
    for (uint32_t capacity : {64u, 1024u}) {
        list->assign(capacity, CameraPixelFormat{});
        uint32_t count = 0;
        status = m_camera->GetPixelFormats(list->data(), capacity, &count);
        if (SUCCEEDED(status) && count <= capacity) {
            list->resize(count);
            return status;
        }
    }
    list->clear();
    return FAILED(status) ? status : E_FAIL;
}

PixelFormatNames CameraCommands::Formats() {
    std::vector<CameraPixelFormat> list;
    ReadPixelFormats(&list);
    return PixelFormatNames(list);
}

std::string CameraCommands::DescribeSource() {
    using optivane::ComPtr;
    ComPtr<IUnknown> frame;
    const HRESULT grabbed = m_camera->GrabSnapshot(0, frame.Receive());
    ComPtr<IFrameImage> image;
    FrameFormat format{};
    if (FAILED(grabbed) || !frame || FAILED(frame->QueryInterface(IID_IFrameImage, image.ReceiveVoid())) ||
        FAILED(image->GetFormat(&format))) {
        return "none answers: " + HresultText::Describe(FAILED(grabbed) ? grabbed : E_FAIL);
    }
    const std::string rate = format.FrameRateNumerator == 0 || format.FrameRateDenominator == 0
                                 ? "unlimited rate"
                                 : Number(static_cast<double>(format.FrameRateNumerator) / format.FrameRateDenominator,
                                          "%.2f") + " fps";
    return std::to_string(format.Width) + " x " + std::to_string(format.Height) + " BGR, " + rate;
}

int CameraCommands::Info() {
    CameraDeviceInfo device{};
    const HRESULT described = m_camera->GetDeviceInfo(&device);
    if (FAILED(described)) {
        m_err << "optivane: cannot read the device record: " << HresultText::Describe(described) << "\n";
        return ExitFailure;
    }
    Row(m_out, "Device id", Text(device.DeviceId));
    Row(m_out, "User id", Text(device.DeviceUserId));
    Row(m_out, "Vendor", Text(device.VendorName));
    Row(m_out, "Model", Text(device.ModelName));
    Row(m_out, "Serial number", Text(device.SerialNumber));
    Row(m_out, "IP address", Text(device.IpAddress));
    Row(m_out, "Sensor", std::to_string(device.WidthMax) + " x " + std::to_string(device.HeightMax));

    uint32_t x = 0, y = 0, width = 0, height = 0;
    const HRESULT region = m_camera->GetRegion(&x, &y, &width, &height);
    Row(m_out, "Region", SUCCEEDED(region) ? std::to_string(width) + " x " + std::to_string(height) + " at (" +
                                                 std::to_string(x) + ", " + std::to_string(y) + ")"
                                           : "not available: " + HresultText::Describe(region));

    std::vector<CameraPixelFormat> cameraFormats;
    const HRESULT listed = ReadPixelFormats(&cameraFormats);
    const PixelFormatNames formats(cameraFormats);
    uint32_t code = 0;
    const HRESULT format = m_camera->GetParameter(CameraParameterPixelFormat, &code);
    Row(m_out, "Pixel format", SUCCEEDED(format) ? formats.Name(code) : "not available: " + HresultText::Describe(format));
    std::string list;
    for (const CameraPixelFormat& entry : cameraFormats) list += (list.empty() ? "" : ", ") + Text(entry.Name);
    Row(m_out, "Pixel formats", SUCCEEDED(listed) ? list : "not available: " + HresultText::Describe(listed));

    double lower = 0, upper = 0;
    const HRESULT bounds = m_camera->GetExposureTimeRange(&lower, &upper);
    Row(m_out, "Exposure range", SUCCEEDED(bounds) ? Number(lower, "%.0f") + " .. " + Number(upper, "%.0f") + " \xC2\xB5s"
                                                   : "not available: " + HresultText::Describe(bounds));
    uint32_t exposure = 0;
    const HRESULT exposed = m_camera->GetParameter(CameraParameterExposureTime, &exposure);
    Row(m_out, "Exposure", SUCCEEDED(exposed) ? std::to_string(exposure) + " \xC2\xB5s"
                                              : "not available: " + HresultText::Describe(exposed));
    uint32_t rate = 0;
    const HRESULT rated = m_camera->GetParameter(CameraParameterFrameRate, &rate);
    Row(m_out, "Frame rate", SUCCEEDED(rated) ? Number(rate / 100.0, "%.2f") + " fps"
                                              : "not available: " + HresultText::Describe(rated));
    // The virtual camera's settings are fixed: its source tells the real size and rate.
    if (Text(device.ModelName) == "VirtualCamera") Row(m_out, "Frame source", DescribeSource());
    return ExitSuccess;
}

int CameraCommands::Get(const std::string& name) {
    const PixelFormatNames formats = Formats();
    if (!name.empty()) {
        const ParameterInfo* parameter = ParameterTable::Find(name);
        if (parameter == nullptr) {
            m_err << "optivane: unknown parameter '" << name << "'; known parameters: " << ParameterTable::Names()
                  << "\n";
            return ExitUsage;
        }
        if (!parameter->readable) {
            m_err << "optivane: " << parameter->name << " can only be written, not read\n";
            return ExitUsage;
        }
        uint32_t value = 0;
        const HRESULT read = m_camera->GetParameter(parameter->id, &value);
        if (FAILED(read)) {
            m_err << "optivane: cannot read " << parameter->name << ": " << HresultText::Describe(read) << "\n";
            return ExitFailure;
        }
        m_out << parameter->name << " = " << ParameterTable::Format(*parameter, value, formats) << "\n";
        return ExitSuccess;
    }
    // Not every camera has every setting: list what reads, say why the rest
    // does not, and fail only when nothing can be read at all.
    bool anyRead = false;
    for (const ParameterInfo& parameter : ParameterTable::All()) {
        if (!parameter.readable) continue;
        uint32_t value = 0;
        const HRESULT read = m_camera->GetParameter(parameter.id, &value);
        if (SUCCEEDED(read)) {
            anyRead = true;
            m_out << parameter.name << " = " << ParameterTable::Format(parameter, value, formats) << "\n";
        } else {
            m_out << parameter.name << " : not available: " << HresultText::Describe(read) << "\n";
        }
    }
    if (!anyRead) {
        m_err << "optivane: the camera answered no setting\n";
        return ExitFailure;
    }
    return ExitSuccess;
}

int CameraCommands::Set(const std::vector<SettingAssignment>& assignments) {
    const PixelFormatNames formats = Formats();
    std::vector<uint32_t> values;
    for (const SettingAssignment& assignment : assignments) {
        uint32_t value = 0;
        std::string error;
        if (!ParameterTable::Parse(assignment.Parameter(), assignment.ValueText(), formats, &value, &error)) {
            m_err << "optivane: " << error << "\n";
            return ExitUsage;
        }
        values.push_back(value);
    }
    // In the order given, stopping at the first refusal: later settings may
    // depend on earlier ones (a pixel format before a frame rate).
    for (size_t i = 0; i < assignments.size(); ++i) {
        const ParameterInfo& parameter = assignments[i].Parameter();
        const HRESULT written = m_camera->SetParameter(parameter.id, values[i]);
        if (FAILED(written)) {
            m_err << "optivane: cannot set " << parameter.name << " to "
                  << ParameterTable::Format(parameter, values[i], formats) << ": " << HresultText::Describe(written)
                  << "\n";
            return ExitFailure;
        }
        uint32_t readBack = values[i];
        if (parameter.readable && SUCCEEDED(m_camera->GetParameter(parameter.id, &readBack))) {
            m_out << parameter.name << " = " << ParameterTable::Format(parameter, readBack, formats) << "\n";
        } else {
            m_out << parameter.name << " = " << ParameterTable::Format(parameter, values[i], formats) << "\n";
        }
    }
    return ExitSuccess;
}

int CameraCommands::Snapshot(const std::string& path) {
    const HRESULT saved = m_camera->SaveSnapshot(0, path.c_str());
    if (FAILED(saved)) {
        m_err << "optivane: cannot take a snapshot into " << path << ": " << HresultText::Describe(saved) << "\n";
        return ExitFailure;
    }
    std::error_code failure;
    const auto bytes = std::filesystem::file_size(path, failure);
    if (failure) {
        m_err << "optivane: the camera reported a snapshot, but " << path << " cannot be read: " << failure.message()
              << "\n";
        return ExitFailure;
    }
    m_out << "snapshot written to " << path << " (" << bytes << " bytes)\n";
    return ExitSuccess;
}

}  // namespace optivane::tool
