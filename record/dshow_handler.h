#pragma once

#include <windows.h>
#include <objidl.h>
#include <strmif.h>
#include <control.h>

namespace pavix {

// Display names of the video compressors a recording can go through.
inline constexpr wchar_t kCinepakCompressor[] =
    L"@device:cm:{33D9A760-90C8-11D0-BD43-00A0C911CE86}\\cvid";
inline constexpr wchar_t kDivxCompressor[] =
    L"@device:cm:{33D9A760-90C8-11D0-BD43-00A0C911CE86}\\divx";

// The recording graph. It is built once at start-up with the program's own
// camera filter (loaded in-process like any capture device, so a recording
// holds exactly what every other capture application sees) and lives until
// the program ends. Main thread, inside the COM apartment the user
// interface opened.
class CDShowHandler {
public:
    CDShowHandler();
    virtual ~CDShowHandler();
    CDShowHandler(const CDShowHandler&) = delete;
    CDShowHandler& operator=(const CDShowHandler&) = delete;

    // The graph, the capture graph builder and the camera filter in the
    // graph. -1 on failure; a camera filter that is not registered is told
    // to the user first.
    int Init();

    // 1 when a video compressor with exactly this display name is installed,
    // else 0. Uses no graph.
    static int HasCompressor(const wchar_t* displayName);

    // Releases every interface held; a running graph is not stopped first.
    void Cleanup();

private:
    IBaseFilter* cameraFilter_ = nullptr;
    IMediaControl* mediaControl_ = nullptr;
    IMediaEvent* mediaEvent_ = nullptr;
    IGraphBuilder* graph_ = nullptr;
    ICaptureGraphBuilder2* captureBuilder_ = nullptr;
    IBaseFilter* compressor_ = nullptr;
};

}  // namespace pavix
