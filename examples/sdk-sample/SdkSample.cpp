// SdkSample.kxl: the SDK's how-to plug-in. A small script-function extension
// whose routines show the pieces a plug-in is built from:
//
//   Message(index)              a string of the plug-in's resource folder
//   Greeting(name, count)       a resource string used as a template
//   DialogLayout(id)            a resource file's data as text
//   NameColor(red, green, blue) the color's name, the screen refresh held off
//   DialogData()                the host value dialog value classes keep
//
// Its resources are the folder SdkSample/ beside this file; buildkxr packs
// it into SdkSample.kxr, and kxhost serves it:
//
//   kxhost --module SdkSample.kxl --resources SdkSample.kxr call Greeting Ada 3
//
// The extension itself is the framework's KXStandardCSFunctions: a plug-in
// with one routine handler only writes the handler and its table.
#include "dialogs/CDQValueChanges.h"
#include "dialogs/ColorNaming.h"
#include "dialogs/TDisableScreenRefreshState.h"
#include "framework/ModuleEntry.h"
#include "framework/ResourceText.h"
#include "framework/ScriptFunctions.h"
#include "strings/CFormatString.h"

#include <cstdint>

const char* GetModuleResourceName()
{
    return "SdkSample";
}

namespace {

using namespace ZEDA::PluginSupport;

/// {6F1D2C3B-4A59-4E68-8B7C-9D0E1F2A3B4C}: every plug-in gives its extension
/// an identifier of its own.
constexpr InterfaceID kSampleExtensionId{0x6F1D2C3B, 0x4A59, 0x4E68, {0x8B, 0x7C, 0x9D, 0x0E, 0x1F, 0x2A, 0x3B, 0x4C}};

/// The plug-in's string list; from 10000 on a list lives in the plug-in's
/// own resource folder.
constexpr std::int32_t kMessages = 12000;
constexpr std::int32_t kGreetingTemplate = 1;

enum Routine : std::int32_t { kMessage, kGreeting, kDialogLayout, kNameColor, kDialogData };

constexpr char kCategory[] = "SDK Sample";

const RoutineDescription kTable[] = {
    {"Message", kCategory, "Returns a string of the plug-in's message list.", 3100, true, false,
     {{"index", kTagInt32}, {"message", kTagString}}},
    {"Greeting", kCategory, "Greets NAME, who has COUNT new messages, in the words of the resources.", 3100, true,
     false, {{"name", kTagString}, {"count", kTagInt32}, {"greeting", kTagString}}},
    {"DialogLayout", kCategory, "Returns the layout of a dialog of the plug-in.", 3100, true, false,
     {{"id", kTagInt32}, {"layout", kTagString}}},
    {"NameColor", kCategory, "Names a color given by its 8-bit red, green and blue, with the screen refresh off.", 3100,
     true, false, {{"red", kTagInt32}, {"green", kTagInt32}, {"blue", kTagInt32}, {"name", kTagString}}},
    {"DialogData", kCategory, "Returns the host's dialog data value, as a dialog value class reads it.", 3100, true,
     false, {{"value", kTagInt32}}},
    {nullptr, nullptr, nullptr, 0, false, false, {}},
};

const char* ColorName(ColorNameCode code)
{
    switch (code) {
    case kColorNameRed: return "red";
    case kColorNameGreen: return "green";
    case kColorNameBlue: return "blue";
    case kColorNameOrange: return "orange";
    case kColorNameYellow: return "yellow";
    case kColorNameBrown: return "brown";
    case kColorNamePurple: return "purple";
    case kColorNamePink: return "pink";
    case kColorNameBlack: return "black";
    case kColorNameWhite: return "white";
    default: return "grey";
    }
}

std::uint8_t Channel(std::int32_t value)
{
    return static_cast<std::uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
}

class SampleRoutines : public KXPluginLibraryRoutine {
public:
    static constexpr const RoutineDescription* kRoutineTable = kTable;
    static constexpr char kExtensionName[] = "SdkSample";

    void Execute(std::int32_t routine, KXPluginLibraryArgTable& table) override
    {
        if (table.GetValueBlock() == nullptr)
            return;
        KXPluginLibraryArgument& result = table.GetResult();
        switch (routine) {
        case kMessage:
            result.SetString(ResourceText(kMessages, table.GetArgument(0).GetInt32(), 0));
            break;
        case kGreeting: {
            const ResourceText greeting(kMessages, kGreetingTemplate, 0);
            result.SetString(CFormatString(greeting)
                                 .Add(table.GetArgument(0).GetString())
                                 .Add(table.GetArgument(1).GetInt32())
                                 .Format());
            break;
        }
        case kDialogLayout: {
            ResourceText layout("DialogLayout", table.GetArgument(0).GetInt32());
            layout.LoadTextUTF8();
            result.SetString(layout);
            break;
        }
        case kNameColor: {
            // A batch of drawing would go here: one guard per level, and the
            // host refreshes once, when the outermost ends.
            TDisableScreenRefreshState outer;
            TDisableScreenRefreshState inner;
            const std::uint8_t rgb[3] = {Channel(table.GetArgument(0).GetInt32()),
                                         Channel(table.GetArgument(1).GetInt32()),
                                         Channel(table.GetArgument(2).GetInt32())};
            result.SetString(TXString(ColorName(ClassifyColorRGB8(rgb))));
            break;
        }
        case kDialogData:
            result.SetInt32(CDQIntValueChange().hostValue);
            break;
        default:
            break;
        }
    }
};

using SampleExtension = KXStandardCSFunctions<SampleRoutines>;

const ModuleDescription kModule{kSampleExtensionId, Calvera::Extension::IID_ExtensionCSFunctions,
                                &SampleExtension::Create, &SampleExtension::IsExtension};

} // namespace

KX_PLUGIN_MODULE_EXPORTS(kModule, ZEDA::PluginSupport::kModuleVersion)
