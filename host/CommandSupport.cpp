// What the commands share: a module session from the command line's
// settings, the key they read, and the check of standard output.
#include "host/Commands.h"

#include "host/Console.h"
#include "host/Values.h"
#include "platform/Files.h"

#include <charconv>
#include <iostream>
#include <optional>
#include <system_error>

namespace KxHost {

SealKey LoadKey(const std::string& keyFile, bool createIfMissing)
{
    bool created = false;
    SealKey key = SealKey::FromFile(keyFile, createIfMissing, created);
    if (created)
        Console::Note("created a new key in " + keyFile +
                      "; keep it: only this key decrypts the files encrypted with it");
    return key;
}

namespace {

/// The absolute path of the folder an option names. Throws UsageError when
/// it is not a folder.
std::string FolderOption(const char* option, const std::string& folder)
{
    if (Platform::Files::KindOf(folder) != Platform::Files::Kind::Folder)
        throw UsageError{std::string(option) + ": not a folder: " + folder};
    const std::optional<std::string> absolute = Platform::Files::AbsolutePath(folder);
    if (!absolute)
        throw UsageError{std::string(option) + ": cannot resolve " + folder + ": " + Platform::Files::LastError()};
    return *absolute;
}

HostOptions MakeHostOptions(const SessionSettings& settings)
{
    HostOptions options;
    if (!settings.plugins.empty())
        options.pluginsFolder = FolderOption("--plugins", settings.plugins);
    if (settings.cancel) {
        options.choice = HostOptions::Choice::Cancel;
    } else if (!settings.choose.empty()) {
        options.choice = HostOptions::Choice::Folder;
        options.chosenFolder = FolderOption("--choose", settings.choose);
    }
    if (!settings.keyFile.empty())
        options.key = LoadKey(settings.keyFile, true);
    options.resources = settings.resources;
    for (const std::string& setting : settings.hostValues) {
        const std::size_t equals = setting.find('=');
        const std::string selector = setting.substr(0, equals);
        if (selector != std::to_string(Calvera::Extension::kHostValueDialogData))
            throw UsageError{"--host-value: kxhost answers only host value " +
                             std::to_string(Calvera::Extension::kHostValueDialogData) + ", not \"" + selector + "\""};
        const std::string value = equals == std::string::npos ? std::string() : setting.substr(equals + 1);
        std::int16_t number = 0;
        const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
        if (value.empty() || error != std::errc() || end != value.data() + value.size())
            throw UsageError{"--host-value " + selector + " takes a 16-bit integer (-32768 to 32767), not \"" + value +
                             "\""};
        options.dialogData = number;
    }
    return options;
}

} // namespace

int RunSession(const SessionSettings& settings, const std::function<void(ModuleSession&)>& command)
{
    std::optional<ModuleSession> session;
    int code = kExitSuccess;
    try {
        session.emplace(MakeHostOptions(settings));
        session->Open(settings.modulePath);
        command(*session);
    } catch (const HostError& error) {
        Console::Note(error.what());
        code = error.ExitCode();
    } catch (const UsageError& error) {
        Console::Note(error.message);
        code = kExitUsage;
    }
    if (!session)
        return code;
    // Whatever happened, the module is taken down the same way, and what
    // did not balance is reported.
    const std::vector<std::string> problems = session->Close();
    for (const std::string& problem : problems)
        Console::Note("warning: " + problem);
    if (!problems.empty() && code == kExitSuccess)
        code = kExitFailure;
    if (const std::size_t failed = session->FileFailures(); failed > 0) {
        Console::Note(std::to_string(failed) + (failed == 1 ? " item was" : " items were") +
                      " refused or failed; each is named above");
        if (code == kExitSuccess)
            code = kExitFailure;
    }
    return code;
}

int CheckOutput(int code)
{
    std::cout.flush();
    if (std::cout)
        return code;
    Console::Note("cannot write to standard output");
    return code == kExitSuccess ? kExitFailure : code;
}

std::string ArgumentList(const RoutineInfo& routine)
{
    std::string list;
    for (std::size_t i = 0; i < routine.CallArgumentCount(); ++i) {
        const ArgumentInfo& slot = routine.slots[i];
        list += (i == 0 ? "" : ", ") + slot.name + ": " + TagName(slot.tag);
    }
    return list;
}

} // namespace KxHost
