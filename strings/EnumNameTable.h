/// @file
/// EnumNameTable: the names of an enumeration's values and their indices,
/// built from a comma-separated literal; and the library's six tables of unit
/// and option names.
///
/// Spaces in the literal are skipped wherever they stand; each comma ends a
/// name (an empty one included); a name left after the last comma counts, an
/// empty one does not, so a trailing comma adds nothing. A name that occurs
/// twice keeps both places in the name list and maps to its last index.
///
/// The tables use the standard allocator, never the memory manager, so they
/// can be built during static initialisation, before the module knows its
/// partition. They are read-only afterwards.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

/// The names of an enumeration's values in index order, and the index of each
/// name. Immutable once built; any number of threads may read it at once.
class EnumNameTable {
public:
    /// Reads `list` by the rules at the top of this file. Throws
    /// std::bad_alloc when memory runs short.
    explicit EnumNameTable(std::string_view list);

    /// The name at `index`; empty when out of range.
    std::string_view NameOf(std::size_t index) const noexcept;
    /// The index of `name` (byte-wise comparison), or -1.
    std::int32_t IndexOf(const std::string& name) const;

    /// Every name in index order, repeated names included.
    const std::vector<std::string>& Names() const noexcept { return names; }
    /// Each distinct name with its index (the last, for a repeated name).
    const std::map<std::string, std::int32_t>& IndexByName() const noexcept { return indexByName; }

private:
    std::vector<std::string> names;
    std::map<std::string, std::int32_t> indexByName;
};

/// @name The library's tables, built as the module loads (EnumNameTables.cpp,
/// linked into the module as objects so that none is left out)
/// Like any object of static storage, a table is not ready before its own
/// initialisation: code that runs during another file's static
/// initialisation must not read it.
/// @{

/// Degrees, Radians, Gradians (0 to 2).
extern const EnumNameTable kAngleUnitNames;
/// FeetNInches, Inches, Feet, Miles, Yards, Microns, Millimeters,
/// Centimeters, Meters, Kilometers, Degrees (0 to 10).
extern const EnumNameTable kLengthUnitNames;
/// SquareInches, SquareFeet, SquareYards, SquareMiles, Acres, SquareMicrons,
/// SquareMillimeters, SquareCentimeters, SquareMeters, SquareKilometers,
/// Hectares, Ares (0 to 11).
extern const EnumNameTable kAreaUnitNames;
/// CubicInches, CubicFeet, CubicYards, Gallons, CubicMillimeters,
/// CubicCentimeters, CubicMeters, Litres (0 to 7).
extern const EnumNameTable kVolumeUnitNames;
/// Regular, Diagonal, Horizontal (0 to 2).
extern const EnumNameTable kLineDirectionNames;
/// RoundTenth, RoundQuarter, RoundHalf (0 to 2).
extern const EnumNameTable kRoundingStepNames;
/// @}
