// Command-line text to value records and back, for kxhost.
//
// A routine's table row gives each argument a value-record tag; kxhost turns
// the text a user typed into a record of that kind, and reads the routine's
// result record into a value it can print as text or JSON. Only the kinds a
// user can sensibly type are supported: strings, booleans, integers and
// reals. Points, arrays and the output kinds need a script to produce them.
#pragma once

#include "framework/ValueRecord.h"

#include <cstdint>
#include <string>
#include <variant>

namespace KxHost {

/// How kxhost treats a tag, as an argument type or as a result.
enum class ValueKind { None, String, Boolean, Integer, Real, Other };

/// The kind of `tag`: None for 0, Other for every tag kxhost cannot read or
/// write from text.
ValueKind KindOfTag(std::uint16_t tag);

/// The name users see for `tag`: "string", "boolean", "integer", "real",
/// "none" for 0, else "tag N".
std::string TagName(std::uint16_t tag);

/// Stores `text` into `record` as an argument of type `tag`. Returns an empty
/// string on success; otherwise what is wrong with the text, as a phrase that
/// completes "argument 1 (name) ..." (for instance `must be true or false,
/// not "maybe"`), and the record is left as it was. Throws only what
/// allocating a string throws.
std::string StoreArgument(ZEDA::PluginSupport::ValueRecord& record, std::uint16_t tag, const std::string& text);

/// A result record as kxhost prints it.
struct ResultValue {
    std::uint16_t tag = 0;
    /// Nothing for tag 0 and for the kinds kxhost cannot read.
    std::variant<std::monostate, bool, std::int64_t, double, std::string> value;
};

/// Reads `record` by its own tag. The text is copied out, so the result
/// outlives the record and the module that wrote it.
ResultValue ReadResult(const ZEDA::PluginSupport::ValueRecord& record);

/// `value` as the text line prints it after "result: ": "boolean true",
/// "integer 42", "real 2.5", "string text", "none" for no value, and
/// "tag N" for a kind kxhost cannot read.
std::string FormatResult(const ResultValue& value);

/// The shortest text that reads back as exactly `value`.
std::string FormatReal(double value);

} // namespace KxHost
