#pragma once

// COM references in tests, and the count an object has.

#include "shared/com_ref.h"

namespace pavix::testing {

using pavix::ComRef;

// Adds a reference, then releases it: the count an object had.
inline ULONG RefCount(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

}  // namespace pavix::testing
