// kxhost validate: the plug-in validator. Each scenario runs in a child
// process of its own (kxhost validate --child NAME), so that a crash, a
// hang or an abort fails that scenario and not the validator; the child
// writes what it found as JSON lines on its standard output, and the parent
// prints one line a scenario and a count.
//
//   exports        exactly the three module entries, the module version
//   registration   -3 again through another callback block, -4 with a
//                  foreign identifier, a second extension released and
//                  destroyed while the first lives
//   table          terminated within 4096 rows, at most 10 arguments, known
//                  tags, UTF-8 texts, a result slot where a result is
//                  declared, unique names
//   routine:NAME   called with typical, empty, lowest and highest values of
//                  its declared types, then wrong types and no value block:
//                  no exception, no argument read as another type, the
//                  declared result set, and every memory-manager block, host
//                  reference, host object and resource handle given back
//   resources      every resource the module asked for was served
//   shutdown       -5 and plugin_module_deinit leave nothing behind
#include "host/Commands.h"

#include "KXMM/KXMM.h"
#include "framework/ModuleEntry.h"
#include "host/Console.h"
#include "host/Values.h"
#include "platform/Files.h"
#include "platform/Module.h"
#include "platform/Process.h"
#include "strings/MainPartition.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <limits>
#include <map>
#include <random>
#include <set>

namespace KxHost {

namespace {

using Json = nlohmann::ordered_json;
using namespace ZEDA::PluginSupport;

constexpr const char* kPass = "PASS";
constexpr const char* kFail = "FAIL";
constexpr const char* kWarn = "WARN";

constexpr const char* kExports = "exports";
constexpr const char* kRegistration = "registration";
constexpr const char* kTable = "table";
constexpr const char* kRoutinePrefix = "routine:";
constexpr const char* kResources = "resources";
constexpr const char* kShutdown = "shutdown";

/// A routine takes at most this many arguments: the block's records before
/// the result, less one the host keeps.
constexpr std::size_t kMostArguments = 10;

/// @name The child: one scenario, its findings as JSON lines
/// @{

void Emit(const Json& line)
{
    std::cout << line.dump() << '\n' << std::flush;
}

void Finding(const char* status, const std::string& why)
{
    Emit({{"status", status}, {"why", why}});
}

/// Told before each call, so that a crash during it can be named.
void Step(const std::string& what)
{
    Emit({{"step", what}});
}

std::size_t MainPartitionBlocks()
{
    const KXMM::Partition* main = KXMM::Partition::GetPartitionByIdentifier(kMainPartitionIdentifier, false);
    return main != nullptr ? main->GetBlockCount() : 0;
}

/// What a call may take from the host and must give back.
struct Balance {
    std::size_t blocks;
    std::int32_t references;
    std::int32_t objects;
    std::size_t handles;

    static Balance Of(const ModuleSession& session)
    {
        return {MainPartitionBlocks(), session.Application().ReferenceCount(), FileServices::LiveObjects(),
                session.Application().OpenResourceHandles()};
    }
};

std::string Count(std::size_t n, const char* one, const char* many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

/// What `after` holds that `before` did not, one phrase each.
std::vector<std::string> Kept(const Balance& before, const Balance& after)
{
    std::vector<std::string> kept;
    if (after.blocks > before.blocks)
        kept.push_back("keeps " + Count(after.blocks - before.blocks, "memory-manager block", "memory-manager blocks"));
    if (after.references > before.references)
        kept.push_back("keeps " + Count(static_cast<std::size_t>(after.references - before.references),
                                        "reference", "references") + " to the host application");
    if (after.objects > before.objects)
        kept.push_back("keeps " + Count(static_cast<std::size_t>(after.objects - before.objects), "host object",
                                        "host objects"));
    if (after.handles > before.handles)
        kept.push_back("keeps " + Count(after.handles - before.handles, "resource handle", "resource handles"));
    return kept;
}

HostOptions ChildOptions(const ValidateSettings& settings)
{
    HostOptions options;
    // No folders and no key: no routine can touch a file through the host.
    options.choice = HostOptions::Choice::Cancel;
    options.resources = settings.resources;
    return options;
}

/// Tells the resources the module asked for in vain.
void EmitMisses(const ModuleSession& session)
{
    Json misses = Json::array();
    for (const HostApplication::ResourceMiss& miss : session.Application().ResourceMisses())
        misses.push_back({{"location", miss.location}, {"key", miss.key}, {"ownerServed", miss.ownerServed}});
    if (!misses.empty())
        Emit({{"missing", misses}});
}

void ExportsScenario(const ValidateSettings& settings)
{
    std::string error;
    std::optional<std::vector<std::string>> exports = Platform::ModuleExports(settings.modulePath, error);
    if (!exports)
        throw HostError(kExitNotAPlugin, "cannot load the module " + settings.modulePath + ": " + error);
    std::sort(exports->begin(), exports->end());
    const std::vector<std::string> expected = {kDeinitExport, kMainExport, kVersionExport};
    std::string extra;
    for (const std::string& name : *exports)
        if (!std::binary_search(expected.begin(), expected.end(), name))
            extra += (extra.empty() ? "" : ", ") + name;
    std::string missing;
    for (const std::string& name : expected)
        if (!std::binary_search(exports->begin(), exports->end(), name))
            missing += (missing.empty() ? "" : ", ") + name;
    if (!missing.empty())
        Finding(kFail, "it does not export " + missing);
    if (!extra.empty())
        Finding(kFail, "it exports more than the three module entries: " + extra);

    const Platform::ModuleHandle module = Platform::LoadModule(settings.modulePath, error);
    if (module == nullptr)
        throw HostError(kExitNotAPlugin, "cannot load the module " + settings.modulePath + ": " + error);
    using VersionFunction = std::int32_t (*)();
    if (const auto version = reinterpret_cast<VersionFunction>(Platform::FindModuleSymbol(module, kVersionExport))) {
        Step("plugin_module_ver");
        const std::int32_t answer = version();
        if (answer != kSupportedModuleVersion)
            Finding(kFail, "plugin_module_ver answers " + std::to_string(answer) + "; the host drives version " +
                               std::to_string(kSupportedModuleVersion));
    }
    Platform::UnloadModule(module);
}

void RegistrationScenario(ModuleSession& session)
{
    Step("action -3 through another callback block");
    session.CallModuleMain(kActionRegister, nullptr, nullptr, true);
    const std::vector<InterfaceID> registered = session.Registered();
    if (registered.size() < 2 || !(registered.back() == registered.front()))
        Finding(kFail, "a second action -3 did not register the same extension again");

    Step("action -4 with a foreign identifier");
    constexpr InterfaceID kForeign{0x0F0E0D0C, 0x0B0A, 0x0908, {7, 6, 5, 4, 3, 2, 1, 0}};
    IKXUnknown* foreign = nullptr;
    session.CallModuleMain(kActionCreate, &kForeign, &foreign, false);
    if (foreign != nullptr)
        Finding(kFail, "action -4 created an object for an identifier that is not the module's");

    Step("a second extension, released and destroyed while the first lives");
    IKXUnknown* second = nullptr;
    session.CallModuleMain(kActionCreate, &session.ExtensionId(), &second, true);
    if (second == nullptr) {
        Finding(kFail, "a second action -4 created no extension");
        return;
    }
    if (const std::uint32_t count = second->AddRef(); count != 1)
        Finding(kFail, "a new extension counts " + std::to_string(count) + " references after the host's AddRef");
    if (const std::uint32_t count = second->Release(); count != 0)
        Finding(kFail, "an extension still counts " + std::to_string(count) + " references after the host's Release");
    session.CallModuleMain(kActionDestroy, &session.ExtensionId(), &second, false);
    if (second != nullptr)
        Finding(kFail, "action -5 did not destroy the second extension");
}

bool HasReplacement(const std::string& text)
{
    // What a text that is not UTF-8 becomes on its way into the host.
    return text.find("\xEF\xBF\xBD") != std::string::npos;
}

void TableScenario(const ModuleSession& session)
{
    std::set<std::string> names;
    Json list = Json::array();
    for (const RoutineInfo& routine : session.Routines()) {
        const std::string who = "routine " + std::to_string(routine.index) + " (" + routine.name + ")";
        list.push_back(routine.name);
        if (routine.name.empty())
            Finding(kFail, who + " has no name");
        else if (!names.insert(routine.name).second)
            Finding(kFail, "two routines are named " + routine.name);
        if (routine.CallArgumentCount() > kMostArguments)
            Finding(kFail, who + " takes " + std::to_string(routine.CallArgumentCount()) + " arguments; at most " +
                               std::to_string(kMostArguments) + " fit in a call");
        if (routine.returnsValue && routine.slots.empty())
            Finding(kFail, who + " declares a result but no slot describes it");
        bool readable = !HasReplacement(routine.name) && !HasReplacement(routine.category) &&
                        !HasReplacement(routine.description);
        for (const ArgumentInfo& slot : routine.slots) {
            readable = readable && !HasReplacement(slot.name);
            if (!IsKnownTag(slot.tag))
                Finding(kFail, who + ": slot '" + slot.name + "' has the unknown tag " + std::to_string(slot.tag));
            else if (slot.tag == kTagNone)
                Finding(kFail, who + ": slot '" + slot.name + "' has no type");
        }
        if (!readable)
            Finding(kFail, who + ": a text of its row is not valid UTF-8");
    }
    Emit({{"routines", list}});
}

/// @name The values a routine is called with
/// @{
enum class Values { Typical, Empty, Lowest, Highest, WrongTyped };

struct ValueSet {
    Values values;
    const char* name;
};
constexpr ValueSet kValueSets[] = {
    {Values::Typical, "typical values"},
    {Values::Empty, "empty and zero values"},
    {Values::Lowest, "the lowest values"},
    {Values::Highest, "the highest values"},
    {Values::WrongTyped, "values of the wrong types"},
};

/// The text of a value of `tag`'s kind for `values`, and the tag it is
/// stored as (another kind's for WrongTyped).
std::pair<std::string, std::uint16_t> ValueFor(std::uint16_t tag, Values values)
{
    const auto pick = [&](const char* typical, const char* empty, std::string lowest, std::string highest) {
        switch (values) {
        case Values::Typical: return std::string(typical);
        case Values::Empty: return std::string(empty);
        case Values::Lowest: return lowest;
        default: return highest;
        }
    };
    const auto limits = [&](auto type) {
        using T = decltype(type);
        return pick("42", "0", std::to_string(std::numeric_limits<T>::min()),
                    std::to_string(std::numeric_limits<T>::max()));
    };
    switch (KindOfTag(tag)) {
    case ValueKind::String:
        if (values == Values::WrongTyped)
            return {"7", kTagInt32};
        return {pick("text", "", "\xC3\xA9\xE6\xBC\xA2", std::string(4096, 'x')), tag};
    case ValueKind::Boolean:
        if (values == Values::WrongTyped)
            return {"true", kTagString};
        return {pick("true", "false", "false", "true"), tag};
    case ValueKind::Real:
        if (values == Values::WrongTyped)
            return {"true", kTagBool};
        return {pick("1.5", "0", "-1.7976931348623157e308", "1.7976931348623157e308"), tag};
    case ValueKind::Integer:
        if (values == Values::WrongTyped)
            return {"7", kTagString};
        if (tag == kTagInt16)
            return {limits(std::int16_t{}), tag};
        if (tag == kTagInt32)
            return {limits(std::int32_t{}), tag};
        return {limits(std::int64_t{}), tag};
    default:
        // Points and arrays cannot be typed; a string shows how the routine
        // takes what it did not ask for.
        return {"text", kTagString};
    }
}
/// @}

void RoutineScenario(ModuleSession& session, const std::string& name)
{
    const auto found = std::find_if(session.Routines().begin(), session.Routines().end(),
                                    [&](const RoutineInfo& routine) { return routine.name == name; });
    if (found == session.Routines().end()) {
        Finding(kFail, "the module has no routine " + name);
        return;
    }
    const RoutineInfo& routine = *found;
    std::set<std::string> told; // each problem once, with the first values that showed it
    const auto tell = [&](const char* status, const std::string& problem, const char* values) {
        if (told.insert(problem).second)
            Finding(status, problem + " (with " + values + ")");
    };
    for (const ValueSet& set : kValueSets) {
        ValueBlock block;
        for (std::size_t i = 0; i < routine.CallArgumentCount(); ++i) {
            const auto [text, tag] = ValueFor(routine.slots[i].tag, set.values);
            StoreArgument(block[i], tag, text);
        }
        Step(set.name);
        const Balance before = Balance::Of(session);
        const CallReport report = session.Execute(routine.index, &block);
        const bool wrong = set.values == Values::WrongTyped;
        for (const std::string& what : report.exceptions)
            tell(wrong ? kWarn : kFail, "it threw: " + what, set.name);
        for (const CallReport::Misread& misread : report.misreads) {
            if (wrong || misread.record == kResultRecord)
                continue; // the host passed other types; the result may be read back
            if (misread.record >= routine.CallArgumentCount()) {
                tell(kFail, "it reads argument " + std::to_string(misread.record + 1) +
                                ", which its table does not declare" +
                                (routine.returnsValue ? " (is its result slot missing?)" : ""),
                     set.name);
            } else if (KindOfTag(routine.slots[misread.record].tag) != ValueKind::Other) {
                const ArgumentInfo& slot = routine.slots[misread.record];
                tell(kFail, "it reads argument " + std::to_string(misread.record + 1) + " (" + slot.name + ": " +
                                TagName(slot.tag) + ") as " + TagName(misread.readAs),
                     set.name);
            }
        }
        if (set.values == Values::Typical && routine.ResultSlot() != nullptr) {
            const ArgumentInfo& result = *routine.ResultSlot();
            const std::uint16_t tag = block[kResultRecord].tag;
            if (tag == kTagNone)
                tell(kFail, "it declares a result (" + result.name + ": " + TagName(result.tag) + ") and sets none",
                     set.name);
            else if (KindOfTag(tag) != KindOfTag(result.tag))
                tell(kFail, "it declares a result of " + TagName(result.tag) + " and sets " + TagName(tag), set.name);
        }
        for (const std::string& kept : Kept(before, Balance::Of(session)))
            tell(kFail, kept, set.name);
    }
    Step("no value block");
    const Balance before = Balance::Of(session);
    for (const std::string& what : session.Execute(routine.index, nullptr).exceptions)
        tell(kWarn, "it threw: " + what, "no value block");
    for (const std::string& kept : Kept(before, Balance::Of(session)))
        tell(kFail, kept, "no value block");
}

/// Runs the scenario `settings.child` and writes its findings; the exit
/// code tells only whether the scenario could run.
int RunChildScenario(const ValidateSettings& settings)
{
    Platform::EndQuietlyOnCrash();
    const std::string& scenario = settings.child;
    try {
        if (scenario == kExports) {
            ExportsScenario(settings);
            return kExitSuccess;
        }
        const std::size_t blocksBefore = MainPartitionBlocks();
        ModuleSession session(ChildOptions(settings));
        Step("loading the module");
        session.Open(settings.modulePath);
        if (scenario == kRegistration)
            RegistrationScenario(session);
        else if (scenario == kTable)
            TableScenario(session);
        else if (scenario.starts_with(kRoutinePrefix))
            RoutineScenario(session, scenario.substr(std::string_view(kRoutinePrefix).size()));
        EmitMisses(session);
        Step("taking the module down");
        const std::vector<std::string> problems = session.Close();
        if (scenario == kShutdown) {
            for (const std::string& problem : problems)
                Finding(kFail, problem);
            if (const std::size_t after = MainPartitionBlocks(); after > blocksBefore)
                Finding(kFail, "the module leaves " + Count(after - blocksBefore, "memory-manager block",
                                                            "memory-manager blocks") + " behind");
        }
        return kExitSuccess;
    } catch (const HostError& error) {
        Finding(kFail, error.what());
        return error.ExitCode() == kExitNotAPlugin ? kExitNotAPlugin : kExitSuccess;
    }
}
/// @}

/// @name The parent: each scenario in a child, one line each
/// @{

struct Outcome {
    std::string scenario;
    std::string status = kPass;
    std::vector<std::string> whys;

    void Add(const std::string& found, const std::string& why)
    {
        if (found == kFail || (found == kWarn && status == kPass))
            status = found;
        whys.push_back(why);
    }
};

/// What one child found.
struct ChildReport {
    Outcome outcome;
    std::vector<std::string> routines;
    std::vector<HostApplication::ResourceMiss> misses;
    bool notAPlugin = false;
};

/// The first line of a sanitizer's report in `err`, if there is one.
std::optional<std::string> SanitizerReport(const std::string& err)
{
    for (const char* marker : {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:", "WARNING: ThreadSanitizer"}) {
        const std::size_t at = err.find(marker);
        if (at == std::string::npos)
            continue;
        const std::size_t start = err.rfind('\n', at) == std::string::npos ? 0 : err.rfind('\n', at) + 1;
        return err.substr(start, err.find('\n', at) - start);
    }
    return std::nullopt;
}

class Parent {
public:
    explicit Parent(const ValidateSettings& settings) : settings(settings)
    {
        std::random_device random;
        folder = std::filesystem::temp_directory_path() /
                 ("kxhost-validate-" + std::to_string(random()) + std::to_string(random()));
        std::filesystem::create_directories(folder);
    }
    ~Parent()
    {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    Parent(const Parent&) = delete;
    Parent& operator=(const Parent&) = delete;

    ChildReport Run(const std::string& scenario) const
    {
        std::vector<std::string> arguments = {"--module", settings.modulePath};
        for (const std::string& resources : settings.resources)
            arguments.insert(arguments.end(), {"--resources", resources});
        arguments.insert(arguments.end(), {"validate", "--child", scenario});
        const std::optional<std::string> self = Platform::ExecutablePath();
        const Platform::ChildResult result = Platform::RunChild(self.value_or("kxhost"), arguments, settings.timeLimit,
                                                                 Utf8(folder));
        ChildReport report;
        report.outcome.scenario = scenario;
        std::string step;
        std::size_t start = 0;
        for (std::size_t end = result.out.find('\n'); end != std::string::npos;
             start = end + 1, end = result.out.find('\n', start)) {
            const Json line = Json::parse(result.out.substr(start, end - start), nullptr, false);
            if (!line.is_object())
                continue;
            if (line.contains("step"))
                step = line["step"].get<std::string>();
            if (line.contains("status"))
                report.outcome.Add(line["status"].get<std::string>(), line["why"].get<std::string>());
            if (line.contains("routines"))
                report.routines = line["routines"].get<std::vector<std::string>>();
            if (line.contains("missing"))
                for (const Json& miss : line["missing"])
                    report.misses.push_back({miss["location"].get<std::string>(), miss["key"].get<std::string>(),
                                             miss["ownerServed"].get<bool>()});
        }
        report.notAPlugin = result.end == Platform::ChildResult::End::Exited && result.code == kExitNotAPlugin;
        if (!result.Succeeded() && !report.notAPlugin) {
            std::string why = Platform::DescribeEnd(result);
            if (result.end == Platform::ChildResult::End::TimedOut)
                why = "it did not finish within " + std::to_string(settings.timeLimit.count() / 1000.0).substr(0, 4) +
                      " s";
            if (!step.empty())
                why += " (" + step + ")";
            if (const std::optional<std::string> sanitizer = SanitizerReport(result.err))
                why += ": " + *sanitizer;
            report.outcome.Add(kFail, why);
        }
        return report;
    }

private:
    static std::string Utf8(const std::filesystem::path& path)
    {
        const std::u8string text = path.u8string();
        return std::string(text.begin(), text.end());
    }

    const ValidateSettings& settings;
    std::filesystem::path folder;
};

/// The resources scenario from what every child asked for in vain. A miss
/// is told, not failed: a routine called with the validator's values may
/// well ask for a string its resources never had.
Outcome ResourcesOutcome(const std::vector<HostApplication::ResourceMiss>& misses)
{
    constexpr std::size_t kNamed = 3;
    Outcome outcome;
    outcome.scenario = kResources;
    std::set<std::string> unserved;
    std::vector<std::string> missing;
    for (const HostApplication::ResourceMiss& miss : misses) {
        const std::string what = miss.location + (miss.key.empty() ? "" : " key \"" + miss.key + "\"");
        if (!miss.ownerServed)
            unserved.insert(miss.location.substr(0, miss.location.find('/')));
        else if (std::find(missing.begin(), missing.end(), what) == missing.end())
            missing.push_back(what);
    }
    for (const std::string& owner : unserved)
        outcome.Add(kWarn, "the module asked for resources of \"" + owner + "\", but no --resources serves its owner");
    if (!missing.empty()) {
        std::string named;
        for (std::size_t i = 0; i < std::min(kNamed, missing.size()); ++i)
            named += (i == 0 ? "" : ", ") + missing[i];
        if (missing.size() > kNamed)
            named += " and " + std::to_string(missing.size() - kNamed) + " more";
        outcome.Add(kWarn, "not served: " + named);
    }
    return outcome;
}

bool Wanted(const ValidateSettings& settings, const std::string& scenario)
{
    return settings.scenarios.empty() ||
           std::find(settings.scenarios.begin(), settings.scenarios.end(), scenario) != settings.scenarios.end();
}

void Print(const std::vector<Outcome>& outcomes, bool json)
{
    if (json) {
        Json list = Json::array();
        for (const Outcome& outcome : outcomes) {
            std::string why;
            for (const std::string& part : outcome.whys)
                why += (why.empty() ? "" : "; ") + part;
            list.push_back({{"scenario", outcome.scenario}, {"status", outcome.status}, {"why", why}});
        }
        std::cout << list.dump(2) << '\n';
        return;
    }
    std::size_t counts[3] = {};
    for (const Outcome& outcome : outcomes) {
        std::cout << outcome.status << ' ' << outcome.scenario;
        for (std::size_t i = 0; i < outcome.whys.size(); ++i)
            std::cout << (i == 0 ? ": " : "; ") << outcome.whys[i];
        std::cout << '\n';
        ++counts[outcome.status == kPass ? 0 : outcome.status == kFail ? 1 : 2];
    }
    std::cout << counts[0] << " passed, " << counts[1] << " failed, " << counts[2]
              << (counts[2] == 1 ? " warning" : " warnings") << '\n';
}

/// @}

} // namespace

int ValidateCommand(const ValidateSettings& given)
{
    if (!given.child.empty())
        return RunChildScenario(given);

    // The children run in a folder of their own: every path absolute.
    ValidateSettings settings = given;
    if (const std::optional<std::string> absolute = Platform::Files::AbsolutePath(settings.modulePath))
        settings.modulePath = *absolute;
    for (std::string& path : settings.resources) {
        if (const std::optional<std::string> absolute = Platform::Files::AbsolutePath(path))
            path = *absolute;
    }
    for (const std::string& scenario : settings.scenarios) {
        if (scenario != kExports && scenario != kRegistration && scenario != kTable && scenario != kResources &&
            scenario != kShutdown && !scenario.starts_with(kRoutinePrefix)) {
            Console::Note("validate: no scenario '" + scenario + "'; the scenarios are exports, registration, table, "
                          "routine:NAME, resources and shutdown");
            return kExitUsage;
        }
    }

    Parent parent(settings);
    std::vector<Outcome> outcomes;
    std::vector<HostApplication::ResourceMiss> misses;
    const auto record = [&](ChildReport report) {
        misses.insert(misses.end(), report.misses.begin(), report.misses.end());
        if (Wanted(settings, report.outcome.scenario))
            outcomes.push_back(std::move(report.outcome));
    };

    ChildReport exports = parent.Run(kExports);
    if (exports.notAPlugin) {
        for (const std::string& why : exports.outcome.whys)
            Console::Note(why);
        return kExitNotAPlugin;
    }
    record(std::move(exports));
    record(parent.Run(kRegistration));
    ChildReport table = parent.Run(kTable);
    const std::vector<std::string> routines = table.routines;
    record(std::move(table));
    for (const std::string& routine : routines) {
        const std::string scenario = kRoutinePrefix + routine;
        if (Wanted(settings, scenario))
            record(parent.Run(scenario));
    }
    if (Wanted(settings, kResources))
        outcomes.push_back(ResourcesOutcome(misses));
    record(parent.Run(kShutdown));

    Print(outcomes, settings.json);
    const bool failed =
        std::any_of(outcomes.begin(), outcomes.end(), [](const Outcome& outcome) { return outcome.status == kFail; });
    return CheckOutput(failed ? kExitFailure : kExitSuccess);
}

} // namespace KxHost
