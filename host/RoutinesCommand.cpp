// kxhost routines: the module's routine table, as lines or as JSON.
#include "host/Commands.h"

#include "host/Values.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <iostream>

namespace KxHost {

namespace {

using Json = nlohmann::ordered_json;

/// "Name(arg: type, ...) -> result: type", or "-> nothing".
std::string Signature(const RoutineInfo& routine)
{
    std::string text = routine.name + "(" + ArgumentList(routine) + ") -> ";
    if (!routine.returnsValue)
        return text + "nothing";
    if (const ArgumentInfo* result = routine.ResultSlot())
        return text + result->name + ": " + TagName(result->tag);
    return text + "a value";
}

void PrintRoutines(const std::vector<RoutineInfo>& routines, bool json)
{
    if (json) {
        Json list = Json::array();
        for (const RoutineInfo& routine : routines) {
            Json arguments = Json::array();
            for (const ArgumentInfo& slot : routine.slots)
                arguments.push_back({{"name", slot.name}, {"tag", slot.tag}});
            list.push_back({{"name", routine.name},
                            {"category", routine.category},
                            {"description", routine.description},
                            {"version", routine.version},
                            {"returnsValue", routine.returnsValue},
                            {"extraFlag", routine.extraFlag},
                            {"arguments", arguments}});
        }
        std::cout << list.dump(2) << '\n';
        return;
    }
    std::size_t width = 0;
    for (const RoutineInfo& routine : routines)
        width = std::max(width, Signature(routine).size());
    for (const RoutineInfo& routine : routines) {
        std::string signature = Signature(routine);
        signature.resize(width, ' ');
        std::cout << signature << "  [" << routine.category << ", version " << routine.version
                  << (routine.extraFlag ? ", extra flag" : "") << "]  " << routine.description << '\n';
    }
}

} // namespace

int RoutinesCommand(const SessionSettings& settings, bool json)
{
    // Listing runs no routine: the module is served no folders or key.
    SessionSettings moduleOnly;
    moduleOnly.modulePath = settings.modulePath;
    return CheckOutput(RunSession(moduleOnly, [&](ModuleSession& session) { PrintRoutines(session.Routines(), json); }));
}

} // namespace KxHost
