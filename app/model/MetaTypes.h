#pragma once

// Registers every record type that crosses a queued connection. Call once,
// before any window or controller exists.
void registerMetaTypes();
