// Builds, formats, parses and compares the text reference table (see
// TextReferenceTable.h). Only Text.h is used to compute results, so the same
// code yields the Windows table under Wine and the Linux table natively.
#include "tests/platform/TextReferenceTable.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>

namespace TextReference {
namespace {

using Platform::WideChar;

constexpr char kBytesGroupPrefix[] = "bytes ";
constexpr char kGroupOpen[] = "[[";
constexpr char kGroupClose[] = "]]";
constexpr char kEmptyTextLine[] = "\\e";
constexpr char kAsciiSuffix[] = ".ascii";
constexpr char kAsciiGroupPrefix[] = "ascii-";
constexpr char kSymbolGroup[] = "symbol-units";
constexpr char kSymbolSuffix[] = ".symbols";
constexpr char kFailValue[] = "fail";
constexpr std::size_t kMaxDifferencesKept = 12;
constexpr unsigned kUnitCount = 0x10000;
/// CompareStringW flags of the free comparison functions: NORM_IGNOREWIDTH
/// and SORT_STRINGSORT, plus NORM_IGNORECASE for the case-blind variant.
constexpr unsigned kLocaleFlags = 0x21000;
constexpr unsigned kLocaleNoCaseFlags = 0x21001;
constexpr unsigned kMbErrInvalidChars = 0x8;
constexpr char kDefaultChar[] = "?";

std::string Hex(unsigned value, int digits)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%0*X", digits, value);
    return buffer;
}

std::string HexBytes(const char* bytes, int count)
{
    std::string out;
    for (int i = 0; i < count; ++i)
        out += Hex(static_cast<unsigned char>(bytes[i]), 2);
    return out.empty() ? std::string("-") : out;
}

bool IsAscii(const Text& text)
{
    for (WideChar u : text)
        if (u >= 0x80)
            return false;
    return true;
}

char SignOf(int value)
{
    return value < 0 ? '<' : (value > 0 ? '>' : '=');
}

/// CompareString results: 1 less, 2 equal, 3 greater, 0 error.
char SignOfCompareString(int value)
{
    return value == 0 ? 'E' : SignOf(value - 2);
}

int Length(const Text& text)
{
    return static_cast<int>(text.size());
}

struct Comparison {
    const char* name;
    std::function<char(const Text&, const Text&)> sign;
};

const std::vector<Comparison>& Comparisons()
{
    static const std::vector<Comparison> comparisons = {
        {"nocase", [](const Text& a, const Text& b) { return SignOf(Platform::CompareNoCase(a.c_str(), b.c_str())); }},
        {"logical",
         [](const Text& a, const Text& b) { return SignOf(Platform::CompareLogical(a.c_str(), b.c_str())); }},
        {"natural",
         [](const Text& a, const Text& b) {
             return SignOfCompareString(Platform::CompareNatural(a.data(), Length(a), b.data(), Length(b)));
         }},
        {"locale",
         [](const Text& a, const Text& b) {
             return SignOfCompareString(
                 Platform::CompareLocale(kLocaleFlags, a.data(), Length(a), b.data(), Length(b)));
         }},
        {"localenocase",
         [](const Text& a, const Text& b) {
             return SignOfCompareString(
                 Platform::CompareLocale(kLocaleNoCaseFlags, a.data(), Length(a), b.data(), Length(b)));
         }},
    };
    return comparisons;
}

bool IsComparisonCategory(const std::string& category)
{
    const std::string base = category.substr(0, category.find('.'));
    for (const Comparison& c : Comparisons())
        if (base == c.name)
            return true;
    return false;
}

/// The title-case rule of the string library, built from the primitives: a
/// blank or punctuation unit arms the next letter for upper case; every other
/// unit is lowered.
Text TitleCase(Text text)
{
    bool armed = true;
    for (WideChar& u : text) {
        if (Platform::IsWhitespace(u) || Platform::IsPunctuation(u)) {
            armed = true;
        } else if (armed) {
            u = Platform::UpperUnit(u);
            armed = false;
        } else {
            u = Platform::LowerUnit(u);
        }
    }
    return text;
}

class Builder {
public:
    explicit Builder(const std::vector<Group>& groups) : groups_(groups) {}

    std::vector<Line> Build()
    {
        for (const Group& g : groups_) {
            if (!g.texts.empty()) {
                Comparisons(g);
                Casing(g);
                Normalization(g);
                Clusters(g);
                EncodeTexts(g);
            }
            DecodeBytes(g);
        }
        Comparisons(UnitGroup("ascii-units", 0x00, 0x7F));
        Comparisons(UnitGroup("latin1-units", 0x80, 0xFF));
        Comparisons(SymbolGroup());
        UnitMaps();
        CodePageBytes("cp2", Platform::kCodePageMac);
        CodePageBytes("cpansi", Platform::kCodePageAnsi);
        SymbolCodePage();
        AnsiUpper();
        ApiResults();
        return std::move(lines_);
    }

private:
    void Add(const std::string& category, const std::string& key, const std::string& value)
    {
        lines_.push_back({category, key, value});
    }

    static std::string Category(const std::string& base, bool ascii) { return ascii ? base + kAsciiSuffix : base; }

    static Group UnitGroup(const char* name, unsigned first, unsigned last)
    {
        Group g;
        g.name = name;
        for (unsigned u = first; u <= last; ++u)
            g.texts.push_back(Text(1, static_cast<WideChar>(u)));
        return g;
    }

    /// Only the groups named as ASCII groups form the exact ASCII categories.
    /// Every ASCII unit but letters and digits, the Latin-1 symbols and
    /// controls, common punctuation and the currency signs, with the empty
    /// text, the digit 0 and the letter a as landmarks: the order of the units
    /// word sort and string sort treat apart.
    static Group SymbolGroup()
    {
        Group g;
        g.name = kSymbolGroup;
        g.texts.push_back(Text()); // what equals it is ignorable
        const auto add = [&](unsigned first, unsigned last) {
            for (unsigned u = first; u <= last; ++u)
                if (u >= 0x80 || !std::isalnum(static_cast<int>(u)) || u == '0' || u == 'a')
                    g.texts.push_back(Text(1, static_cast<WideChar>(u)));
        };
        add(0x01, 0x7F);
        add(0x80, 0xBF);
        add(0xD7, 0xD7);
        add(0xF7, 0xF7);
        add(0x2010, 0x2027);
        add(0x2030, 0x2044);
        add(0x20A0, 0x20C0);
        return g;
    }

    static bool AllAscii(const Group& g)
    {
        if (g.name.rfind(kAsciiGroupPrefix, 0) != 0)
            return false;
        for (const Text& t : g.texts)
            if (!IsAscii(t))
                return false;
        return true;
    }

    std::string Key(const Group& g, const Text& t) const { return g.name + "\t" + Escape(t); }

    void Comparisons(const Group& g)
    {
        const bool ascii = AllAscii(g);
        for (const Comparison& c : TextReference::Comparisons()) {
            // The symbol group is a square of every unit against every other:
            // keep its agreement apart from that of the corpus, and record
            // only one word sort and one string sort of it.
            if (g.name == kSymbolGroup && std::strcmp(c.name, "nocase") != 0 && std::strcmp(c.name, "locale") != 0)
                continue;
            const std::string category =
                g.name == kSymbolGroup ? std::string(c.name) + kSymbolSuffix : Category(c.name, ascii);
            for (const Text& a : g.texts) {
                std::string row;
                for (const Text& b : g.texts)
                    row += c.sign(a, b);
                Add(category, Key(g, a), row);
            }
        }
    }

    void Casing(const Group& g)
    {
        for (const Text& t : g.texts) {
            const bool ascii = IsAscii(t);
            Text upper = t;
            Platform::UpperBuffer(upper.data(), upper.size());
            Text lower = t;
            Platform::LowerBuffer(lower.data(), lower.size());
            Add(Category("upper", ascii), Key(g, t), Escape(upper));
            Add(Category("lower", ascii), Key(g, t), Escape(lower));
            Add(Category("title", ascii), Key(g, t), Escape(TitleCase(t)));
        }
    }

    void Normalization(const Group& g)
    {
        for (const Text& t : g.texts) {
            const bool ascii = IsAscii(t);
            const struct {
                const char* name;
                const char* check;
                Platform::NormalForm form;
            } forms[] = {{"nfc", "isnfc", Platform::NormalForm::C}, {"nfd", "isnfd", Platform::NormalForm::D}};
            for (const auto& f : forms) {
                bool failed = false;
                const Text result = NormalizeLikeTheLibrary(f.form, t, failed);
                Add(Category(f.name, ascii), Key(g, t), failed ? std::string(kFailValue) : Escape(result));
                const bool normalized = !t.empty() && Platform::IsNormalized(f.form, t.data(), Length(t));
                Add(Category(f.check, ascii), Key(g, t), normalized ? "1" : "0");
            }
        }
    }

    void Clusters(const Group& g)
    {
        for (const Text& t : g.texts) {
            std::string value;
            for (std::size_t limit = 0; limit <= t.size(); ++limit) {
                if (limit)
                    value += ',';
                value += std::to_string(Platform::ClusterBoundaryAtOrBefore(t.data(), t.size(), limit));
            }
            Add("cluster", Key(g, t), value);
        }
    }

    std::string Encode(unsigned codePage, unsigned flags, const Text& t, const char* defaultChar)
    {
        if (t.empty())
            return "-";
        const int needed = Platform::WideToMultiByte(codePage, flags, t.data(), Length(t), nullptr, 0, defaultChar);
        if (needed <= 0)
            return kFailValue;
        std::string out(static_cast<std::size_t>(needed), '\0');
        const int written =
            Platform::WideToMultiByte(codePage, flags, t.data(), Length(t), out.data(), needed, defaultChar);
        if (written != needed)
            return kFailValue;
        return HexBytes(out.data(), written);
    }

    void EncodeTexts(const Group& g)
    {
        for (const Text& t : g.texts) {
            Add("cp2.encode", Key(g, t), Encode(Platform::kCodePageMac, 0, t, kDefaultChar));
            Add("cpansi.encode", Key(g, t), Encode(Platform::kCodePageAnsi, 0, t, kDefaultChar));
            Add("cputf8.encode", Key(g, t), Encode(Platform::kCodePageUtf8, 0, t, nullptr));
            Add("cp2.check", Key(g, t), Encode(Platform::kCodePageMac, Platform::kCompositeCheck, t, nullptr));
            Add("cpansi.check", Key(g, t), Encode(Platform::kCodePageAnsi, Platform::kCompositeCheck, t, nullptr));
            Add("cputf8.check", Key(g, t), Encode(Platform::kCodePageUtf8, Platform::kCompositeCheck, t, nullptr));
        }
    }

    std::string Decode(unsigned codePage, unsigned flags, const std::string& bytes)
    {
        const int count = static_cast<int>(bytes.size());
        const int needed = Platform::MultiByteToWide(codePage, flags, bytes.data(), count, nullptr, 0);
        if (needed <= 0)
            return kFailValue;
        Text out(static_cast<std::size_t>(needed), WideChar{0});
        const int written = Platform::MultiByteToWide(codePage, flags, bytes.data(), count, out.data(), needed);
        if (written != needed)
            return kFailValue;
        return Escape(out);
    }

    void DecodeBytes(const Group& g)
    {
        for (const std::string& bytes : g.byteSequences) {
            const std::string key = g.name + "\t" + HexBytes(bytes.data(), static_cast<int>(bytes.size()));
            Add("cputf8.decode", key, Decode(Platform::kCodePageUtf8, 0, bytes));
            Add("cputf8.strict", key, Decode(Platform::kCodePageUtf8, kMbErrInvalidChars, bytes));
            Add("cp2.decodetext", key, Decode(Platform::kCodePageMac, Platform::kPrecomposed, bytes));
            Add("cpansi.decodetext", key, Decode(Platform::kCodePageAnsi, Platform::kPrecomposed, bytes));
        }
    }

    /// Emits `value(u)` for every unit in [first, last] as ranges of equal value.
    void Ranges(const std::string& category, unsigned first, unsigned last,
                const std::function<std::string(unsigned)>& value)
    {
        unsigned start = first;
        std::string current = value(first);
        for (unsigned u = first + 1; u <= last + 1; ++u) {
            const std::string next = u <= last ? value(u) : std::string();
            if (u > last || next != current) {
                Add(category, Hex(start, 4) + "-" + Hex(u - 1, 4), current);
                start = u;
                current = next;
            }
        }
    }

    /// A mapping as the signed distance from the unit, so runs compress.
    static std::string Delta(unsigned unit, unsigned mapped)
    {
        const int d = static_cast<int>(mapped) - static_cast<int>(unit);
        return d == 0 ? std::string("0") : (d < 0 ? "-" + Hex(static_cast<unsigned>(-d), 4) : "+" + Hex(d, 4));
    }

    void UnitMaps()
    {
        // The buffer forms map a whole block at once, as the string library
        // does; the unit forms are the ones its title casing uses.
        std::vector<WideChar> upper(kUnitCount), lower(kUnitCount);
        for (unsigned u = 0; u < kUnitCount; ++u)
            upper[u] = lower[u] = static_cast<WideChar>(u);
        Platform::UpperBuffer(upper.data(), upper.size());
        Platform::LowerBuffer(lower.data(), lower.size());
        const struct {
            const char* name;
            std::function<std::string(unsigned)> value;
        } maps[] = {
            {"bufupper", [&](unsigned u) { return Delta(u, upper[u]); }},
            {"buflower", [&](unsigned u) { return Delta(u, lower[u]); }},
            {"unitupper", [](unsigned u) { return Delta(u, Platform::UpperUnit(static_cast<WideChar>(u))); }},
            {"unitlower", [](unsigned u) { return Delta(u, Platform::LowerUnit(static_cast<WideChar>(u))); }},
            {"punct",
             [](unsigned u) { return std::string(Platform::IsPunctuation(static_cast<WideChar>(u)) ? "1" : "0"); }},
            {"space",
             [](unsigned u) { return std::string(Platform::IsWhitespace(static_cast<WideChar>(u)) ? "1" : "0"); }},
            // Whether a cluster boundary falls before and after the unit
            // between two letters: the per-unit half of the segmentation
            // rules, where the Linux tables take theirs from.
            {"clusterunit",
             [](unsigned u) {
                 const WideChar text[] = {'a', static_cast<WideChar>(u), 'b'};
                 return std::to_string(Platform::ClusterBoundaryAtOrBefore(text, 3, 1)) +
                        std::to_string(Platform::ClusterBoundaryAtOrBefore(text, 3, 2));
             }},
            {"cp2.unit", [this](unsigned u) { return Encode(Platform::kCodePageMac, 0, Text(1, static_cast<WideChar>(u)), kDefaultChar); }},
            {"cpansi.unit", [this](unsigned u) { return Encode(Platform::kCodePageAnsi, 0, Text(1, static_cast<WideChar>(u)), kDefaultChar); }},
        };
        for (const auto& m : maps) {
            const bool split = std::string(m.name).rfind("cp", 0) != 0;
            if (split) {
                Ranges(Category(m.name, true), 0, 0x7F, m.value);
                Ranges(m.name, 0x80, kUnitCount - 1, m.value);
            } else {
                Ranges(m.name, 0, kUnitCount - 1, m.value);
            }
        }
    }

    void CodePageBytes(const std::string& name, unsigned codePage)
    {
        for (unsigned b = 0; b < 256; ++b) {
            const char byte = static_cast<char>(b);
            WideChar unit = 0;
            const int n = Platform::MultiByteToWide(codePage, Platform::kPrecomposed, &byte, 1, &unit, 1);
            Add(name + ".decode", Hex(b, 2), n == 1 ? Hex(unit, 4) : std::string(kFailValue));
            Add(name + ".roundtrip", Hex(b, 2), n == 1 ? Encode(codePage, 0, Text(1, unit), kDefaultChar) : kFailValue);
        }
    }

    void SymbolCodePage()
    {
        for (unsigned b = 0; b < 256; ++b) {
            const char byte = static_cast<char>(b);
            WideChar unit = 0;
            const int n = Platform::MultiByteToWide(Platform::kCodePageSymbol, 0, &byte, 1, &unit, 1);
            Add("cpsymbol.decode", Hex(b, 2), n == 1 ? Hex(unit, 4) : std::string(kFailValue));
        }
        for (unsigned u : {0x0u, 0x1Fu, 0x20u, 0x41u, 0x7Fu, 0xE9u, 0xF000u, 0xF01Fu, 0xF020u, 0xF041u, 0xF0FFu,
                           0xF100u, 0x20ACu}) {
            Add("cpsymbol.encode", Hex(u, 4), Encode(Platform::kCodePageSymbol, 0, Text(1, static_cast<WideChar>(u)), nullptr));
        }
    }

    void AnsiUpper()
    {
        for (const bool user : {true, false}) {
            std::string bytes(256, '\0');
            for (unsigned b = 0; b < 256; ++b)
                bytes[b] = static_cast<char>(b);
            // Byte 0 would end nothing here (the count is explicit), but keep
            // the mapping per byte so a multi-byte code page cannot pair them.
            for (unsigned b = 0; b < 256; ++b)
                Platform::UpperBytes(&bytes[b], 1, user);
            const std::string name = user ? "ansiupper" : "ansiupper.system";
            auto value = [&](unsigned b) { return Hex(static_cast<unsigned char>(bytes[b]), 2); };
            Ranges(user ? "ansiupper.ascii" : "ansiupper.system.ascii", 0, 0x7F, value);
            Ranges(name, 0x80, 0xFF, value);
        }
    }

    void ApiResults()
    {
        WideChar units[8] = {};
        char bytes[8] = {};
        const char* abc = "abc";
        const WideChar abcW[] = {'a', 'b', 'c', 0};
        const WideChar decomposed[] = {'e', 0x301, 0};
        const WideChar loneHigh[] = {'a', 0xD83D, 0};
        using Platform::kCodePageAnsi;
        using Platform::kCodePageMac;
        using Platform::kCodePageSymbol;
        using Platform::kCodePageUtf8;
        using Platform::kPrecomposed;
        const unsigned kComposite = Platform::kCompositeCheck;
        const struct {
            const char* name;
            std::function<int()> call;
        } calls[] = {
            {"mb.ansi.size", [&] { return Platform::MultiByteToWide(kCodePageAnsi, kPrecomposed, abc, 3, nullptr, 0); }},
            {"mb.ansi.size-nul", [&] { return Platform::MultiByteToWide(kCodePageAnsi, kPrecomposed, abc, -1, nullptr, 0); }},
            {"mb.ansi.fits", [&] { return Platform::MultiByteToWide(kCodePageAnsi, kPrecomposed, abc, 3, units, 3); }},
            {"mb.ansi.nul-fits", [&] { return Platform::MultiByteToWide(kCodePageAnsi, kPrecomposed, abc, -1, units, 4); }},
            {"mb.ansi.too-small", [&] { return Platform::MultiByteToWide(kCodePageAnsi, kPrecomposed, abc, 3, units, 2); }},
            {"mb.ansi.nul-too-small", [&] { return Platform::MultiByteToWide(kCodePageAnsi, kPrecomposed, abc, -1, units, 3); }},
            {"mb.ansi.empty", [&] { return Platform::MultiByteToWide(kCodePageAnsi, kPrecomposed, abc, 0, units, 8); }},
            {"mb.ansi.embedded-nul", [&] { return Platform::MultiByteToWide(kCodePageAnsi, kPrecomposed, "a\0b", 3, units, 8); }},
            {"mb.ansi.no-flags", [&] { return Platform::MultiByteToWide(kCodePageAnsi, 0, abc, 3, units, 8); }},
            {"mb.mac.size", [&] { return Platform::MultiByteToWide(kCodePageMac, kPrecomposed, abc, 3, nullptr, 0); }},
            {"mb.mac.too-small", [&] { return Platform::MultiByteToWide(kCodePageMac, kPrecomposed, abc, 3, units, 1); }},
            {"mb.utf8.no-flags", [&] { return Platform::MultiByteToWide(kCodePageUtf8, 0, "\xC3\xA9", 2, units, 8); }},
            {"mb.utf8.precomposed", [&] { return Platform::MultiByteToWide(kCodePageUtf8, kPrecomposed, abc, 3, units, 8); }},
            {"mb.utf8.size-nul", [&] { return Platform::MultiByteToWide(kCodePageUtf8, 0, "\xC3\xA9", -1, nullptr, 0); }},
            {"mb.utf8.too-small", [&] { return Platform::MultiByteToWide(kCodePageUtf8, 0, "\xF0\x9F\x98\x80", 4, units, 1); }},
            {"mb.symbol.no-flags", [&] { return Platform::MultiByteToWide(kCodePageSymbol, 0, abc, 3, units, 8); }},
            {"mb.symbol.precomposed", [&] { return Platform::MultiByteToWide(kCodePageSymbol, kPrecomposed, abc, 3, units, 8); }},
            {"mb.unknown-codepage", [&] { return Platform::MultiByteToWide(12345, kPrecomposed, abc, 3, units, 8); }},
            {"wc.ansi.size", [&] { return Platform::WideToMultiByte(kCodePageAnsi, 0, abcW, 3, nullptr, 0, kDefaultChar); }},
            {"wc.ansi.size-nul", [&] { return Platform::WideToMultiByte(kCodePageAnsi, 0, abcW, -1, nullptr, 0, kDefaultChar); }},
            {"wc.ansi.too-small", [&] { return Platform::WideToMultiByte(kCodePageAnsi, 0, abcW, 3, bytes, 2, kDefaultChar); }},
            {"wc.ansi.empty", [&] { return Platform::WideToMultiByte(kCodePageAnsi, 0, abcW, 0, bytes, 8, kDefaultChar); }},
            {"wc.ansi.composite", [&] { return Platform::WideToMultiByte(kCodePageAnsi, kComposite, decomposed, 2, bytes, 8, nullptr); }},
            {"wc.ansi.composite-byte0", [&] {
                 Platform::WideToMultiByte(kCodePageAnsi, kComposite, decomposed, 2, bytes, 8, nullptr);
                 return static_cast<int>(static_cast<unsigned char>(bytes[0]));
             }},
            {"wc.mac.composite", [&] { return Platform::WideToMultiByte(kCodePageMac, kComposite, decomposed, 2, bytes, 8, nullptr); }},
            {"wc.utf8.no-flags", [&] { return Platform::WideToMultiByte(kCodePageUtf8, 0, decomposed, 2, bytes, 8, nullptr); }},
            {"wc.utf8.composite", [&] { return Platform::WideToMultiByte(kCodePageUtf8, kComposite, decomposed, 2, bytes, 8, nullptr); }},
            {"wc.utf8.default-char", [&] { return Platform::WideToMultiByte(kCodePageUtf8, 0, abcW, 3, bytes, 8, kDefaultChar); }},
            {"wc.utf8.too-small", [&] { return Platform::WideToMultiByte(kCodePageUtf8, 0, decomposed, 2, bytes, 2, nullptr); }},
            {"wc.utf8.lone-surrogate", [&] { return Platform::WideToMultiByte(kCodePageUtf8, 0, loneHigh, 2, bytes, 8, nullptr); }},
            {"wc.symbol.composite", [&] { return Platform::WideToMultiByte(kCodePageSymbol, kComposite, abcW, 3, bytes, 8, nullptr); }},
            {"wc.unknown-codepage", [&] { return Platform::WideToMultiByte(12345, 0, abcW, 3, bytes, 8, kDefaultChar); }},
            {"norm.size-positive", [&] { return Platform::Normalize(Platform::NormalForm::D, decomposed, 2, nullptr, 0) > 0 ? 1 : 0; }},
            {"norm.too-small", [&] {
                 const WideChar precomposed[] = {0xE9, 0xE9, 0};
                 return Platform::Normalize(Platform::NormalForm::D, precomposed, 2, units, 2) > 0 ? 1 : 0;
             }},
            {"norm.nul-terminated", [&] { return Platform::Normalize(Platform::NormalForm::C, decomposed, -1, units, 8); }},
            {"norm.lone-surrogate", [&] { return Platform::Normalize(Platform::NormalForm::C, loneHigh, 2, units, 8) > 0 ? 1 : 0; }},
            {"isnorm.lone-surrogate", [&] { return Platform::IsNormalized(Platform::NormalForm::C, loneHigh, 2) ? 1 : 0; }},
            {"isnorm.nul-terminated", [&] { return Platform::IsNormalized(Platform::NormalForm::C, decomposed, -1) ? 1 : 0; }},
            {"ansi-codepage", [] { return static_cast<int>(Platform::SystemAnsiCodePage()); }},
        };
        for (const auto& c : calls)
            Add("api", c.name, std::to_string(c.call()));
    }

    const std::vector<Group>& groups_;
    std::vector<Line> lines_;
};

bool ParseEscaped(const std::string& line, Text& text)
{
    text.clear();
    if (line == kEmptyTextLine)
        return true;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c != '\\') {
            if (static_cast<unsigned char>(c) >= 0x80)
                return false; // the corpus is ASCII; anything else is escaped
            text += static_cast<WideChar>(c);
            continue;
        }
        if (i + 1 < line.size() && line[i + 1] == '\\') {
            text += WideChar{'\\'};
            ++i;
        } else if (i + 5 < line.size() && line[i + 1] == 'u') {
            for (std::size_t k = i + 2; k < i + 6; ++k)
                if (!std::isxdigit(static_cast<unsigned char>(line[k])))
                    return false;
            const unsigned value = static_cast<unsigned>(std::stoul(line.substr(i + 2, 4), nullptr, 16));
            text += static_cast<WideChar>(value);
            i += 5;
        } else {
            return false;
        }
    }
    return true;
}

bool ParseHex(const std::string& line, std::string& bytes)
{
    bytes.clear();
    if (line.size() % 2 != 0)
        return false;
    for (std::size_t i = 0; i < line.size(); i += 2) {
        unsigned value = 0;
        if (std::sscanf(line.c_str() + i, "%2x", &value) != 1)
            return false;
        bytes += static_cast<char>(value);
    }
    return true;
}

/// "XXXX-YYYY" (hex), the key form of unit ranges.
bool ParseRange(const std::string& key, unsigned& first, unsigned& last)
{
    const std::size_t dash = key.find('-');
    if (dash == std::string::npos || dash == 0 || dash + 1 >= key.size())
        return false;
    for (std::size_t i = 0; i < key.size(); ++i)
        if (i != dash && !std::isxdigit(static_cast<unsigned char>(key[i])))
            return false;
    first = static_cast<unsigned>(std::stoul(key.substr(0, dash), nullptr, 16));
    last = static_cast<unsigned>(std::stoul(key.substr(dash + 1), nullptr, 16));
    return first <= last;
}

using Items = std::map<std::string, std::map<std::string, std::string>>;

/// Expands a table into single items per category.
Items Expand(const std::vector<Line>& lines)
{
    Items items;
    for (const Line& line : lines) {
        auto& category = items[line.category];
        unsigned first = 0, last = 0;
        if (IsComparisonCategory(line.category)) {
            for (std::size_t i = 0; i < line.value.size(); ++i)
                category[line.key + "\t#" + std::to_string(i)] = std::string(1, line.value[i]);
        } else if (ParseRange(line.key, first, last)) {
            for (unsigned u = first; u <= last; ++u)
                category[Hex(u, 4)] = line.value;
        } else {
            category[line.key] = line.value;
        }
    }
    return items;
}

} // namespace

Text NormalizeLikeTheLibrary(Platform::NormalForm form, const Text& text, bool& failed)
{
    failed = false;
    if (text.empty() || Platform::IsNormalized(form, text.data(), Length(text)))
        return text;
    const int estimate = Platform::Normalize(form, text.data(), Length(text), nullptr, 0);
    if (estimate <= 0) {
        failed = true;
        return text;
    }
    Text out(static_cast<std::size_t>(estimate), WideChar{0});
    const int written = Platform::Normalize(form, text.data(), Length(text), out.data(), estimate);
    if (written <= 0) {
        failed = true;
        return text;
    }
    out.resize(static_cast<std::size_t>(written));
    return out;
}

std::string Escape(const Text& text)
{
    std::string out;
    for (WideChar u : text) {
        if (u == '\\')
            out += "\\\\";
        else if (u >= 0x20 && u < 0x7F)
            out += static_cast<char>(u);
        else
            out += "\\u" + Hex(u, 4);
    }
    return out.empty() ? std::string(kEmptyTextLine) : out;
}

bool LoadCorpus(const std::string& path, std::vector<Group>& groups, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    groups.clear();
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        if (line.size() > 4 && line.rfind(kGroupOpen, 0) == 0 &&
            line.compare(line.size() - 2, 2, kGroupClose) == 0) {
            groups.push_back(Group{line.substr(2, line.size() - 4), {}, {}});
            continue;
        }
        if (groups.empty()) {
            error = "line " + std::to_string(number) + ": text before the first group";
            return false;
        }
        Group& g = groups.back();
        const bool isBytes = g.name.rfind(kBytesGroupPrefix, 0) == 0;
        bool ok = false;
        if (isBytes) {
            std::string bytes;
            ok = ParseHex(line, bytes);
            g.byteSequences.push_back(bytes);
        } else {
            Text text;
            ok = ParseEscaped(line, text);
            g.texts.push_back(text);
        }
        if (!ok) {
            error = "line " + std::to_string(number) + ": malformed: " + line;
            return false;
        }
    }
    return true;
}

std::vector<Line> BuildTable(const std::vector<Group>& groups)
{
    return Builder(groups).Build();
}

std::string FormatTable(const std::vector<Line>& lines, const std::string& header)
{
    std::ostringstream out;
    std::istringstream headerLines(header);
    std::string h;
    while (std::getline(headerLines, h))
        out << "# " << h << '\n';
    for (const Line& line : lines)
        out << line.category << '\t' << line.key << '\t' << line.value << '\n';
    return out.str();
}

bool ParseTable(const std::string& content, std::vector<Line>& lines)
{
    lines.clear();
    std::istringstream in(content);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        const std::size_t first = line.find('\t');
        const std::size_t last = line.rfind('\t');
        if (first == std::string::npos || first == last)
            return false;
        lines.push_back({line.substr(0, first), line.substr(first + 1, last - first - 1), line.substr(last + 1)});
    }
    return true;
}

const std::vector<WineDeviation>& KnownWineDeviations()
{
    static const std::vector<WineDeviation> deviations = {
        {"api", "mb.utf8.too-small",
         "a 4-byte sequence into a 1-unit buffer: Wine writes the high surrogate and returns 1, Windows fails "
         "with ERROR_INSUFFICIENT_BUFFER (0)"},
    };
    return deviations;
}

namespace {

constexpr char kWrappedNumbersReason[] =
    "Wine's StrCmpLogicalW reads digit runs into a 32-bit int that wraps; Windows compares them by value";

/// StrCmpLogicalW's sign as a digit-run reader decides it, for texts that
/// differ only in their digit runs ('?' when something else decides): by
/// value, or read into a wrapping 32-bit int as Wine does.
char LogicalSignByNumbers(const Text& a, const Text& b, bool wrap)
{
    const auto digit = [](WideChar u) { return u >= '0' && u <= '9'; };
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (!digit(a[i]) || !digit(b[j])) {
            if (a[i] != b[j])
                return '?';
            ++i;
            ++j;
            continue;
        }
        const std::size_t startA = i, startB = j;
        while (i < a.size() && digit(a[i]))
            ++i;
        while (j < b.size() && digit(b[j]))
            ++j;
        int r = 0;
        if (wrap) {
            std::uint32_t x = 0, y = 0;
            for (std::size_t k = startA; k < i; ++k)
                x = x * 10 + (a[k] - '0');
            for (std::size_t k = startB; k < j; ++k)
                y = y * 10 + (b[k] - '0');
            const auto sx = static_cast<std::int32_t>(x), sy = static_cast<std::int32_t>(y);
            r = sx < sy ? -1 : (sx > sy ? 1 : 0);
        } else {
            Text x = a.substr(startA, i - startA), y = b.substr(startB, j - startB);
            x.erase(0, std::min(x.find_first_not_of(WideChar{'0'}), x.size()));
            y.erase(0, std::min(y.find_first_not_of(WideChar{'0'}), y.size()));
            r = x.size() != y.size() ? (x.size() < y.size() ? -1 : 1) : x.compare(y);
        }
        if (r != 0)
            return SignOf(r);
    }
    return SignOf(static_cast<int>(a.size() - i) - static_cast<int>(b.size() - j));
}

/// The reason when an item of a comparison category shows a known Wine
/// peculiarity that this platform does not copy; null otherwise.
const char* WineComparisonDeviation(const std::string& category, const Text& a, const Text& b,
                                    const std::string& wine, const std::string& mine)
{
    if (category != "logical" || wine.size() != 1 || mine.size() != 1)
        return nullptr;
    const char wrapped = LogicalSignByNumbers(a, b, true);
    const char byValue = LogicalSignByNumbers(a, b, false);
    return wrapped != byValue && wine[0] == wrapped && mine[0] == byValue ? kWrappedNumbersReason : nullptr;
}

} // namespace

std::map<std::string, Agreement> Compare(const std::vector<Line>& expected, const std::vector<Line>& actual)
{
    const Items want = Expand(expected);
    const Items got = Expand(actual);
    // The texts of each comparison row's partners, in row order, so that an
    // item "group<TAB>text<TAB>#n" can name both of its texts.
    std::map<std::string, std::vector<std::string>> partners;
    for (const Line& line : expected)
        if (IsComparisonCategory(line.category))
            partners[line.category + "\t" + line.key.substr(0, line.key.find('\t'))].push_back(
                line.key.substr(line.key.find('\t') + 1));
    std::map<std::string, Agreement> result;
    for (const auto& [category, items] : want) {
        Agreement& a = result[category];
        const auto gotCategory = got.find(category);
        for (const auto& [key, value] : items) {
            ++a.total;
            std::string mine = "(missing)";
            if (gotCategory != got.end()) {
                const auto it = gotCategory->second.find(key);
                if (it != gotCategory->second.end())
                    mine = it->second;
            }
            const auto& deviations = KnownWineDeviations();
            const std::string& itemCategory = category;
            const std::string& itemKey = key;
            const auto deviation = std::find_if(deviations.begin(), deviations.end(), [&](const WineDeviation& d) {
                return itemCategory == d.category && itemKey == d.key;
            });
            const char* comparisonDeviation = nullptr;
            if (mine != value && IsComparisonCategory(category)) {
                // key: group <TAB> text <TAB> #partner
                const std::size_t tab = key.find('\t'), hash = key.rfind("\t#");
                const auto row = partners.find(category + "\t" + key.substr(0, tab));
                const std::size_t n = std::stoul(key.substr(hash + 2));
                Text left, right;
                if (row != partners.end() && n < row->second.size() &&
                    ParseEscaped(key.substr(tab + 1, hash - tab - 1), left) && ParseEscaped(row->second[n], right))
                    comparisonDeviation = WineComparisonDeviation(category, left, right, value, mine);
            }
            if (comparisonDeviation != nullptr)
                a.wineDeviations.push_back(key + ": Wine " + value + ", here " + mine + " (" + comparisonDeviation + ")");
            else if (deviation != deviations.end() && mine != value)
                a.wineDeviations.push_back(key + ": Wine " + value + ", here " + mine + " (" + deviation->reason + ")");
            else if (mine == value)
                ++a.agree;
            else if (a.differences.size() < kMaxDifferencesKept)
                a.differences.push_back(key + ": expected " + value + ", got " + mine);
        }
    }
    for (const auto& [category, items] : got) {
        if (want.count(category) == 0) {
            Agreement& a = result[category];
            a.total += items.size();
            if (a.differences.empty())
                a.differences.push_back("category missing from the reference");
        }
    }
    return result;
}

bool MustAgree(const std::string& category)
{
    const auto startsWith = [&](const char* prefix) { return category.rfind(prefix, 0) == 0; };
    const auto endsWith = [&](const std::string& suffix) {
        return category.size() >= suffix.size() &&
               category.compare(category.size() - suffix.size(), suffix.size(), suffix) == 0;
    };
    return endsWith(kAsciiSuffix) || startsWith("cp") || startsWith("api") || startsWith("nf") ||
           startsWith("isnf");
}

} // namespace TextReference
