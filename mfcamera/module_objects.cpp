#include "mfcamera/module_objects.h"

#include <windows.h>

namespace pavix {
namespace {

LONG g_objects = 0;

}  // namespace

void ModuleObjectCreated() { InterlockedIncrement(&g_objects); }
void ModuleObjectDestroyed() { InterlockedDecrement(&g_objects); }
long ModuleObjectCount() { return InterlockedCompareExchange(&g_objects, 0, 0); }

}  // namespace pavix
