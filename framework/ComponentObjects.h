/// @file
/// Reference counting for the objects a plug-in hands the host.
///
/// `KCOMImpl<I>` and `KCOMImmediateImpl<I>` implement IKXUnknown's counting for an
/// interface I. The count starts at 0 and is changed only by atomic
/// read-modify-write operations with full ordering; everything else of the
/// object is plain and used from the host's thread. A Release that finds no
/// reference to give back resets the count to 0 and does nothing else.
///
/// On the step to 0 the object's OnLastRelease runs; the default gives back
/// the reference the object holds to its parent. Release never deletes the
/// object: its owner does (the module destroys its extension, the extension
/// its event sink). Release touches nothing of the object after
/// OnLastRelease, because OnLastRelease may end with the object's own
/// destruction: an event sink's last release ends its extension's count, and
/// the extension then destroys the sink while the sink's Release is still
/// on the stack.
#pragma once

#include "framework/KXUnknown.h"
#include "framework/ModuleState.h"

#include <atomic>
#include <cstdint>

namespace ZEDA::PluginSupport {

/// Counting with an optional parent, which the object holds one reference to
/// from construction until its count first falls to 0.
template <typename I>
class KCOMImpl : public I {
public:
    /// Count 0; takes one reference to `parent` unless it is null. The
    /// parent must outlive that reference.
    explicit KCOMImpl(IKXUnknown* parent = nullptr) : parent(parent)
    {
        if (parent != nullptr)
            parent->AddRef();
    }

    /// Adds a reference; returns the count after the change.
    std::uint32_t AddRef() override
    {
        return static_cast<std::uint32_t>(count.fetch_add(1, std::memory_order_seq_cst) + 1);
    }

    /// Gives a reference back and returns the count after the change. On the
    /// step to 0 runs OnLastRelease and returns 0; without a reference to give
    /// back, returns 0 and does nothing else. Never deletes the object.
    std::uint32_t Release() override
    {
        const std::int32_t now = Decrement();
        if (now != 0)
            return now < 0 ? 0 : static_cast<std::uint32_t>(now);
        this->OnLastRelease();
        return 0;
    }

    /// The count's current value (for hosts and tests that check balance).
    std::int32_t ReferenceCount() const { return count.load(std::memory_order_seq_cst); }

protected:
    /// The count after giving back one reference; -1, with the count put
    /// back to 0, when there was none to give back.
    std::int32_t Decrement()
    {
        const std::int32_t now = count.fetch_sub(1, std::memory_order_seq_cst) - 1;
        if (now < 0) {
            count.store(0, std::memory_order_seq_cst);
            return -1;
        }
        return now;
    }

    /// Runs on every step of the count to 0. The default gives back the
    /// reference to the parent, once; an override that does more calls it
    /// too. It may end with the object's destruction.
    virtual void OnLastRelease()
    {
        if (IKXUnknown* const former = parent) {
            parent = nullptr;
            former->Release();
        }
    }

    /// The reference count; never below 0 between operations.
    std::atomic<std::int32_t> count{0};
    /// The parent the object holds a reference to; null without one or once
    /// OnLastRelease gave it back.
    IKXUnknown* parent;
};

/// Counting without a parent that also tells the host (ObjectReleased) when
/// the count falls to 0.
template <typename I>
class KCOMImmediateImpl : public KCOMImpl<I> {
public:
    /// Count 0, no parent.
    KCOMImmediateImpl() : KCOMImpl<I>(nullptr) {}

    /// As KCOMImpl::Release; on the step to 0, after OnLastRelease, also
    /// calls NotifyObjectReleased with the object's address (nothing without
    /// the host's service table).
    std::uint32_t Release() override
    {
        const std::int32_t now = this->Decrement();
        if (now != 0)
            return now < 0 ? 0 : static_cast<std::uint32_t>(now);
        // Only the address is passed on after OnLastRelease, which may end
        // with the object's destruction.
        IKXUnknown* const self = this;
        this->OnLastRelease();
        NotifyObjectReleased(self);
        return 0;
    }
};

} // namespace ZEDA::PluginSupport
