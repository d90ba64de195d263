// One conversion worker of the deliverer's ring: converts a raw camera frame
// into a 24-bit blue-green-red image, optionally flipped and rotated.
//
// Threads: the deliverer's producer writes the members and triggers; the
// task's own worker runs Run(); the delivery thread then takes the image.
// They work on a task strictly in turn, so nothing inside is locked. With a
// gate, the conversion proper waits for the frame's turn (ConversionGate).
//
// Refused frames: a raw frame shorter than its pixel format needs for the
// image's width and height is not converted (nothing is read from it); the
// image is filled with mid grey, as for a pixel format without conversion,
// so that it never shows an earlier frame, and the conversion returns
// E_INVALIDARG. Errors of the image library become E_FAIL (E_OUTOFMEMORY
// when the work picture cannot be had).
#pragma once

#include <cstdint>

#include <opencv2/core/mat.hpp>

#include "frame/ComPtr.h"
#include "optivane/host_framework.h"
#include "platform/TouchedMemory.h"
#include "runtime/CMultiThread.h"
#include "video/ConversionGate.h"

namespace optivane {

class CVideoConvTask : public CMultiThread {
public:
    CVideoConvTask();
    ~CVideoConvTask() override;

    // Converts the held raw sample into the held image, then hands the raw
    // sample back (Done, Release). The image stays for the delivery thread.
    void Run() override;

    // Conversion straight into the image buffer, without flip or rotation.
    HRESULT Convert();
    // Conversion into the work picture, then flip and rotation; the last step
    // writes into the image, so it is also the one copy.
    HRESULT ConvertTransformed();

    // Makes the work picture of the transformed path for frames of width x
    // height now (touched once), so that the first transformed frame does
    // not pay for it; a larger frame later grows it on that frame. Only while
    // the task is idle. E_OUTOFMEMORY when it cannot be had.
    HRESULT ReserveWorkPicture(uint32_t width, uint32_t height);

    // Set by the producer before Trigger(); each takes over one reference.
    void SetRawSample(IRawSample* sample);
    void SetImage(IFrameImage* image);
    void SetPixelFormat(uint32_t pixelFormat) { m_pixelFormat = pixelFormat; }
    void SetRotation(uint32_t rotation) { m_rotation = rotation; }
    void SetFlip(uint32_t flip) { m_flip = flip; }
    // Takes a ticket of the gate for the next job, which uses it once; a
    // task without a worker takes none, as its job never runs. Without a
    // gate, conversions run whenever triggered. Not owned.
    void SetTurn(ConversionGate* gate);
    // Whether the conversions stay on the worker thread (off OpenCV's pool).
    // Set by the deliverer once per run, while the task is idle.
    void SetOwnThread(bool ownThread) { m_ownThread = ownThread; }
    // Taken by the delivery thread after the job is done; the task's image
    // member becomes empty and the caller owns the reference.
    IFrameImage* TakeImage();

private:
    // The raw sample's valid data and the image's format; the first failing
    // call's status.
    HRESULT ReadFrame(uint8_t** data, uint32_t* size, FrameFormat* format);
    // The work picture of the transformed path as a matrix of rows x cols
    // 8-bit 3-channel pixels. It exists only once a transformed frame came or
    // was reserved for; its memory grows only when a larger frame comes (to
    // exactly that frame, touched when it is made), so steady streaming
    // never allocates.
    HRESULT WorkPicture(int rows, int cols, cv::Mat* picture);
    // Work memory for at least that many pixels; E_OUTOFMEMORY (and none)
    // when it cannot be had.
    HRESULT GrowWorkMemory(uint64_t pixels);
    // Waits for the frame's turn before a colour conversion (on OpenCV's
    // pool or the worker's own thread); EndTurn gives it back, or passes the ticket on when no
    // turn was taken. Both without a gate do nothing; EndTurn is idempotent.
    void TakeTurn();
    void EndTurn();

    ComPtr<IRawSample> m_rawSample;
    uint32_t m_pixelFormat;
    ComPtr<IFrameImage> m_image;
    uint32_t m_rotation = 0;
    uint32_t m_flip = 0;
    platform::TouchedMemory m_workMemory;
    ConversionGate* m_gate = nullptr;
    int64_t m_ticket = 0;
    bool m_turnTaken = false;
    bool m_ownThread = false;
};

}  // namespace optivane
