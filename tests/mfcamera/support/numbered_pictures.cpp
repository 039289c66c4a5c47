#include "tests/mfcamera/support/numbered_pictures.h"

namespace pavix::testing {

using tools::ReadResult;
using tools::SampleFormat;
using tools::SampleLayout;

std::uint8_t LumaOf(std::uint64_t number) {
    return static_cast<std::uint8_t>(16 + kLumaStep * (number % kLumaCycle));
}

int CentreLuma(const ReadResult& sample, const SampleLayout& layout) {
    const std::size_t x = static_cast<std::size_t>(layout.width / 2);
    const std::size_t y = static_cast<std::size_t>(layout.height / 2);
    const std::size_t w = static_cast<std::size_t>(layout.width);
    switch (layout.format) {
    case SampleFormat::NV12:
        return sample.bytes.at(y * w + x);
    case SampleFormat::YUY2:
        return sample.bytes.at((y * w + x) * 2);
    default: {
        const int green = sample.bytes.at((y * w + x) * 4 + 1);
        return static_cast<int>(green * 219.0 / 255.0 + 16.5);
    }
    }
}

std::uint64_t NumberOfLuma(int luma, std::uint64_t least) {
    const int step = (luma - 16 + kLumaStep / 2) / kLumaStep;  // nearest
    std::uint64_t number = least - least % kLumaCycle + static_cast<std::uint64_t>(step);
    if (number < least) number += kLumaCycle;
    return number;
}

NumberedPublisher::NumberedPublisher(HdBlockWriter& writer)
    : writer_(writer), thread_([this] { Run(); }) {}

NumberedPublisher::~NumberedPublisher() {
    stop_ = true;
    thread_.join();
}

std::int64_t NumberedPublisher::ArrivalOf(std::uint64_t number) {
    std::lock_guard<std::mutex> lock(mutex_);
    return number >= 1 && number <= arrivals_.size() ? arrivals_[number - 1] : 0;
}

std::uint64_t NumberedPublisher::Published() {
    std::lock_guard<std::mutex> lock(mutex_);
    return arrivals_.size();
}

void NumberedPublisher::Run() {
    for (std::uint64_t number = 1; !stop_; ++number) {
        const std::int64_t arrival = HdBlockWriter::Now();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            arrivals_.push_back(arrival);
        }
        writer_.Publish(1280, 720, LumaOf(number), 128, 128, number, arrival,
                        static_cast<std::int32_t>(number));
        Sleep(33);
    }
}

}  // namespace pavix::testing
