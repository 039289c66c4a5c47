// live_link_decode_bench.exe: what one phone picture costs pavix.exe's frame
// thread without the link around it, for tests/app/live_link_bench.sh.
//
//   live_link_decode_bench FILE.jpg [SECONDS]
//
// Times, for about SECONDS (default 3) each:
//   decode          the bare decode: CJpegDecoder::Decode of the file to
//                   3-byte pixels at full size
//   publish         the frame thread's path: decode to 4-byte pixels (large
//                   pictures shrunk while decoding), then the engine's
//                   PublishPicture (scaled to 480 x 320, flipped, into the
//                   shared block, the frame word last)
//   preview         publish, then the engine's DrawToPreview (scaled to the
//                   pane's client size and handed over) and the paint the
//                   main thread then does (PaintPanePicture into a shown
//                   window of the pane's size)
//   gdiplus-publish the earlier path, for comparison: the bare decode, then
//                   the picture drawn into the block through GDI+
//                   (DrawToSharedFrame)
//   gdiplus-preview and then stretched into the window through GDI+
// and prints "NAME: X ms per picture (N pictures)", X from the fastest of
// three runs. Runs while no pavix.exe
// uses the prefix: it writes the shared block.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/rovo_engine.h"
#include "frames/jpeg_decoder.h"
#include "ui/preview_pane.h"

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

// The preview pane's size in the main window, and its client area.
constexpr int kPaneWidth = 495;
constexpr int kPaneHeight = 391;
constexpr int kPaneClientWidth = 493;
constexpr int kPaneClientHeight = 389;

// What the earlier DrawToPreview did with a picture, into `window`.
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

// Runs `step` over and over for `seconds`, in three runs; the mean time of
// one step in the fastest run (the machine is shared: the fastest run is
// the one least disturbed), or a negative value when a step failed.
template <typename Step>
double TimePerStep(const char* name, double seconds, Step step) {
    for (int i = 0; i < 5; ++i) {  // warm: buffers grown, code paged in
        if (!step()) return -1;
    }
    double best = 1e9;
    long total = 0;
    for (int run = 0; run < 3; ++run) {
        const double start = NowMs();
        long count = 0;
        double now = start;
        while (now - start < seconds * 1000.0 / 3) {
            if (!step()) return -1;
            ++count;
            now = NowMs();
        }
        total += count;
        const double perStep = (now - start) / static_cast<double>(count);
        if (perStep < best) best = perStep;
    }
    std::printf("%s: %.3f ms per picture (%ld pictures)\n", name, best, total);
    return best;
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

    // The frame thread's decoder, as the engine sets it up.
    CJpegDecoder frameDecoder;
    frameDecoder.SetLayout(CJpegDecoder::Layout::Bgrx);
    frameDecoder.SetLeastSize(kPaneClientWidth, kPaneClientHeight);

    ULONG_PTR gdiplus = 0;
    Gdiplus::GdiplusStartupInput input;
    if (pavix::gdip::GdiplusStartup(&gdiplus, &input, nullptr) != Gdiplus::Ok) return 1;
    int status = 0;
    {
        pavix::CRovoEngine engine(GetModuleHandleW(nullptr));
        if (engine.InitSharedFrameBuffer() != 0 ||
            !engine.InitPreviewPictures(kPaneClientWidth, kPaneClientHeight)) {
            std::fprintf(stderr, "live_link_decode_bench: no shared block or preview pictures\n");
            status = 1;
        } else {
            std::int32_t frameWord = 0;
            HWND pane = nullptr;
            pavix::BgrxPicture picture;
            auto publish = [&]() {
                payload = jpeg;
                if (frameDecoder.Decode(payload.data(), payload.size(), &width, &height) == nullptr) {
                    return false;
                }
                picture = {frameDecoder.Pixels(), width, height,
                           static_cast<std::ptrdiff_t>(width) * pavix::kBgrxBytesPerPixel};
                engine.PublishPicture(picture, ++frameWord);
                return true;
            };
            auto preview = [&]() {
                if (!publish()) return false;
                engine.DrawToPreview(picture);
                // What the pane's WM_PAINT does on the main thread.
                pavix::PanePicture shown;
                if (!engine.AcquirePanePicture(&shown)) return false;
                HDC dc = GetDC(pane);
                RECT area;
                GetClientRect(pane, &area);
                pavix::PaintPanePicture(dc, area.right - area.left, area.bottom - area.top, shown);
                ReleaseDC(pane, dc);
                engine.ReleasePanePicture();
                return true;
            };
            auto gdiplusPublish = [&]() {
                if (!decode()) return false;
                pavix::GpBitmap* bitmap = nullptr;
                if ((width * 3) % 4 != 0 ||
                    pavix::gdip::GdipCreateBitmapFromScan0(
                        width, height, width * 3, PixelFormat24bppRGB,
                        const_cast<BYTE*>(decoder.Pixels()), &bitmap) != Gdiplus::Ok) {
                    return false;
                }
                engine.DrawToSharedFrame(bitmap, ++frameWord);
                const bool drawn = pane == nullptr || DrawStretched(pane, bitmap);
                pavix::gdip::GdipDisposeImage(bitmap);
                return drawn;
            };
            if (TimePerStep("publish", seconds, publish) < 0) status = 1;
            const bool gdiplusTakesIt = (width * 3) % 4 == 0;  // GDI+ refuses other row strides
            if (gdiplusTakesIt && TimePerStep("gdiplus-publish", seconds, gdiplusPublish) < 0) status = 1;
            // A window of the pane's size: its client area is the pane's.
            pane = CreateWindowExW(0, L"Static", L"", WS_POPUP | WS_VISIBLE | WS_BORDER, 0, 0,
                                   kPaneWidth, kPaneHeight, nullptr, nullptr,
                                   GetModuleHandleW(nullptr), nullptr);
            if (pane == nullptr) {
                std::fprintf(stderr, "live_link_decode_bench: no window\n");
                status = 1;
            } else {
                MSG message;
                while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
                if (TimePerStep("preview", seconds, preview) < 0) status = 1;
                if (gdiplusTakesIt && TimePerStep("gdiplus-preview", seconds, gdiplusPublish) < 0) {
                    status = 1;
                }
                DestroyWindow(pane);
            }
            engine.ReleaseSharedFrameBuffer();
        }
    }
    pavix::gdip::GdiplusShutdown(gdiplus);
    return status;
}
