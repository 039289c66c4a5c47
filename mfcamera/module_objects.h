#pragma once

// How many of the module's objects (sources, streams, activation objects,
// class factories) and server locks are alive: the module may unload only
// at none.

namespace pavix {

void ModuleObjectCreated();
void ModuleObjectDestroyed();
long ModuleObjectCount();

}  // namespace pavix
