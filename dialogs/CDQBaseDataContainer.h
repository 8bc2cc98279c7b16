// CDQBaseDataContainer, the root of the dialog value classes, and
// TDebugObject, the empty second base some of them carry.
//
// Every value object records, when it is built, the 16-bit value the host
// keeps for dialog data (kHostValueDialogData), so dialog code can tell which
// state of the host a value was taken under. The value is asked for on every
// construction, copies included; it is never carried over by assignment.
//
// Contracts:
// - One query per object, made by this base whichever constructor of the
//   derived class runs: the value starts at 0 and takes the host's answer
//   when the host gives one.
// - No application interface known (Module().application null), or a host
//   that does not answer: the value stays 0 and nothing else happens.
// - Nothing here throws.
#pragma once

#include <cstdint>

/// An empty class that some value classes carry as a second base, so that
/// debugging builds of dialog code can hook all of them in one place.
class TDebugObject {};

/// The abstract root of the dialog value classes: destroyed through its
/// virtual destructor.
class CDQBaseDataContainer {
public:
    virtual ~CDQBaseDataContainer() = 0;

    /// The host's dialog-data value at this object's construction, 0 when
    /// the host gave none. Public so that a holder that composes other
    /// value objects can carry theirs over on purpose.
    std::int16_t hostValue = 0;

protected:
    /// Asks the host for the value.
    CDQBaseDataContainer() noexcept;
    /// Asks the host anew: a copy records the host's state at its own birth.
    CDQBaseDataContainer(const CDQBaseDataContainer&) noexcept;
    /// Keeps this object's value: assignment copies dialog values, not the
    /// host state they were born under.
    CDQBaseDataContainer& operator=(const CDQBaseDataContainer&) noexcept { return *this; }
};
