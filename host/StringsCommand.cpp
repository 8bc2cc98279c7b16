// kxhost strings: what the resource store serves for a location, one
// string or the whole strings file in strings-file syntax.
#include "host/Commands.h"

#include "host/Console.h"
#include "host/ResourceStore.h"
#include "strings/TXString.h"

#include <iostream>

namespace KxHost {

namespace {

/// `value` as a strings-file value: quoted, with the escapes the parser
/// reads back.
std::string QuotedValue(const char16_t* value)
{
    std::string quoted = "\"";
    for (const char c : TXString(value).ToStdString()) {
        switch (c) {
        case '\n': quoted += "\\n"; break;
        case '\r': quoted += "\\r"; break;
        case '\t': quoted += "\\t"; break;
        case '"': quoted += "\\\""; break;
        case '\\': quoted += "\\\\"; break;
        default: quoted += c;
        }
    }
    return quoted + "\"";
}

} // namespace

int StringsCommand(const std::vector<std::string>& resourcePaths, const std::string& location,
                   const std::optional<std::string>& key)
{
    try {
        ResourceStore store;
        for (const std::string& path : resourcePaths)
            store.Add(path);
        const StringTable* table = store.Strings(location);
        if (table == nullptr) {
            Console::Note("no strings file at " + location + (Console::IsVerbose() ? "" : " (--verbose tells why)"));
            return kExitFailure;
        }
        if (key) {
            const char16_t* value = table->Find(*key);
            if (value == nullptr) {
                Console::Note("no key \"" + *key + "\" in " + location);
                return kExitFailure;
            }
            std::cout << TXString(value).ToStdString() << '\n';
            return CheckOutput(kExitSuccess);
        }
        for (const StringTable::Entry& entry : *table)
            std::cout << '"' << entry.key << "\" = " << QuotedValue(entry.value) << ";\n";
        return CheckOutput(kExitSuccess);
    } catch (const HostError& error) {
        Console::Note(error.what());
        return error.ExitCode();
    }
}

} // namespace KxHost
