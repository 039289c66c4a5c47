// live_link_decode_bench.exe: what one phone picture costs pavix.exe's frame
// thread without the link around it, for tests/app/live_link_bench.sh.
//
//   live_link_decode_bench FILE.jpg [SECONDS]
//
// Times, for about SECONDS (default 3) each:
//   decode    CJpegDecoder::Decode of the file, as the frame thread does it
//   publish   decode, then the engine's DrawToSharedFrame of the picture
//             (scaled to 480 x 320, flipped, into the shared block)
//   preview   publish, then the picture stretched into a shown window of
//             the preview pane's size, drawn as the engine's DrawToPreview
//             draws it
// and prints "NAME: X ms per picture (N pictures)". Runs while no pavix.exe
// uses the prefix: it writes the shared block.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/rovo_engine.h"
#include "frames/jpeg_decoder.h"

namespace {

using pavix::CJpegDecoder;

bool ReadWholeFile(const char* path, std::vector<std::uint8_t>* bytes) {
    std::FILE* in = std::fopen(path, "rb");
    if (in == nullptr) return false;
    std::uint8_t chunk[65536];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, in)) > 0) bytes->insert(bytes->end(), chunk, chunk + n);
    std::fclose(in);
    return !bytes->empty();
}

// The preview pane's size in the main window.
constexpr int kPaneWidth = 495;
constexpr int kPaneHeight = 391;

// What DrawToPreview does with a picture, into `window`.
bool DrawStretched(HWND window, pavix::GpImage* picture) {
    HDC dc = GetDC(window);
    if (dc == nullptr) return false;
    pavix::GpGraphics* graphics = nullptr;
    bool drawn = false;
    if (pavix::gdip::GdipCreateFromHDC(dc, &graphics) == Gdiplus::Ok) {
        RECT area;
        GetClientRect(window, &area);
        drawn = pavix::gdip::GdipDrawImageRectI(graphics, picture, area.left, area.top,
                                                area.right - area.left,
                                                area.bottom - area.top) == Gdiplus::Ok;
        pavix::gdip::GdipDeleteGraphics(graphics);
    }
    ReleaseDC(window, dc);
    return drawn;
}

double NowMs() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// Runs `step` over and over for `seconds`; the mean time of one step, or a
// negative value when a step failed.
template <typename Step>
double TimePerStep(const char* name, double seconds, Step step) {
    for (int i = 0; i < 5; ++i) {  // warm: buffers grown, code paged in
        if (!step()) return -1;
    }
    const double start = NowMs();
    long count = 0;
    double now = start;
    while (now - start < seconds * 1000.0) {
        if (!step()) return -1;
        ++count;
        now = NowMs();
    }
    const double perStep = (now - start) / static_cast<double>(count);
    std::printf("%s: %.3f ms per picture (%ld pictures)\n", name, perStep, count);
    return perStep;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: live_link_decode_bench FILE.jpg [SECONDS]\n");
        return 2;
    }
    const double seconds = argc == 3 ? std::atof(argv[2]) : 3.0;
    std::vector<std::uint8_t> jpeg;
    if (!ReadWholeFile(argv[1], &jpeg)) {
        std::fprintf(stderr, "live_link_decode_bench: cannot read %s\n", argv[1]);
        return 1;
    }

    CJpegDecoder decoder;
    int width = 0;
    int height = 0;
    // The decoder works in place on the payload, as on the receive ring.
    std::vector<std::uint8_t> payload;
    auto decode = [&]() {
        payload = jpeg;
        return decoder.Decode(payload.data(), payload.size(), &width, &height) != nullptr;
    };
    if (!decode()) {
        std::fprintf(stderr, "live_link_decode_bench: %s does not decode: %s\n", argv[1],
                     decoder.LastError());
        return 1;
    }
    std::printf("picture %dx%d, %zu bytes\n", width, height, jpeg.size());
    if (TimePerStep("decode", seconds, decode) < 0) return 1;

    ULONG_PTR gdiplus = 0;
    Gdiplus::GdiplusStartupInput input;
    if (Gdiplus::GdiplusStartup(&gdiplus, &input, nullptr) != Gdiplus::Ok) return 1;
    int status = 0;
    {
        pavix::CRovoEngine engine(GetModuleHandleW(nullptr));
        if (engine.InitSharedFrameBuffer() != 0) {
            std::fprintf(stderr, "live_link_decode_bench: no shared block\n");
            status = 1;
        } else {
            std::int32_t frameWord = 0;
            HWND pane = nullptr;
            auto publish = [&]() {
                if (!decode()) return false;
                pavix::GpBitmap* picture = nullptr;
                if (pavix::gdip::GdipCreateBitmapFromScan0(
                        width, height, width * 3, PixelFormat24bppRGB,
                        const_cast<BYTE*>(decoder.Pixels()), &picture) != Gdiplus::Ok) {
                    return false;
                }
                engine.DrawToSharedFrame(picture, ++frameWord);
                const bool drawn = pane == nullptr || DrawStretched(pane, picture);
                pavix::gdip::GdipDisposeImage(picture);
                return drawn;
            };
            if (TimePerStep("publish", seconds, publish) < 0) status = 1;
            pane = CreateWindowExW(0, L"Static", L"", WS_POPUP | WS_VISIBLE, 0, 0, kPaneWidth,
                                   kPaneHeight, nullptr, nullptr, GetModuleHandleW(nullptr),
                                   nullptr);
            if (pane == nullptr) {
                std::fprintf(stderr, "live_link_decode_bench: no window\n");
                status = 1;
            } else {
                MSG message;
                while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
                if (TimePerStep("preview", seconds, publish) < 0) status = 1;
                DestroyWindow(pane);
            }
            engine.ReleaseSharedFrameBuffer();
        }
    }
    Gdiplus::GdiplusShutdown(gdiplus);
    return status;
}
