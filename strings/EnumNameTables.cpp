// The six unit and option name tables, built by static initialisation as the
// module loads and destroyed as it unloads. This file is linked into the
// module as an object of its own (kxenumnames), never picked from an
// archive, so the tables are there even though no code of the module reads
// them: they are for the plug-ins built on the library.
#include "strings/EnumNameTable.h"

const EnumNameTable kAngleUnitNames("Degrees, Radians, Gradians,");
const EnumNameTable kLengthUnitNames("FeetNInches, Inches, Feet, Miles, Yards, Microns, Millimeters, Centimeters, "
                                     "Meters, Kilometers, Degrees,");
const EnumNameTable kAreaUnitNames("SquareInches, SquareFeet, SquareYards, SquareMiles, Acres, SquareMicrons, "
                                   "SquareMillimeters, SquareCentimeters, SquareMeters, SquareKilometers, Hectares, "
                                   "Ares,");
const EnumNameTable kVolumeUnitNames("CubicInches, CubicFeet, CubicYards, Gallons, CubicMillimeters, "
                                     "CubicCentimeters, CubicMeters, Litres,");
const EnumNameTable kLineDirectionNames("Regular, Diagonal, Horizontal,");
const EnumNameTable kRoundingStepNames("RoundTenth, RoundQuarter, RoundHalf,");
