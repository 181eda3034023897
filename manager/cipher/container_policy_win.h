// Which container format new results are written in: the machine's policy.
#pragma once

// Reads HKLM\Software\Kyvomar, value ContainerFormat, from the 64-bit view of
// the registry (the same value for the 32-bit program on 64-bit Windows as
// for the administrators' 64-bit tools; on 32-bit Windows there is one view).
// Returns 2 when it is a REG_DWORD holding 2, else 1: a missing key or value,
// another type or size, or any other number keeps the first format.
// Readers take both formats whatever the policy says.
int readContainerFormatPolicy();
