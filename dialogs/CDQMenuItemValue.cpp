// Menu entries and their collections: deep copies of menu trees, the state
// flags, removal and equality.
#include "dialogs/CDQMenuItemValue.h"

#include <new>
#include <utility>

CDQMenuItemCollection::CDQMenuItemCollection(const CDQMenuItemCollection& other)
    : CDQBaseDataContainer(other), items(CopyItems(other.items))
{
}

CDQMenuItemCollection& CDQMenuItemCollection::operator=(const CDQMenuItemCollection& other)
{
    if (this == &other)
        return *this;
    // Copy first: `other` may live inside one of the entries about to go.
    Items copies = CopyItems(other.items);
    items.swap(copies);
    DestroyLastFirst(copies);
    return *this;
}

CDQMenuItemCollection::~CDQMenuItemCollection()
{
    DestroyLastFirst(items);
}

bool CDQMenuItemCollection::Append(const CDQMenuItemValue& item)
{
    try {
        items.push_back(std::make_unique<CDQMenuItemValue>(item));
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool CDQMenuItemCollection::Adopt(std::unique_ptr<CDQMenuItemValue> item)
{
    try {
        items.push_back(std::move(item));
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

CDQMenuItemValue* CDQMenuItemCollection::At(std::size_t index) noexcept
{
    return index < items.size() ? items[index].get() : nullptr;
}

const CDQMenuItemValue* CDQMenuItemCollection::At(std::size_t index) const noexcept
{
    return index < items.size() ? items[index].get() : nullptr;
}

bool CDQMenuItemCollection::RemoveAt(std::size_t index) noexcept
{
    if (index >= items.size())
        return false;
    items.erase(items.begin() + static_cast<Items::difference_type>(index));
    return true;
}

void CDQMenuItemCollection::Clear() noexcept
{
    DestroyLastFirst(items);
}

bool operator==(const CDQMenuItemCollection& left, const CDQMenuItemCollection& right) noexcept
{
    return left.items == right.items;
}

CDQMenuItemCollection::Items CDQMenuItemCollection::CopyItems(const Items& source)
{
    Items copies;
    copies.reserve(source.size());
    for (const std::unique_ptr<CDQMenuItemValue>& item : source)
        copies.push_back(item == nullptr ? nullptr : std::make_unique<CDQMenuItemValue>(*item));
    return copies;
}

void CDQMenuItemCollection::DestroyLastFirst(Items& doomed) noexcept
{
    // Menus are torn down in the reverse of the order they were built.
    while (!doomed.empty())
        doomed.pop_back();
}

CDQMenuItemValue::CDQMenuItemValue(const CDQMenuItemValue& other)
    : CDQBaseDataContainer(other), title(other.title), secondText(other.secondText), data(other.data),
      number(other.number), thirdText(other.thirdText), isSeparator(other.isSeparator), states(other.states),
      submenu(other.submenu)
{
}

CDQMenuItemValue& CDQMenuItemValue::operator=(const CDQMenuItemValue& other)
{
    if (this == &other)
        return *this;
    // Everything is copied aside before this entry changes: a failed
    // allocation then leaves it as it was, and `other`, which may be an
    // entry of the submenu about to be replaced, is read while it lives.
    TXString newTitle(other.title);
    TXString newSecondText(other.secondText);
    TXString newThirdText(other.thirdText);
    std::set<std::int32_t> newStates(other.states);
    CDQMenuItemCollection::Items newItems = CDQMenuItemCollection::CopyItems(other.submenu.items);
    data = other.data;
    number = other.number;
    isSeparator = other.isSeparator;
    title = std::move(newTitle);
    secondText = std::move(newSecondText);
    thirdText = std::move(newThirdText);
    states.swap(newStates);
    submenu.items.swap(newItems);
    CDQMenuItemCollection::DestroyLastFirst(newItems);
    return *this;
}

void CDQMenuItemValue::SetFirstFlag(bool on)
{
    if (on)
        states.erase(kFirstFlagOffMarker);
    else
        states.insert(kFirstFlagOffMarker);
}

void CDQMenuItemValue::SetSecondFlag(bool on)
{
    if (on)
        states.insert(kSecondFlagOnMarker);
    else
        states.erase(kSecondFlagOnMarker);
}

bool operator==(const CDQMenuItemValue& left, const CDQMenuItemValue& right)
{
    if (left.isSeparator)
        return right.isSeparator;
    return !right.isSeparator && left.title == right.title && left.secondText == right.secondText &&
           left.data == right.data && left.thirdText == right.thirdText && left.number == right.number &&
           left.states == right.states && left.submenu == right.submenu;
}
