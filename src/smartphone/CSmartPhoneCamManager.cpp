#include "smartphone/CSmartPhoneCamManager.h"

#include <memory>

#include "frame/FixedText.h"
#include "platform/Ipv4Text.h"

namespace optivane {

namespace {
constexpr uint16_t kMaxLocalAddresses = 255;
}

CSmartPhoneCamManager::CSmartPhoneCamManager(PhoneCameraFactory factory, LocalAddressSource addresses)
    : m_factory(std::move(factory)), m_addresses(std::move(addresses)), m_linquet(ModuleLoader::ForSibling("Linquet")) {}

CSmartPhoneCamManager::~CSmartPhoneCamManager() = default;

bool CSmartPhoneCamManager::LinquetAddresses(std::vector<std::string>& addresses) {
    if (!m_adapters &&
        FAILED(m_linquet.CreateInstance(CLSID_NetAdapterList, IID_INetAdapterList, m_adapters.ReceiveVoid())))
        return false;
    std::vector<uint32_t> found(kMaxLocalAddresses);
    uint16_t count = 0;
    if (FAILED(m_adapters->GetLocalAddresses(&count, found.data()))) return false;
    for (uint16_t at = 0; at < count && at < kMaxLocalAddresses; ++at)
        addresses.push_back(platform::Ipv4Text::Format(found[at]));
    return true;
}

HRESULT CSmartPhoneCamManager::FindDevices(const char* address, void*, std::vector<CameraDeviceInfo>& list) {
    std::vector<std::string> bases;
    if (address != nullptr && address[0] != '\0') {
        bases.emplace_back(address);
    } else if (!(m_addresses ? m_addresses(bases) : LinquetAddresses(bases))) {
        return S_OK;
    }
    std::vector<std::unique_ptr<CSmartPhoneCamCheckTask>> tasks;
    for (const std::string& base : bases) {
        uint32_t parsed = 0;
        if (!platform::Ipv4Text::Parse(base.c_str(), &parsed)) continue;
        const std::string prefix = base.substr(0, base.rfind('.'));
        for (int host = 2; host <= 254; ++host) {
            const std::string candidate = prefix + "." + std::to_string(host);
            tasks.push_back(std::make_unique<CSmartPhoneCamCheckTask>(m_factory, candidate.c_str(), kPhonePort));
            tasks.back()->Trigger();
        }
    }
    for (const auto& task : tasks) {
        // A task whose worker never started never ran: not found.
        task->WaitDone();
        if (task->HasWorker() && SUCCEEDED(task->Result())) {
            CameraDeviceInfo record = task->Record();
            CopyText(record.IpAddress, task->Host());
            list.push_back(record);
        }
    }
    return S_OK;
}

}  // namespace optivane
