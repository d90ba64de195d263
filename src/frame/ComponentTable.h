// The class factory: a fixed table of classes searched in order, and the
// creation rules shared by every module entry. Each module writes its own
// table beside its DllCreateInstance and hands it over whole.
#pragma once

#include <cstddef>

#include "frame/CUnknown.h"
#include "optivane/com.h"

namespace optivane {

// Builds an object; writes the status only on failure (it is 0 on entry).
// Returns null when nothing was built.
using CreateInstanceFn = CUnknown* (*)(IUnknown* outer, HRESULT* status);

struct ComponentTableRow {
    const char* displayName;  // informational only
    const CLSID* classId;
    CreateInstanceFn createInstance;  // null: the class is not available in this build
};

// The rules of DllCreateInstance over any table: null out-pointer first
// (E_POINTER), unknown class (CLASS_E_CLASSNOTAVAILABLE, out-pointer left as
// it was), creation status, then AddRef, QueryInterface, Release on the new
// object so that a failed query destroys it and a good one hands out exactly
// one reference.
HRESULT CreateFromTable(const ComponentTableRow* rows, size_t rowCount, const CLSID& classId, const IID& interfaceId,
                        void** object);

// The same over a whole table, which then counts its own rows.
template <size_t N>
HRESULT CreateFromTable(const ComponentTableRow (&rows)[N], const CLSID& classId, const IID& interfaceId,
                        void** object) {
    return CreateFromTable(rows, N, classId, interfaceId, object);
}

}  // namespace optivane
