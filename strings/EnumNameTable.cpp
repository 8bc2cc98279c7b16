// EnumNameTable: reading the comma-separated literal.
#include "strings/EnumNameTable.h"

#include <utility>

EnumNameTable::EnumNameTable(std::string_view list)
{
    std::string pending;
    std::int32_t index = 0;
    const auto enter = [&] {
        indexByName[pending] = index++;
        names.push_back(std::move(pending));
        pending.clear();
    };
    for (const char byte : list) {
        if (byte == ' ')
            continue;
        if (byte == ',')
            enter();
        else
            pending.push_back(byte);
    }
    if (!pending.empty())
        enter();
}

std::string_view EnumNameTable::NameOf(std::size_t index) const noexcept
{
    return index < names.size() ? std::string_view(names[index]) : std::string_view();
}

std::int32_t EnumNameTable::IndexOf(const std::string& name) const
{
    const auto found = indexByName.find(name);
    return found == indexByName.end() ? -1 : found->second;
}
