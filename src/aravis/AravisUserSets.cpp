#include "aravis/AravisUserSets.h"

#include "aravis/GObjectPtr.h"
#include "optivane/optivane.h"
#include "video/PixelConversion.h"

namespace optivane::aravis {

bool ImplementsLongExposure(ArvCamera* device) {
    GErrorPtr error;
    const int64_t implemented =
        arv_camera_get_integer(device, "UserSetSelector_LongExposure_IsImplemented_ctrl", error.Out());
    return !error && implemented != 0;
}

int64_t ReadUserSet(ArvCamera* device) {
    GErrorPtr error;
    const int64_t userSet = arv_camera_get_integer(device, "UserSetSelector", error.Out());
    return error ? kDefaultUserSet : userSet;
}

HRESULT ReadConvertiblePixelFormat(ArvCamera* device, uint32_t* pixelFormat) {
    if (ImplementsLongExposure(device)) {
        GErrorPtr error;
        const gint64 userSet = arv_camera_get_integer(device, "UserSetSelector", error.Out());
        if (!error && userSet == kLongExposureUserSet) arv_camera_set_pixel_format(device, PixelFormatBayerRG8, error.Out());
    }
    GErrorPtr error;
    const ArvPixelFormat format = arv_camera_get_pixel_format(device, error.Out());
    if (error || !PixelConversion::IsConvertible(format)) return E_FAIL;
    *pixelFormat = format;
    return S_OK;
}

}  // namespace optivane::aravis
