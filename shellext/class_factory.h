// The class factory of KyvoShlExt.
#pragma once
#include <windows.h>
#include <objbase.h>

// A new factory holding one reference, the object map's, which does not lock
// the module; null if memory can't be had.
IClassFactory* createKyvoClassFactory();
