// Which camera class serves a device record: the one rule the manager's
// CreateCamera and the command-line tool both follow. The record's text
// fields are read up to their terminator or their end, whichever comes first.
//
// Virtual: IpAddress "127.0.0.1", whatever else the record says. IDS peak:
// VendorName "IDS PeakCamera". Smartphone: a DeviceId "SMPHCA" plus two
// characters plus a dotted IPv4 address (0 to 255, up to three digits each)
// up to its last ':'. Everything else is an Aravis device id.
#pragma once

#include "optivane/optivane.h"

namespace optivane {

enum class CameraKind { Virtual, IdsPeak, SmartPhone, Aravis };

class CameraKindRule {
public:
    static CameraKind Of(const CameraDeviceInfo& record);
    static const CLSID& ClassOf(CameraKind kind);
    // A short lower-case word for lists and folder names: "virtual", "peak",
    // "phone", "aravis".
    static const char* NameOf(CameraKind kind);
};

}  // namespace optivane
