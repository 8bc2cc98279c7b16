// kxhost call: one routine run with the arguments typed on the command
// line, its result printed, and what it did wrong reported: an exception,
// an argument read as another type than its table declares, a declared
// result it did not set.
#include "host/Commands.h"

#include "host/Console.h"
#include "host/Values.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <iostream>
#include <type_traits>
#include <variant>

namespace KxHost {

namespace {

using Json = nlohmann::ordered_json;
using ZEDA::PluginSupport::kResultRecord;

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

const RoutineInfo& FindRoutine(const std::vector<RoutineInfo>& routines, const std::string& name)
{
    for (const RoutineInfo& routine : routines)
        if (routine.name == name)
            return routine;
    std::string message = "unknown routine '" + name + "'";
    for (const RoutineInfo& routine : routines)
        if (Lower(routine.name) == Lower(name))
            throw UsageError{message + "; did you mean '" + routine.name + "'? Routine names are case-sensitive"};
    if (routines.empty())
        throw UsageError{message + "; the module offers no routines"};
    message += "; the module offers ";
    for (std::size_t i = 0; i < routines.size(); ++i)
        message += (i == 0 ? "" : ", ") + routines[i].name;
    throw UsageError{message + " (see 'kxhost routines')"};
}

Json ResultJson(const ResultValue& result)
{
    Json value = nullptr;
    std::visit(
        [&value](const auto& v) {
            if constexpr (!std::is_same_v<std::decay_t<decltype(v)>, std::monostate>)
                value = v;
        },
        result.value);
    return Json{{"tag", result.tag}, {"value", value}};
}

/// What went wrong in `routine`'s call, besides an exception: arguments it
/// read as another type than its table declares (or that it does not
/// declare), and a declared result it did not set or set as another type.
std::vector<std::string> Complaints(const RoutineInfo& routine, const CallReport& report, const ValueBlock& block)
{
    std::vector<std::string> complaints;
    for (const CallReport::Misread& misread : report.misreads) {
        if (misread.record == kResultRecord)
            continue; // the result may be read back
        const std::string which = "argument " + std::to_string(misread.record + 1);
        if (misread.record >= routine.CallArgumentCount()) {
            complaints.push_back(routine.name + " reads " + which + ", which its table does not declare" +
                                 (routine.returnsValue ? " (is its result slot missing?)" : ""));
            continue;
        }
        const ArgumentInfo& slot = routine.slots[misread.record];
        complaints.push_back(routine.name + " reads " + which + " (" + slot.name + ": " + TagName(slot.tag) +
                             ") as " + TagName(misread.readAs));
    }
    if (const ArgumentInfo* result = routine.ResultSlot()) {
        const std::uint16_t set = block[kResultRecord].tag;
        if (set == ZEDA::PluginSupport::kTagNone)
            complaints.push_back(routine.name + " declares a result (" + result->name + ": " + TagName(result->tag) +
                                 ") and set none");
        else if (KindOfTag(set) != KindOfTag(result->tag))
            complaints.push_back(routine.name + " declares a result of " + TagName(result->tag) + " and set " +
                                 TagName(set));
    }
    return complaints;
}

/// Runs `name` with `texts`; returns the result when the routine returns a
/// value and adds what went wrong to `complaints`. Throws UsageError for a
/// call the routine's table does not allow, HostError when it threw.
std::optional<ResultValue> CallRoutine(ModuleSession& session, const std::string& name,
                                       const std::vector<std::string>& texts, std::vector<std::string>& complaints)
{
    const RoutineInfo& routine = FindRoutine(session.Routines(), name);
    const std::size_t expected = routine.CallArgumentCount();
    if (texts.size() != expected) {
        std::string message = routine.name + " takes " + std::to_string(expected) +
                              (expected == 1 ? " argument" : " arguments");
        if (expected != 0)
            message += " (" + ArgumentList(routine) + ")";
        throw UsageError{message + ", but " + std::to_string(texts.size()) + (texts.size() == 1 ? " was" : " were") +
                         " given"};
    }

    // The block lives only for the call: its texts are copied out before
    // the module goes.
    ValueBlock block;
    for (std::size_t i = 0; i < expected; ++i) {
        const ArgumentInfo& slot = routine.slots[i];
        const std::string problem = StoreArgument(block[i], slot.tag, texts[i]);
        if (!problem.empty()) {
            const std::string where =
                "argument " + std::to_string(i + 1) + " (" + slot.name + ") of " + routine.name + " ";
            if (KindOfTag(slot.tag) == ValueKind::Other)
                throw HostError(kExitFailure, where + problem);
            throw UsageError{where + problem};
        }
    }
    const CallReport report = session.Execute(routine.index, &block);
    if (!report.exceptions.empty())
        throw HostError(kExitFailure, routine.name + " threw: " + report.exceptions.front());
    complaints = Complaints(routine, report, block);
    if (!routine.returnsValue)
        return std::nullopt;
    return ReadResult(block[kResultRecord]);
}

} // namespace

int CallCommand(const SessionSettings& settings, const std::string& name, const std::vector<std::string>& arguments,
                bool json)
{
    std::optional<ResultValue> result;
    std::vector<std::string> complaints;
    int code = RunSession(settings, [&](ModuleSession& session) {
        result = CallRoutine(session, name, arguments, complaints);
    });
    for (const std::string& complaint : complaints)
        Console::Note("warning: " + complaint);
    if (!complaints.empty() && code == kExitSuccess)
        code = kExitFailure;
    if (json && (code == kExitSuccess || (code == kExitFailure && result)))
        std::cout << (result ? ResultJson(*result) : Json(nullptr)).dump() << '\n';
    else if (result)
        std::cout << "result: " << FormatResult(*result) << '\n';
    return CheckOutput(code);
}

} // namespace KxHost
