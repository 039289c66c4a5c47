#pragma once

namespace pavix {

// When to give up on a JPEG decoder. The frame thread reports every decode
// to it; a decoder that fails four times in a row is replaced by a fresh one
// (and the frames buffered behind it are dropped). A successful decode
// forgives the failures before it. The count outlives link losses.
class CJpegFailureRule {
public:
    static constexpr int kFailuresBeforeReplacement = 4;

    virtual ~CJpegFailureRule() = default;

    void OnDecoded() { jpegErrorCount_ = 0; }

    // True when this failure is the fourth in a row: replace the decoder.
    // The count then starts afresh.
    bool OnFailed() {
        if (++jpegErrorCount_ < kFailuresBeforeReplacement) return false;
        jpegErrorCount_ = 0;
        return true;
    }

    int ConsecutiveFailures() const { return jpegErrorCount_; }

private:
    int jpegErrorCount_ = 0;
};

}  // namespace pavix
