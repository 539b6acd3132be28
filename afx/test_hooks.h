#pragma once

// Hooks for tests that prove clean-up after a failed allocation.

// Makes the n-th following CString allocation fail (1 = the next one) with
// CMemoryException; 0 disarms. Counts allocations on every thread.
void AfxTestFailAllocation(int n) noexcept;

// Allocations still to go before the armed failure; 0 once it has fired or when disarmed.
// A torture loop arms n = 1, 2, ... until a run ends with the countdown still above 0.
int AfxTestAllocationCountdown() noexcept;
