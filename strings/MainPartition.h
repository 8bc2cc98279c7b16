/// @file
/// The module's main partition: the one memory partition every string buffer
/// of the module is drawn from.
///
/// The module entry sets it each time it runs, from
/// Partition::GetPartitionByIdentifier(kMainPartitionIdentifier, true); unit
/// tests set it the same way. Nothing allocates through it before it is set:
/// empty strings allocate nothing, so static TXString objects are safe during
/// static initialisation.
#pragma once

namespace KXMM {
class Partition;
}

/// The name under which the module asks the memory manager for its partition.
inline constexpr const char* kMainPartitionIdentifier = "KXMainPartition";

/// The partition string buffers come from; null until SetMainPartition ran.
/// Safe to call from any thread.
KXMM::Partition* GetMainPartition();

/// Replaces the main partition (null clears it). Buffers already handed out
/// stay valid: string buffers do not depend on the partition's state.
void SetMainPartition(KXMM::Partition* partition);
