// CDQMenuItemValue, the value of a menu entry with its submenu, and
// CDQMenuItemCollection, the ordered list of owned entries a menu or submenu
// is made of. Together they form a menu tree that is copied and destroyed
// entry by entry.
//
// Ownership and copying:
// - A collection owns its entries and destroys them, the last first, when it
//   is cleared, assigned to or destroyed. An entry owns its submenu by value.
// - Copying an entry or a collection copies the whole tree below it: a copy
//   shares no entry with its source, and either may be destroyed first.
// - Assigning an entry or a collection to itself changes nothing. Assigning
//   from a part of the target's own tree is safe too: the source is copied
//   in full before anything of the target is destroyed.
// - Copies allocate; when an allocation fails they throw std::bad_alloc and
//   leave the target as it was. Append reports failure as false instead.
//
// Equality:
// - Collections are equal when they hold the same entry objects, in order:
//   identity, not value. Two collections that own entries are therefore
//   never equal unless they are one and the same.
// - Entries compare by value (texts ignoring case, as TXString compares),
//   their submenus by the identity rule above; a separator equals any other
//   separator, whatever else either holds.
#pragma once

#include "dialogs/CDQBaseDataContainer.h"
#include "strings/TXString.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <vector>

class CDQMenuItemValue;

/// An ordered list of owned menu entries; entries may be null.
class CDQMenuItemCollection : public CDQBaseDataContainer {
public:
    CDQMenuItemCollection() = default;
    /// A deep copy of `other`'s entries (null entries stay null).
    CDQMenuItemCollection(const CDQMenuItemCollection& other);
    /// Replaces the entries with deep copies of `other`'s; nothing for
    /// `other` being this collection.
    CDQMenuItemCollection& operator=(const CDQMenuItemCollection& other);
    ~CDQMenuItemCollection() override;

    /// Appends a copy of `item` (with a copy of its whole submenu tree).
    /// False, with the collection unchanged, when the copy cannot be
    /// allocated.
    bool Append(const CDQMenuItemValue& item);
    /// Appends `item` itself, which may be null, and takes ownership of it.
    /// False when the list cannot grow; `item` is then destroyed.
    bool Adopt(std::unique_ptr<CDQMenuItemValue> item);

    std::size_t Count() const noexcept { return items.size(); }
    bool IsEmpty() const noexcept { return items.empty(); }
    /// The entry at `index`, owned by the collection; null for a null entry
    /// or an index not below Count().
    CDQMenuItemValue* At(std::size_t index) noexcept;
    const CDQMenuItemValue* At(std::size_t index) const noexcept;

    /// Destroys the entry at `index` and moves the later ones down by one.
    /// False, changing nothing, for an index not below Count().
    bool RemoveAt(std::size_t index) noexcept;
    /// Destroys every entry, the last first.
    void Clear() noexcept;

    /// Same count and, entry by entry, the same object (or both null).
    friend bool operator==(const CDQMenuItemCollection& left, const CDQMenuItemCollection& right) noexcept;

private:
    // An entry's assignment copies its source's submenu aside before it
    // gives up its own.
    friend class CDQMenuItemValue;
    using Items = std::vector<std::unique_ptr<CDQMenuItemValue>>;

    static Items CopyItems(const Items& source);
    static void DestroyLastFirst(Items& doomed) noexcept;

    Items items;
};

/// A menu entry: texts, a pointer-sized datum, a number, a separator flag,
/// two state flags and a submenu.
class CDQMenuItemValue : public CDQBaseDataContainer {
public:
    CDQMenuItemValue() = default;
    /// A deep copy: every field, the state flags and a copy of the submenu.
    CDQMenuItemValue(const CDQMenuItemValue& other);
    /// Copies every field and the state flags and replaces the submenu with
    /// a deep copy of `other`'s; nothing for `other` being this entry.
    CDQMenuItemValue& operator=(const CDQMenuItemValue& other);
    ~CDQMenuItemValue() override = default;

    CDQMenuItemValue(const TXString& title, std::int64_t data) : title(title), data(data) {}
    CDQMenuItemValue(const TXString& title, const TXString& thirdText) : title(title), thirdText(thirdText) {}
    CDQMenuItemValue(const TXString& title, std::int64_t data, const TXString& thirdText, double number)
        : title(title), data(data), number(number), thirdText(thirdText)
    {
    }
    CDQMenuItemValue(const TXString& title, std::int64_t data, const TXString& secondText)
        : title(title), secondText(secondText), data(data)
    {
    }
    /// A separator when `separator` is not 0, a plain entry otherwise.
    explicit CDQMenuItemValue(std::int32_t separator) noexcept : isSeparator(separator != 0) {}

    /// @name State flags
    /// Two flags kept as markers in a set (States()): the first flag is on
    /// unless kFirstFlagOffMarker is present, the second is on when
    /// kSecondFlagOnMarker is. A new entry has the first flag on and the
    /// second off; a copy has its source's flags.
    /// @{
    static constexpr std::int32_t kFirstFlagOffMarker = 0;
    static constexpr std::int32_t kSecondFlagOnMarker = 1;
    bool GetFirstFlag() const noexcept { return !states.contains(kFirstFlagOffMarker); }
    void SetFirstFlag(bool on);
    bool GetSecondFlag() const noexcept { return states.contains(kSecondFlagOnMarker); }
    void SetSecondFlag(bool on);
    const std::set<std::int32_t>& States() const noexcept { return states; }
    /// @}

    bool IsSeparator() const noexcept { return isSeparator; }

    /// @name Submenu
    /// @{
    bool HasSubmenu() const noexcept { return !submenu.IsEmpty(); }
    CDQMenuItemCollection& GetSubmenu() noexcept { return submenu; }
    const CDQMenuItemCollection& GetSubmenu() const noexcept { return submenu; }
    /// Replaces the submenu with a deep copy of `source`.
    void SetSubmenu(const CDQMenuItemCollection& source) { submenu = source; }
    /// @}

    /// A separator equals exactly the entries whose separator flag is the
    /// same; any other entry equals a non-separator whose texts, datum,
    /// number (exactly: NaN equals nothing), state flags and submenu (by
    /// identity) are equal.
    friend bool operator==(const CDQMenuItemValue& left, const CDQMenuItemValue& right);

    TXString title;
    TXString secondText;
    std::int64_t data = 0;
    double number = 0;
    TXString thirdText;
    bool isSeparator = false;

private:
    std::set<std::int32_t> states;
    CDQMenuItemCollection submenu;
};
