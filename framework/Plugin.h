/// @file
/// The shortest way to write a plug-in module: routines declared as rows of
/// the routine table, each paired with the function that runs it, and one
/// macro for everything else.
///
/// @code
/// #include "framework/Plugin.h"
///
/// namespace {
/// using namespace ZEDA::PluginSupport;
///
/// void Add(KXPluginLibraryArgTable& call)
/// {
///     call.GetResult().SetInt64(std::int64_t{call.GetArgument(0).GetInt32()} + call.GetArgument(1).GetInt32());
/// }
///
/// constexpr KXRoutine kRoutines[] = {
///     {{"Add", "Demo", "Adds two integers.", 3100, true, false,
///       {{"a", kTagInt32}, {"b", kTagInt32}, {"sum", kTagInt64}}},
///      &Add},
/// };
/// } // namespace
///
/// KX_PLUGIN("Demo", "{1B0E6F0A-2C4D-4E6F-8A1B-3C5D7E9F0A2B}", kRoutines)
/// @endcode
///
/// These are conveniences over the framework, not another model: the rows
/// are the framework's RoutineDescription, the extension is
/// KXStandardCSFunctions, the exports are KX_PLUGIN_MODULE_EXPORTS. Mistakes
/// they can see are compile errors: a malformed GUID, a row without a name
/// (the table's end row is added for you) or without a function.
#pragma once

#include "framework/InterfaceID.h"
#include "framework/ModuleEntry.h"
#include "framework/ResourceText.h"
#include "framework/ScriptFunctions.h"
#include "framework/ValueRecord.h"

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string_view>

namespace ZEDA::PluginSupport {

namespace detail {

/// The value of the hexadecimal digit `c`. Reached only in constant
/// evaluation, where the throw makes a malformed GUID a compile error.
constexpr std::uint32_t HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return static_cast<std::uint32_t>(c - '0');
    if (c >= 'a' && c <= 'f')
        return static_cast<std::uint32_t>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F')
        return static_cast<std::uint32_t>(c - 'A' + 10);
    throw "a GUID holds only hexadecimal digits and hyphens";
}

/// The `digits` hexadecimal digits of `text` from `at` as a number.
constexpr std::uint32_t HexNumber(std::string_view text, std::size_t at, std::size_t digits)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < digits; ++i)
        value = value << 4 | HexDigit(text[at + i]);
    return value;
}

} // namespace detail

/// The identifier written as GUID text, "6F1D2C3B-4A59-4E68-8B7C-9D0E1F2A3B4C",
/// with or without braces, digits in either case. Evaluated while compiling:
/// text of another form does not compile.
consteval InterfaceID ParseGUID(std::string_view text)
{
    if (text.size() == 38) {
        if (text.front() != '{' || text.back() != '}')
            throw "a GUID in braces starts with { and ends with }";
        text = text.substr(1, 36);
    }
    if (text.size() != 36)
        throw "a GUID is 32 hexadecimal digits in groups of 8-4-4-4-12";
    for (const std::size_t hyphen : {8u, 13u, 18u, 23u})
        if (text[hyphen] != '-')
            throw "a GUID's groups of 8-4-4-4-12 digits are separated by hyphens";
    InterfaceID id{detail::HexNumber(text, 0, 8), static_cast<std::uint16_t>(detail::HexNumber(text, 9, 4)),
                   static_cast<std::uint16_t>(detail::HexNumber(text, 14, 4)),
                   {}};
    constexpr std::size_t kByteAt[8] = {19, 21, 24, 26, 28, 30, 32, 34};
    for (std::size_t i = 0; i < 8; ++i)
        id.data4[i] = static_cast<std::uint8_t>(detail::HexNumber(text, kByteAt[i], 2));
    return id;
}

/// What runs one routine: `call` holds the arguments and takes the result;
/// its value block is never null here. Whatever it throws is caught by the
/// framework and leaves the result as it was.
using KXRoutineFunction = void (*)(KXPluginLibraryArgTable& call);

/// One routine: its row of the routine table and the function that runs it.
struct KXRoutine {
    /// The routine's row of the table: its name (never null here), category,
    /// description, version, whether it returns a value, and its slots.
    RoutineDescription row;
    /// The function that runs it; never null.
    KXRoutineFunction run;
};

/// A routine list made into the framework's routine table (the end row
/// appended) and the functions that run its rows, in one constant. Build it
/// from an array of KXRoutine; a row without a name or a function does not
/// compile.
template <std::size_t N>
struct KXRoutineList {
    /// Copies the rows and functions of `routines`; evaluated while
    /// compiling, where a row without a name or a function is an error.
    consteval explicit KXRoutineList(const KXRoutine (&routines)[N]) : table{}, run{}
    {
        for (std::size_t i = 0; i < N; ++i) {
            if (routines[i].row.name == nullptr)
                throw "every routine has a name: the table's end row is added for you";
            if (routines[i].run == nullptr)
                throw "every routine has a function that runs it";
            table[i] = routines[i].row;
            run[i] = routines[i].run;
        }
    }

    /// The rows, then the end row whose name is null.
    RoutineDescription table[N + 1];
    /// The function of each row, by its index.
    KXRoutineFunction run[N];
};

/// The routine handler of a KXRoutineList: runs the function of the row
/// the host calls, when the host passed a value block and the index is one
/// of the list's.
template <const auto& List>
class KXRoutineHandler : public KXPluginLibraryRoutine {
public:
    /// The table KXStandardCSFunctions describes the routines from.
    static constexpr const RoutineDescription* kRoutineTable = List.table;

    void Execute(std::int32_t routineIndex, KXPluginLibraryArgTable& call) override
    {
        constexpr std::int32_t kCount = static_cast<std::int32_t>(std::size(List.run));
        if (call.GetValueBlock() != nullptr && routineIndex >= 0 && routineIndex < kCount)
            List.run[routineIndex](call);
    }
};

} // namespace ZEDA::PluginSupport

/// Defines a whole plug-in module from its name, its extension's GUID text
/// and its routine list (an array of KXRoutine): the resource owner `name`
/// (GetModuleResourceName), the script-function extension of that name
/// running the routines, and the three exports. Use it once, at global scope,
/// in a source file of the module itself.
#define KX_PLUGIN(name, guid, routines)                                                                          \
    const char* GetModuleResourceName()                                                                          \
    {                                                                                                            \
        return name;                                                                                             \
    }                                                                                                            \
    namespace {                                                                                                  \
    constexpr ::ZEDA::PluginSupport::KXRoutineList kxPluginRoutines{routines};                                   \
    struct KxPluginRoutines final : ::ZEDA::PluginSupport::KXRoutineHandler<kxPluginRoutines> {                 \
        static constexpr char kExtensionName[] = name;                                                           \
    };                                                                                                           \
    using KxPluginExtension = ::ZEDA::PluginSupport::KXStandardCSFunctions<KxPluginRoutines>;                    \
    constexpr InterfaceID kxPluginExtensionId = ::ZEDA::PluginSupport::ParseGUID(guid);                          \
    const ::ZEDA::PluginSupport::ModuleDescription kxPluginModule{                                               \
        kxPluginExtensionId, ::Calvera::Extension::IID_ExtensionCSFunctions, &KxPluginExtension::Create,         \
        &KxPluginExtension::IsExtension};                                                                        \
    }                                                                                                            \
    KX_PLUGIN_MODULE_EXPORTS(kxPluginModule, ::ZEDA::PluginSupport::kModuleVersion)
