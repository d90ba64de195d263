#include "frame/ComponentTable.h"

namespace optivane {

HRESULT CreateFromTable(const ComponentTableRow* rows, size_t rowCount, const CLSID& classId, const IID& interfaceId,
                        void** object) {
    if (object == nullptr) return E_POINTER;

    const ComponentTableRow* row = nullptr;
    for (size_t i = 0; i < rowCount; ++i) {
        if (*rows[i].classId == classId) {
            row = &rows[i];
            break;
        }
    }
    if (row == nullptr || row->createInstance == nullptr) return CLASS_E_CLASSNOTAVAILABLE;

    HRESULT status = S_OK;
    CUnknown* created = row->createInstance(nullptr, &status);
    if (created == nullptr) return FAILED(status) ? status : E_OUTOFMEMORY;
    if (FAILED(status)) {
        delete static_cast<CBaseObject*>(created);
        return status;
    }

    created->NonDelegatingAddRef();
    const HRESULT result = created->NonDelegatingQueryInterface(interfaceId, object);
    created->NonDelegatingRelease();
    return result;
}

}  // namespace optivane
