// EnumNameTable: the names of an enumeration's values and their indices,
// built from a comma-separated literal; and the library's six tables of unit
// and option names.
//
// Spaces in the literal are skipped wherever they stand; each comma ends a
// name (an empty one included); a name left after the last comma counts, an
// empty one does not, so a trailing comma adds nothing. A name that occurs
// twice keeps both places in the name list and maps to its last index.
//
// The tables use the standard allocator, never the memory manager, so they
// can be built during static initialisation, before the module knows its
// partition. They are read-only afterwards.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

class EnumNameTable {
public:
    explicit EnumNameTable(std::string_view list);

    /// The name at `index`; empty when out of range.
    std::string_view NameOf(std::size_t index) const noexcept;
    /// The index of `name` (byte-wise comparison), or -1.
    std::int32_t IndexOf(const std::string& name) const;

    const std::vector<std::string>& Names() const noexcept { return names; }
    const std::map<std::string, std::int32_t>& IndexByName() const noexcept { return indexByName; }

private:
    std::vector<std::string> names;
    std::map<std::string, std::int32_t> indexByName;
};

/// @name The library's tables, built as the module loads (EnumNameTables.cpp,
/// linked into the module as objects so that none is left out)
/// @{
extern const EnumNameTable kAngleUnitNames;
extern const EnumNameTable kLengthUnitNames;
extern const EnumNameTable kAreaUnitNames;
extern const EnumNameTable kVolumeUnitNames;
extern const EnumNameTable kLineDirectionNames;
extern const EnumNameTable kRoundingStepNames;
/// @}
