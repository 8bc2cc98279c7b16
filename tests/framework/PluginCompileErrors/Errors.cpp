// Plug-in declarations that must not compile, one per KX_COMPILE_ERROR
// value; the suite builds each and expects the compiler to refuse it. With
// KX_COMPILE_ERROR 0 the file holds only what must compile.
#include "framework/Plugin.h"

namespace {

using namespace ZEDA::PluginSupport;

[[maybe_unused]] void Run(KXPluginLibraryArgTable&) {}

#if KX_COMPILE_ERROR == 1 // a digit that is none
constexpr InterfaceID kId = ParseGUID("6F1D2C3B-4A59-4E68-8B7C-9D0E1F2A3B4G");
#elif KX_COMPILE_ERROR == 2 // a group too short
constexpr InterfaceID kId = ParseGUID("6F1D2C3-4A59-4E68-8B7C-9D0E1F2A3B4C0");
#elif KX_COMPILE_ERROR == 3 // an end row written by hand
constexpr KXRoutine kRoutines[] = {{{"A", "T", "", 3100, false, false, {}}, &Run}, {{}, &Run}};
constexpr KXRoutineList kList{kRoutines};
#elif KX_COMPILE_ERROR == 4 // a row without its function
constexpr KXRoutine kRoutines[] = {{{"A", "T", "", 3100, false, false, {}}, nullptr}};
constexpr KXRoutineList kList{kRoutines};
#endif

} // namespace
