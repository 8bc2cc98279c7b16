// Conversions between command-line text and value records.
#include "host/Values.h"

#include "host/Text.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace KxHost {

using namespace ZEDA::PluginSupport;

namespace {

constexpr const char* kTrue = "true";
constexpr const char* kFalse = "false";

/// The text without one leading '+', which from_chars does not take but
/// people type.
std::string_view WithoutPlus(const std::string& text)
{
    std::string_view view(text);
    if (view.size() > 1 && view.front() == '+' && view[1] != '-' && view[1] != '+')
        view.remove_prefix(1);
    return view;
}

std::string Quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

/// Parses a whole decimal integer within [low, high] into `out`; empty on
/// success, else the problem.
std::string ParseInteger(const std::string& text, std::int64_t low, std::int64_t high, const char* width,
                         std::int64_t& out)
{
    const std::string_view digits = WithoutPlus(text);
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error == std::errc::result_out_of_range ||
        (error == std::errc() && end == digits.data() + digits.size() && (value < low || value > high)))
        return "is out of range for a " + std::string(width) + " integer (" + std::to_string(low) + " to " +
               std::to_string(high) + "): " + text;
    if (error != std::errc() || end != digits.data() + digits.size() || digits.empty())
        return "must be an integer, not " + Quoted(text);
    out = value;
    return {};
}

std::string ParseReal(const std::string& text, double& out)
{
    const std::string_view digits = WithoutPlus(text);
    double value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error == std::errc::result_out_of_range)
        return "is out of range for a real number: " + text;
    if (error != std::errc() || end != digits.data() + digits.size() || digits.empty())
        return "must be a real number, not " + Quoted(text);
    if (!std::isfinite(value))
        return "must be a finite real number, not " + Quoted(text);
    out = value;
    return {};
}

} // namespace

ValueKind KindOfTag(std::uint16_t tag)
{
    switch (tag) {
    case kTagNone:
        return ValueKind::None;
    case kTagString:
    case kTagStringOut:
    case kTagStringB:
    case kTagStringC:
        return ValueKind::String;
    case kTagBool:
    case kTagBoolOut:
    case kTagBoolKept:
        return ValueKind::Boolean;
    case kTagInt16:
    case kTagInt16Out:
    case kTagInt16Kept:
    case kTagInt32:
    case kTagInt32Out:
    case kTagInt32Kept:
    case kTagInt64:
    case kTagInt64Out:
    case kTagInt64Kept:
    case kTagInt64B:
    case kTagInt64D:
        return ValueKind::Integer;
    case kTagReal:
    case kTagRealOut:
    case kTagRealKept:
    case kTagRealB:
    case kTagRealC:
        return ValueKind::Real;
    default:
        return ValueKind::Other;
    }
}

std::string TagName(std::uint16_t tag)
{
    switch (KindOfTag(tag)) {
    case ValueKind::None:
        return "none";
    case ValueKind::String:
        return "string";
    case ValueKind::Boolean:
        return "boolean";
    case ValueKind::Integer:
        return "integer";
    case ValueKind::Real:
        return "real";
    case ValueKind::Other:
        break;
    }
    return "tag " + std::to_string(tag);
}

std::string StoreArgument(ValueRecord& record, std::uint16_t tag, const std::string& text)
{
    KXPluginLibraryArgument argument(&record);
    const ValueKind kind = KindOfTag(tag);
    if (kind == ValueKind::String && !IsUtf8(text))
        return "must be valid UTF-8";
    switch (tag) {
    case kTagString:
        argument.SetString(TXString(text));
        return {};
    case kTagStringB:
        argument.SetStringB(TXString(text));
        return {};
    case kTagStringC:
        argument.SetStringC(TXString(text));
        return {};
    case kTagBool:
        if (text != kTrue && text != kFalse)
            return "must be true or false, not " + Quoted(text);
        argument.SetBool(text == kTrue);
        return {};
    case kTagInt16: {
        std::int64_t value = 0;
        std::string problem = ParseInteger(text, std::numeric_limits<std::int16_t>::min(),
                                           std::numeric_limits<std::int16_t>::max(), "16-bit", value);
        if (problem.empty())
            argument.SetInt16(static_cast<std::int16_t>(value));
        return problem;
    }
    case kTagInt32: {
        std::int64_t value = 0;
        std::string problem = ParseInteger(text, std::numeric_limits<std::int32_t>::min(),
                                           std::numeric_limits<std::int32_t>::max(), "32-bit", value);
        if (problem.empty())
            argument.SetInt32(static_cast<std::int32_t>(value));
        return problem;
    }
    case kTagInt64:
    case kTagInt64B:
    case kTagInt64D: {
        std::int64_t value = 0;
        std::string problem = ParseInteger(text, std::numeric_limits<std::int64_t>::min(),
                                           std::numeric_limits<std::int64_t>::max(), "64-bit", value);
        if (problem.empty()) {
            if (tag == kTagInt64)
                argument.SetInt64(value);
            else if (tag == kTagInt64B)
                argument.SetInt64B(value);
            else
                argument.SetInt64D(value);
        }
        return problem;
    }
    case kTagReal:
    case kTagRealB:
    case kTagRealC: {
        double value = 0;
        std::string problem = ParseReal(text, value);
        if (problem.empty()) {
            if (tag == kTagReal)
                argument.SetReal(value);
            else if (tag == kTagRealB)
                argument.SetRealB(value);
            else
                argument.SetRealC(value);
        }
        return problem;
    }
    default:
        return "has value type " + std::to_string(tag) + ", which kxhost cannot pass from the command line";
    }
}

ResultValue ReadResult(const ValueRecord& record)
{
    // The accessors take a mutable record; the getters used here never write.
    KXPluginLibraryArgument argument(const_cast<ValueRecord*>(&record));
    ResultValue result;
    result.tag = record.tag;
    switch (record.tag) {
    case kTagString:
    case kTagStringOut:
    case kTagStringB:
    case kTagStringC:
        result.value = argument.GetString().ToStdString();
        break;
    case kTagBool:
    case kTagBoolOut:
    case kTagBoolKept:
        result.value = argument.GetBool();
        break;
    case kTagInt16:
    case kTagInt16Out:
    case kTagInt16Kept:
        result.value = std::int64_t{argument.GetInt16()};
        break;
    case kTagInt32:
    case kTagInt32Out:
    case kTagInt32Kept:
        result.value = std::int64_t{argument.GetInt32()};
        break;
    case kTagInt64:
    case kTagInt64Out:
    case kTagInt64Kept:
        result.value = argument.GetInt64();
        break;
    case kTagInt64B:
        result.value = argument.GetInt64B();
        break;
    case kTagInt64D:
        result.value = argument.GetInt64D();
        break;
    case kTagReal:
    case kTagRealOut:
    case kTagRealKept:
        result.value = argument.GetReal();
        break;
    case kTagRealB:
        result.value = argument.GetRealB();
        break;
    case kTagRealC:
        result.value = argument.GetRealC();
        break;
    default:
        break;
    }
    return result;
}

std::string FormatReal(double value)
{
    char buffer[64];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return error == std::errc() ? std::string(buffer, end) : std::to_string(value);
}

std::string FormatResult(const ResultValue& result)
{
    const std::string kind = TagName(result.tag);
    if (const auto* flag = std::get_if<bool>(&result.value))
        return kind + " " + (*flag ? kTrue : kFalse);
    if (const auto* integer = std::get_if<std::int64_t>(&result.value))
        return kind + " " + std::to_string(*integer);
    if (const auto* real = std::get_if<double>(&result.value))
        return kind + " " + FormatReal(*real);
    if (const auto* text = std::get_if<std::string>(&result.value))
        return kind + " " + *text;
    return kind; // "none", or "tag N" for a kind that cannot be read
}

} // namespace KxHost
