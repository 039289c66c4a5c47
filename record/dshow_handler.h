#pragma once

#include <windows.h>
#include <objidl.h>
#include <strmif.h>
#include <control.h>

#include <cstdint>

#include "shared/com_ref.h"

namespace pavix {

// Display names of the video compressors a recording can go through.
inline constexpr wchar_t kCinepakCompressor[] =
    L"@device:cm:{33D9A760-90C8-11D0-BD43-00A0C911CE86}\\cvid";
inline constexpr wchar_t kDivxCompressor[] =
    L"@device:cm:{33D9A760-90C8-11D0-BD43-00A0C911CE86}\\divx";

// The frame duration a recording names for the camera's pictures where the
// camera announces none (an AVI file needs one): the camera stamps its
// samples 1/30 s apart.
inline constexpr REFERENCE_TIME kRecordedFrameDuration = 333333;

// Which file-writing end a recording went through.
enum class RecordingWriter {
    None,
    System,  // the capture graph builder's, or the AVI multiplexer with the system's File writer
    Own,     // the AVI multiplexer writing through our file writer (record_file_writer.h)
};

// Why the graph's events ended a recording: `cause` is the failure a filter
// reported (STG_E_MEDIUMFULL when the volume is full), or S_FALSE when the
// stream simply ended.
struct RecordingFault {
    bool ended = false;
    HRESULT cause = S_OK;
};

// Whether `cause` means the volume (or the file system's file size) is full.
bool IsMediumFull(HRESULT cause);

// The recording graph. It is built once at start-up with the program's own
// camera filter (loaded in-process like any capture device, so a recording
// holds exactly what every other capture application sees) and lives until
// the program ends. A recording adds a compressor (when one is chosen and
// can take the camera's pictures), the AVI multiplexer and a file writer
// downstream of the camera, runs the graph, and on stop removes them again.
// Main thread, inside the COM apartment the user interface opened.
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

    // The graph's events are announced to `window` with `message` (posted
    // while events wait); TakeEvents reads them. Set once the window exists.
    void SetEventWindow(HWND window, UINT message);
    // Reads every waiting graph event. `ended` when one of them means the
    // recording cannot go on (a filter aborted, a write failed, the stream
    // ended); the caller then stops the recording.
    RecordingFault TakeEvents();

    // 1 when a video compressor with exactly this display name is installed,
    // else 0. Uses no graph.
    static int HasCompressor(const wchar_t* displayName);

    // Records the camera into the AVI file at `path` through the compressor
    // of `codec` (0 none, 1 cvid, 2 divx). The system's file writer is tried
    // first; when that graph cannot run, once more with our own. 0 when the
    // graph runs; -1 otherwise, with everything but the camera removed from
    // the graph again. Refused (-1) while a recording runs.
    int StartRecording(const wchar_t* path, std::int32_t codec);
    // Stops the graph, which lets the multiplexer finish the file, and
    // removes everything downstream of the camera. Harmless without a
    // recording.
    void StopRecording();
    bool IsRecording() const { return recording_; }
    // The file-writing end of the running or last recording.
    RecordingWriter LastWriter() const { return lastWriter_; }
    // Whether the running or last recording went through a compressor.
    bool LastUsedCompressor() const { return lastUsedCompressor_; }

    // Disconnects and removes from the graph every filter downstream of
    // `filter`, depth first.
    void RemoveDownstream(IBaseFilter* filter);

    // Stops a running recording (so that its file is finished), then
    // releases every interface held.
    void Cleanup();

private:
    enum class Step { Build, Run };
    struct Attempt {
        HRESULT result;
        Step failedAt;
    };

    Attempt BuildAndRun(const wchar_t* path, std::int32_t codec, RecordingWriter writer);
    HRESULT BuildFileEnd(const wchar_t* path, RecordingWriter writer, ComRef<IBaseFilter>* mux);
    HRESULT PauseFileEnd(IBaseFilter* mux);
    HRESULT ConnectCamera(IBaseFilter* target);
    HRESULT ConnectStream(IBaseFilter* mux);
    void CreateCompressor(std::int32_t codec);
    void StopGraph();
    void RemoveAllButCamera();
    void DropEvents();

    ComRef<IBaseFilter> cameraFilter_;
    ComRef<IGraphBuilder> graph_;
    ComRef<ICaptureGraphBuilder2> captureBuilder_;
    ComRef<IBaseFilter> compressor_;
    bool recording_ = false;
    DWORD recordingStartTick_ = 0;
    RecordingWriter lastWriter_ = RecordingWriter::None;
    bool lastUsedCompressor_ = false;
};

}  // namespace pavix
