// The values of the host's two pull-down list controls: the class-and-layer
// list and the searchable list. Each list is a host object that dialog code
// receives with a reference and hands to a collection, which keeps it alive
// for as long as the collection lives; the items are plain values.
//
// Contracts of the collections:
// - Construction takes over the caller's reference: the collection counts
//   one of its own (AddRef), gives the caller's back (Release) and sets the
//   caller's pointer to null, so the caller can neither use nor release it
//   by mistake afterwards. The object's count is the same before and after.
// - A null address or a null pointer: the collection holds nothing and
//   counts nothing.
// - Destruction releases the collection's reference.
// - Collections cannot be copied or assigned: each holds exactly the one
//   reference it took over.
#pragma once

#include "dialogs/CDQBaseDataContainer.h"
#include "framework/KXUnknown.h"
#include "strings/TXString.h"

#include <cstdint>

/// What the counted pull-down collections share: the one reference.
class CDQCountedPulldownCollection : public CDQBaseDataContainer {
public:
    CDQCountedPulldownCollection(const CDQCountedPulldownCollection&) = delete;
    CDQCountedPulldownCollection& operator=(const CDQCountedPulldownCollection&) = delete;
    ~CDQCountedPulldownCollection() override;

    /// The host object, borrowed: valid while this collection lives. Null
    /// when none was handed over.
    IKXUnknown* GetHostObject() const noexcept { return object; }

protected:
    /// Takes over `*reference` (see the file comment).
    explicit CDQCountedPulldownCollection(IKXUnknown** reference) noexcept;

private:
    IKXUnknown* object = nullptr;
};

/// The class-and-layer pull-down list.
class CDQClassAndLayerPulldownCollection : public CDQCountedPulldownCollection {
public:
    explicit CDQClassAndLayerPulldownCollection(IKXUnknown** reference) noexcept
        : CDQCountedPulldownCollection(reference)
    {
    }
};

/// The searchable pull-down list.
class CDQSearchablePulldownCollection : public CDQCountedPulldownCollection {
public:
    explicit CDQSearchablePulldownCollection(IKXUnknown** reference) noexcept
        : CDQCountedPulldownCollection(reference)
    {
    }
};

/// The value of a class-and-layer item when none is chosen.
inline constexpr std::int32_t kPulldownNoValue = -999;

/// An item of the class-and-layer list.
class CDQClassAndLayerPulldownItemValue : public CDQBaseDataContainer {
public:
    CDQClassAndLayerPulldownItemValue() = default;
    CDQClassAndLayerPulldownItemValue(const TXString& name, bool firstFlag, const TXString& secondName,
                                      std::int32_t value, bool secondFlag)
        : name(name), firstFlag(firstFlag), secondName(secondName), value(value), secondFlag(secondFlag)
    {
    }

    TXString name;
    bool firstFlag = false;
    TXString secondName;
    std::int32_t value = kPulldownNoValue;
    bool secondFlag = false;
};

/// An item of the searchable list.
class CDQSearchablePulldownItemValue : public CDQBaseDataContainer {
public:
    CDQSearchablePulldownItemValue() = default;
    CDQSearchablePulldownItemValue(const TXString& name, const TXString& secondName, std::int32_t value)
        : name(name), secondName(secondName), value(value)
    {
    }

    TXString name;
    TXString secondName;
    std::int32_t value = 0;
};
