// The process's peak resident memory so far, as the kernel counts it (VmHWM).
#pragma once

// Kilobytes, or -1 when /proc/self/status cannot be read.
long peakMemoryKilobytes();
