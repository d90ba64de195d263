#include "CSamplePool.h"

#include <exception>
#include <new>
#include <utility>

#include "frame/ComPtr.h"

namespace optivane {

CSamplePool::CSamplePool() : CUnknown(nullptr) {}

CSamplePool::~CSamplePool() { Clear(); }

CUnknown* CSamplePool::CreateInstance(IUnknown* /*outer*/, HRESULT* status) {
    CSamplePool* pool = new (std::nothrow) CSamplePool();
    if (pool == nullptr) *status = E_OUTOFMEMORY;
    return pool;
}

HRESULT CSamplePool::NonDelegatingQueryInterface(const IID& iid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_ISamplePool) return GetInterface(static_cast<ISamplePool*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(iid, object);
}

bool CSamplePool::IsIdle(const IPoolMember& member) {
    // Reference count 1 means only the pool can reach the object, so nothing
    // can change either count until the pool hands it out again.
    return member.MemberReferenceCount() == 1 && member.MemberHoldCount() == 0;
}

HRESULT CSamplePool::Add(IUnknown* object) {
    if (object == nullptr) return E_POINTER;
    ComPtr<IPoolMember> member;
    if (FAILED(object->QueryInterface(IID_IPoolMember, member.ReceiveVoid())) || !member) return E_INVALIDARG;
    if (!member->JoinPool()) return E_INVALIDARG;

    std::lock_guard<std::mutex> lock(m_mutex);
    try {
        m_members.push_back(Member{object, member.Get()});
    } catch (const std::exception&) {
        member->LeavePool();
        return E_OUTOFMEMORY;
    }
    member.Detach();
    return S_OK;
}

HRESULT CSamplePool::Take(IUnknown** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const Member& entry : m_members) {
        if (entry.member->MemberReferenceCount() != 1 || !entry.member->ClaimHold()) continue;
        entry.given->AddRef();
        *object = entry.given;
        return S_OK;
    }
    return E_FAIL;
}

HRESULT CSamplePool::GetCounts(uint32_t* total, uint32_t* idle) {
    if (total == nullptr || idle == nullptr) return E_POINTER;
    std::lock_guard<std::mutex> lock(m_mutex);
    uint32_t idleCount = 0;
    for (const Member& entry : m_members) {
        if (IsIdle(*entry.member)) ++idleCount;
    }
    *total = static_cast<uint32_t>(m_members.size());
    *idle = idleCount;
    return S_OK;
}

HRESULT CSamplePool::Clear() {
    std::vector<Member> dropped;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        dropped.swap(m_members);
    }
    // Released outside the lock: an idle member is destroyed here.
    for (const Member& entry : dropped) {
        entry.member->LeavePool();
        entry.member->Release();
    }
    return S_OK;
}

}  // namespace optivane
