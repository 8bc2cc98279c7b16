// Demo.kxl: two Calscript routines, Add(a, b) and Shout(text), the second
// ending in a string of the plug-in's resources ("Demo/Strings/12000 *").
#include "framework/Plugin.h"

namespace {

using namespace ZEDA::PluginSupport;

void Add(KXPluginLibraryArgTable& call)
{
    // 64 bits hold every sum of two 32-bit integers.
    call.GetResult().SetInt64(std::int64_t{call.GetArgument(0).GetInt32()} + call.GetArgument(1).GetInt32());
}

void Shout(KXPluginLibraryArgTable& call)
{
    call.GetResult().SetString(call.GetArgument(0).GetString().MakeUpper() + ResourceText(12000, 1, 0));
}

constexpr KXRoutine kRoutines[] = {
    {{"Add", "Demo", "Adds two integers.", 3100, true, false, {{"a", kTagInt32}, {"b", kTagInt32}, {"sum", kTagInt64}}},
     &Add},
    {{"Shout", "Demo", "Shouts TEXT.", 3100, true, false, {{"text", kTagString}, {"shouted", kTagString}}}, &Shout},
};

} // namespace

KX_PLUGIN("Demo", "{1B0E6F0A-2C4D-4E6F-8A1B-3C5D7E9F0A2B}", kRoutines)
