// The library's exported entry and its class table. Loading the library
// creates nothing; objects exist only once DllCreateInstance is called.
#include "CFrameImage.h"
#include "CRawSample.h"
#include "CSamplePool.h"
#include "CSnapshotFrameImage.h"
#include "frame/ComponentTable.h"

namespace optivane {
namespace {

const ComponentTableRow kZendraClasses[] = {
    {"SamplePool", &CLSID_SamplePool, &CSamplePool::CreateInstance},
    {"FrameImage", &CLSID_FrameImage, &CFrameImage::CreateInstance},
    {"SnapshotFrameImage", &CLSID_SnapshotFrameImage, &CSnapshotFrameImage::CreateInstance},
    {"RawSample", &CLSID_RawSample, &CRawSample::CreateInstance},
};

}  // namespace
}  // namespace optivane

OPTIVANE_EXPORT HRESULT DllCreateInstance(const CLSID& classId, const IID& interfaceId, void** object) {
    return optivane::CreateFromTable(optivane::kZendraClasses, classId, interfaceId, object);
}
