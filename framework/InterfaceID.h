/// @file
/// Interface identifiers, and the identifiers that the host and the plug-ins
/// share.
///
/// An InterfaceID is a 16-byte GUID, compared as 16 bytes. Every object that
/// crosses the boundary between the host and a plug-in is asked for by one:
/// the host's interfaces through HostServices::QueryInterface, a plug-in's
/// extension through the module entry, an extension's event sink through
/// IExtension::GetEventSink. Identifiers travel by reference
/// (`const InterfaceID&`) everywhere.
///
/// The values below are fixed for good: host and plug-ins are built apart and
/// meet only through them. A plug-in developer uses the host's identifiers as
/// they stand and gives each extension of their own a new GUID.
#pragma once

#include <cstdint>
#include <cstring>

/// A GUID as the host and the plug-ins lay it out: 16 bytes in four fields,
/// the first three in the machine's byte order. The text form
/// {DDDDDDDD-DDDD-DDDD-DDDD-DDDDDDDDDDDD} gives data1, data2, data3, then the
/// eight bytes of data4 in order. A plain aggregate, so identifiers can be
/// compile-time constants.
struct InterfaceID {
    std::uint32_t data1;  ///< the first group of 8 hexadecimal digits
    std::uint16_t data2;  ///< the second group of 4 digits
    std::uint16_t data3;  ///< the third group of 4 digits
    std::uint8_t data4[8]; ///< the last 16 digits (groups of 4 and 12), two digits per byte

    /// True when all 16 bytes are equal (a byte comparison: the fields have
    /// no padding between them).
    friend bool operator==(const InterfaceID& a, const InterfaceID& b) noexcept
    {
        return std::memcmp(&a, &b, sizeof a) == 0;
    }
};
static_assert(sizeof(InterfaceID) == 16, "an identifier is 16 bytes on both sides of the boundary");

namespace Calvera::Extension {

/// @name The host's interfaces
/// Asked for with HostServices::QueryInterface (framework/HostInterfaces.h
/// declares them); the object handed out holds one reference for the caller.
/// @{

/// IHostApplication, {5B1C3E20-7A41-4C8E-9D2F-1A6B0C4E8F01}
inline constexpr InterfaceID IID_HostApplication{
    0x5B1C3E20, 0x7A41, 0x4C8E, {0x9D, 0x2F, 0x1A, 0x6B, 0x0C, 0x4E, 0x8F, 0x01}};
/// IHostFolderChooser, {5B1C3E21-7A41-4C8E-9D2F-1A6B0C4E8F02}
inline constexpr InterfaceID IID_HostFolderChooser{
    0x5B1C3E21, 0x7A41, 0x4C8E, {0x9D, 0x2F, 0x1A, 0x6B, 0x0C, 0x4E, 0x8F, 0x02}};
/// IHostFolder, {5B1C3E22-7A41-4C8E-9D2F-1A6B0C4E8F03}
inline constexpr InterfaceID IID_HostFolder{
    0x5B1C3E22, 0x7A41, 0x4C8E, {0x9D, 0x2F, 0x1A, 0x6B, 0x0C, 0x4E, 0x8F, 0x03}};
/// IHostFile, {5B1C3E23-7A41-4C8E-9D2F-1A6B0C4E8F04}
inline constexpr InterfaceID IID_HostFile{
    0x5B1C3E23, 0x7A41, 0x4C8E, {0x9D, 0x2F, 0x1A, 0x6B, 0x0C, 0x4E, 0x8F, 0x04}};
/// IHostTextFile, {5B1C3E24-7A41-4C8E-9D2F-1A6B0C4E8F05}
inline constexpr InterfaceID IID_HostTextFile{
    0x5B1C3E24, 0x7A41, 0x4C8E, {0x9D, 0x2F, 0x1A, 0x6B, 0x0C, 0x4E, 0x8F, 0x05}};
/// @}

/// @name The script-function extension model
/// @{

/// The kind of extension that adds Calscript routines: the category a
/// module registers its script-function extension under.
/// {8E6D2A10-3F5B-4D71-A2C4-6B9E1F0D3C10}
inline constexpr InterfaceID IID_ExtensionCSFunctions{
    0x8E6D2A10, 0x3F5B, 0x4D71, {0xA2, 0xC4, 0x6B, 0x9E, 0x1F, 0x0D, 0x3C, 0x10}};
/// The event sink through which the host runs an extension's routines.
/// {8E6D2A11-3F5B-4D71-A2C4-6B9E1F0D3C11}
inline constexpr InterfaceID IID_CSFunctionsEventSink{
    0x8E6D2A11, 0x3F5B, 0x4D71, {0xA2, 0xC4, 0x6B, 0x9E, 0x1F, 0x0D, 0x3C, 0x11}};
/// @}

} // namespace Calvera::Extension
