// The Linquet module's exported entry and its class table.
#include "frame/ComponentTable.h"
#include "host/linquet/CNetAdapterList.h"
#include "host/linquet/CTcpConnection.h"

namespace optivane {
namespace {

const ComponentTableRow kLinquetClasses[] = {
    {"TCP Connection", &CLSID_TcpConnection, &CTcpConnection::CreateInstance},
    {"Net Adapter List", &CLSID_NetAdapterList, &CNetAdapterList::CreateInstance},
};

}  // namespace
}  // namespace optivane

OPTIVANE_EXPORT HRESULT DllCreateInstance(const CLSID& classId, const IID& interfaceId, void** object) {
    return optivane::CreateFromTable(optivane::kLinquetClasses, classId, interfaceId, object);
}
