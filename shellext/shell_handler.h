// KyvoShlExt, the context-menu handler: takes the selection from the file
// manager, adds the three encryption commands and starts the manager.
#pragma once
#include <windows.h>
#include <objbase.h>

// Creates a handler (aggregated under outer when one is given) and asks it
// for iid. E_OUTOFMEMORY if memory can't be had; the object is destroyed
// again when it doesn't offer iid.
HRESULT createKyvoShlExt(IUnknown* outer, REFIID iid, void** result);
