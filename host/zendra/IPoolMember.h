// Internal interface that the pooled objects of this library answer, so that
// a pool can tell its own kind of object from foreign ones and decide when a
// member is idle. Never leaves the library: its identifier is private.
#pragma once

#include <cstdint>

#include "optivane/com.h"

namespace optivane {

inline constexpr IID IID_IPoolMember = {0xB3DFB80A, 0x136F, 0x4A97, {0xA9, 0x7D, 0xB3, 0x2E, 0x99, 0x63, 0xC4, 0x5C}};

struct IPoolMember : IUnknown {
    // Marks the object as a member of a pool; false when it already belongs
    // to one (an object is in at most one pool at a time).
    virtual bool JoinPool() = 0;
    // Ends the membership; the pool calls it before dropping its reference.
    virtual void LeavePool() = 0;
    // The object's reference count (acquire): 1 means only the pool holds it.
    virtual int32_t MemberReferenceCount() const = 0;
    // The object's hold count (acquire).
    virtual uint32_t MemberHoldCount() const = 0;
    // Sets the hold count from 0 to 1 for a new user; false when it was not 0.
    virtual bool ClaimHold() = 0;
};

}  // namespace optivane
