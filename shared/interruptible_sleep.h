#pragma once

#include <functional>

namespace pavix {

// How a worker waits: sleeps up to the given milliseconds and returns true to
// go on, or returns false (early) when the worker is being stopped. Called
// with 0 it only asks whether to go on.
using InterruptibleSleep = std::function<bool(unsigned milliseconds)>;

}  // namespace pavix
