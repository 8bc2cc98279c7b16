// TXStringBench: TXString measured against ICU and std::u16string, the
// baselines its performance targets name.
//
// Five 1 MiB texts (ASCII, Latin with accents, Cyrillic, CJK, mixed with
// emoji) go through the own UTF-8 decoder against u_strFromUTF8WithSub and
// through ToNarrow(kUTF8) against u_strToUTF8WithSub; EqualNoCase and == on
// ASCII texts run against the general path (the platform's case-insensitive
// comparison); normalizing text that is already in form C runs against ICU's
// quick check, with the allocations it makes counted; the platform's
// CompareNoCase and CompareLocale of non-ASCII name pairs run against the same
// comparisons of ASCII pairs; copying and assigning
// texts of 1 to 7 units run against std::u16string. Replace and a loop over
// all matches ignoring case run against the same operations with case, and
// Find and ReverseFind of a run-and-one-unit needle in a text of that run
// (the worst case of the straightforward search) against a random text of the
// same size, which runs beside std::u16string::find. Every benchmark is
// repeated three times in a shuffled order, and a closing table gives the
// medians, each ratio, its limit and whether it is met; the exit status is 1
// when a limit is missed.
//
//   TXStringBench              Google Benchmark's report, then the table
//   TXStringBench --summary    quick run, only the table
//
// The machine is shared: figures of the 1 MiB rows drift by 10 to 30 % from
// run to run, so a borderline row wants a second run (for example with
// --benchmark_repetitions=5 --benchmark_min_time=0.3).
//
// The benchmark is the one place outside the platform layer that calls ICU:
// ICU is the baseline being measured against, not a service the code uses.
#include "KXMM/KXMM.h"
#include "platform/Text.h"
#include "strings/MainPartition.h"
#include "strings/StringUtilities.h"
#include "strings/TXString.h"

#include "bench/BenchArguments.h"
#include "bench/RateReporter.h"

#include <benchmark/benchmark.h>
#include <unicode/unorm2.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>
#include <string>
#include <string_view>
#include <vector>

// Counting replacements of the allocation operators, so that the table can
// show what normalizing already-normalized text allocates. The program exports
// them, so the memory manager's library allocates through them too.
namespace {

std::atomic<std::size_t> allocations{0};

void* CountedAllocate(std::size_t size)
{
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}

void Release(void* p) noexcept
{
    std::free(p);
}

} // namespace

void* operator new(std::size_t size)
{
    return CountedAllocate(size);
}

void operator delete(void* p) noexcept
{
    Release(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    Release(p);
}

namespace {

/// @name Workload parameters
/// @{
constexpr std::size_t kTextBytes = std::size_t{1} << 20;
constexpr UChar32 kSubstitute = 0xFFFD;
constexpr int kNormalizeCountCalls = 1000;
/// Replacing every unit of a text of one letter.
constexpr std::size_t kReplaceUnits = std::size_t{1} << 20;
/// A loop over all matches: every other unit is one.
constexpr std::size_t kFindAllPairs = 50000;
/// A needle of a long run and one other unit against a text that is one run:
/// the straightforward search compares almost the whole needle everywhere.
constexpr std::size_t kTrapTextUnits = 400000;
constexpr std::size_t kTrapRunUnits = 2000;
/// @}


struct Sample {
    const char* name;
    const char* sentence;
};

// Each text repeats its sentence to 1 MiB.
const Sample kSamples[] = {
    {"ASCII", "The quick brown fox jumps over the lazy dog; plug-ins read paths like C:/Tools/Batch/Encrypt.csm. "},
    {"Latin", "Le cœur déçu mais l'âme plutôt naïve, Louÿs rêva de crapaüter en canoë au delà des îles, "
              "près du mälström où brûlent les novæ. Über Größe und Maß: Fräulein Jäger aß süße Äpfel. "},
    {"Cyrillic", "Съешь же ещё этих мягких французских булок, да выпей чаю. Широкая электрификация южных губерний. "},
    {"CJK", "東京都の天気は晴れのち曇り。漢字と仮名が混ざった文章を符号化して測定する。中文测试文本，包含常用汉字。"},
    {"Mixed", "Plan 📅: café ☕ at 9, réunion with 田中さん 👋, then Москва ✈️ → Zürich 🇨🇭; done 👍🏽 "},
};

std::string Repeated(const char* sentence)
{
    std::string text;
    while (text.size() < kTextBytes)
        text += sentence;
    text.resize(kTextBytes);
    // Cut back to the start of a character so the text stays well-formed.
    while ((static_cast<unsigned char>(text.back()) & 0xC0) == 0x80)
        text.pop_back();
    if (static_cast<unsigned char>(text.back()) >= 0xC0)
        text.pop_back();
    return text;
}

struct Corpus {
    std::string name;
    std::string utf8;
    std::vector<UChar> utf16;
};

const std::vector<Corpus>& Corpora()
{
    static const std::vector<Corpus> corpora = [] {
        std::vector<Corpus> result;
        for (const Sample& sample : kSamples) {
            Corpus c{sample.name, Repeated(sample.sentence), {}};
            c.utf16.resize(c.utf8.size());
            int32_t length = 0;
            UErrorCode status = U_ZERO_ERROR;
            u_strFromUTF8(c.utf16.data(), static_cast<int32_t>(c.utf16.size()), &length, c.utf8.data(),
                          static_cast<int32_t>(c.utf8.size()), &status);
            c.utf16.resize(static_cast<std::size_t>(length));
            result.push_back(std::move(c));
        }
        return result;
    }();
    return corpora;
}

TXString AsTXString(const std::vector<UChar>& units)
{
    return TXString(units.data(), units.size(), 1);
}

// ---------------------------------------------------------------------------
// Benchmarks

void BM_Decode(benchmark::State& state, const Corpus* c)
{
    TXString text;
    for (auto _ : state) {
        text.SetNarrow(c->utf8.data(), c->utf8.size());
        benchmark::DoNotOptimize(text.GetData());
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(c->utf8.size()));
}

void BM_IcuFromUtf8(benchmark::State& state, const Corpus* c)
{
    std::vector<UChar> out(c->utf8.size());
    for (auto _ : state) {
        int32_t length = 0;
        int32_t substitutions = 0;
        UErrorCode status = U_ZERO_ERROR;
        u_strFromUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &length, c->utf8.data(),
                             static_cast<int32_t>(c->utf8.size()), kSubstitute, &substitutions, &status);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(c->utf8.size()));
}

void BM_ToNarrow(benchmark::State& state, const Corpus* c)
{
    const TXString text = AsTXString(c->utf16);
    for (auto _ : state)
        benchmark::DoNotOptimize(text.ToNarrow(kUTF8));
    state.SetItemsProcessed(state.iterations());
}

void BM_IcuToUtf8(benchmark::State& state, const Corpus* c)
{
    std::vector<char> out(4 * c->utf16.size() + 1);
    for (auto _ : state) {
        int32_t length = 0;
        int32_t substitutions = 0;
        UErrorCode status = U_ZERO_ERROR;
        u_strToUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &length, c->utf16.data(),
                           static_cast<int32_t>(c->utf16.size()), kSubstitute, &substitutions, &status);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations());
}

/// ASCII names that differ from their partner only in case, or also in one
/// letter; each iteration compares every pair once.
struct NamePairs {
    std::vector<TXString> left;
    std::vector<TXString> right;
};

const NamePairs& AsciiPairs()
{
    static const NamePairs pairs = [] {
        const char* names[] = {"EncryptAllPlugins.csm", "Plug-ins/Batch/TestEncryptPlugins.cst",
                               "__EncryptionResults.txt", "Libraries/Calscript/Utility/Layers.cso",
                               "KXMainPartition", "Documents and Settings/All Users/Application Data/Calvera",
                               "a", "README"};
        NamePairs p;
        for (const char* name : names) {
            std::string other(name);
            for (char& ch : other)
                ch = static_cast<char>(ch >= 'a' && ch <= 'z' ? ch - 32 : ch >= 'A' && ch <= 'Z' ? ch + 32 : ch);
            p.left.emplace_back(name);
            p.right.emplace_back(other);
            other.back() = other.back() == 'x' ? 'y' : 'x';
            p.left.emplace_back(name);
            p.right.emplace_back(other);
        }
        return p;
    }();
    return pairs;
}

/// The same kind of pairs in other scripts: accented Latin, Greek, Cyrillic,
/// CJK and a combining mark, so that the comparisons leave the ASCII fast path
/// for the weight streams.
const NamePairs& NonAsciiPairs()
{
    static const NamePairs pairs = [] {
        const std::u16string names[] = {u"Résumé Übersicht.csm", u"Straße/Ärger/Œuvre.cst", u"Ωμέγα Δέλτα.txt",
                                        u"Москва/Библиотеки/Слои.cso", u"東京都/設定/レイヤー", u"e\u0301te\u0301 naïve",
                                        u"Ä", u"ÇÉÑÖÜ"};
        NamePairs p;
        for (const std::u16string& name : names) {
            std::u16string other(name);
            Platform::UpperBuffer(other.data(), other.size());
            if (other == name)
                Platform::LowerBuffer(other.data(), other.size());
            p.left.emplace_back(name.data(), name.size(), 1);
            p.right.emplace_back(other.data(), other.size(), 1);
            other.back() = other.back() == u'ж' ? u'з' : u'ж';
            p.left.emplace_back(name.data(), name.size(), 1);
            p.right.emplace_back(other.data(), other.size(), 1);
        }
        return p;
    }();
    return pairs;
}

/// How much more a comparison of the non-ASCII pairs may cost than one of
/// the ASCII pairs: they leave the rank fast path for the weight streams.
constexpr double kNonAsciiCompareCostLimit = 8.0;

template <typename Compare>
void RunPairs(benchmark::State& state, Compare compare, const NamePairs& p = AsciiPairs())
{
    for (auto _ : state) {
        int equal = 0;
        for (std::size_t i = 0; i < p.left.size(); ++i)
            equal += compare(p.left[i], p.right[i]) ? 1 : 0;
        benchmark::DoNotOptimize(equal);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(p.left.size()));
}

void BM_EqualNoCase(benchmark::State& state)
{
    RunPairs(state, [](const TXString& a, const TXString& b) { return a.EqualNoCase(b); });
}

void BM_EqualOperator(benchmark::State& state)
{
    RunPairs(state, [](const TXString& a, const TXString& b) { return a == b; });
}

/// What EqualNoCase does without its fast path.
void BM_EqualGeneral(benchmark::State& state)
{
    RunPairs(state, [](const TXString& a, const TXString& b) {
        return a.GetLength() == b.GetLength() && Platform::CompareNoCase(a.GetData(), b.GetData()) == 0;
    });
}

/// Orders every pair ignoring case, with no shortcut: the whole comparison.
void BM_CompareNoCase(benchmark::State& state, bool ascii)
{
    RunPairs(
        state, [](const TXString& a, const TXString& b) { return Platform::CompareNoCase(a.GetData(), b.GetData()) < 0; },
        ascii ? AsciiPairs() : NonAsciiPairs());
}

void BM_CompareLocale(benchmark::State& state, bool ascii)
{
    RunPairs(
        state,
        [](const TXString& a, const TXString& b) {
            return Platform::CompareLocale(TXStrings::kLocaleCompareFlags, a.GetData(), static_cast<int>(a.GetLength()),
                                           b.GetData(), static_cast<int>(b.GetLength())) == 1;
        },
        ascii ? AsciiPairs() : NonAsciiPairs());
}

void BM_NormalizeNormalized(benchmark::State& state, const Corpus* c)
{
    TXString text = AsTXString(c->utf16);
    for (auto _ : state)
        benchmark::DoNotOptimize(text.NormalizeComposed().GetData());
    state.SetItemsProcessed(state.iterations());
}

void BM_IcuQuickCheck(benchmark::State& state, const Corpus* c)
{
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2* nfc = unorm2_getNFCInstance(&status);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            unorm2_quickCheck(nfc, c->utf16.data(), static_cast<int32_t>(c->utf16.size()), &status));
    }
    state.SetItemsProcessed(state.iterations());
}

/// Short texts of 1 to 7 units: all live in the short buffer on both sides.
constexpr const char16_t* kShortTexts[] = {u"a", u"Class", u"Layer 7", u"csm", u"Wall", u"OK", u"FAIL ", u"Utility"};
constexpr std::size_t kShortCount = std::size(kShortTexts);

// Each iteration copies (or assigns) every short text once. The sources pass
// through DoNotOptimize on both sides, so that no copy can be folded into
// constant stores of a text the compiler happens to know; what escapes is the
// copied text, as where a caller hands it on.
const TXChar* Units(const TXString& s)
{
    return s.GetData();
}

const char16_t* Units(const std::u16string& s)
{
    return s.data();
}

template <typename String>
void CopyShort(benchmark::State& state)
{
    std::vector<String> sources(std::begin(kShortTexts), std::end(kShortTexts));
    for (auto _ : state) {
        benchmark::DoNotOptimize(sources.data());
        for (const String& source : sources) {
            String copy(source);
            benchmark::DoNotOptimize(Units(copy));
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kShortCount));
}

template <typename String>
void AssignShort(benchmark::State& state)
{
    std::vector<String> sources(std::begin(kShortTexts), std::end(kShortTexts));
    String target;
    for (auto _ : state) {
        benchmark::DoNotOptimize(sources.data());
        for (const String& source : sources) {
            target = source;
            benchmark::DoNotOptimize(Units(target));
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kShortCount));
}

/// Case-insensitive Replace against the case-sensitive one on the same text:
/// every unit matches, and each match grows the text.
void BM_Replace(benchmark::State& state, bool ignoreCase)
{
    const TXString source(u'a', kReplaceUnits);
    const TXString find(ignoreCase ? u"A" : u"a");
    const TXString with(u"xx");
    for (auto _ : state) {
        TXString text(source);
        text.Replace(find, with, ignoreCase);
        benchmark::DoNotOptimize(text.GetData());
    }
    state.SetItemsProcessed(state.iterations());
}

const TXString& FindAllText()
{
    static const TXString text = [] {
        TXString t;
        for (std::size_t i = 0; i < kFindAllPairs; ++i)
            t += u"xA";
        return t;
    }();
    return text;
}

/// Every match, front to back (or back to front), one Find per match.
void BM_FindAll(benchmark::State& state, bool ignoreCase, bool reverse)
{
    const TXString& text = FindAllText();
    const TXString sub(ignoreCase ? u"a" : u"A");
    for (auto _ : state) {
        std::size_t matches = 0;
        if (reverse) {
            for (std::int64_t at = text.ReverseFind(sub, TXString::kEnd, ignoreCase); at >= 0;
                 at = at == 0 ? TXString::kNotFound : text.ReverseFind(sub, at - 1, ignoreCase))
                ++matches;
        } else {
            for (std::int64_t at = text.Find(sub, 0, ignoreCase); at >= 0; at = text.Find(sub, at + 1, ignoreCase))
                ++matches;
        }
        if (matches != kFindAllPairs)
            state.SkipWithError("wrong number of matches");
        benchmark::DoNotOptimize(matches);
    }
    state.SetItemsProcessed(state.iterations());
}

/// The text of the search's worst case, and a random text of the same size.
const std::vector<TXString>& SearchTexts()
{
    static const std::vector<TXString> texts = [] {
        std::vector<TXString> t{TXString(u'a', kTrapTextUnits), TXString()};
        std::uint32_t state = 12345;
        std::u16string random(kTrapTextUnits, u'a');
        for (char16_t& unit : random) {
            state = state * 1103515245u + 12345u;
            unit = static_cast<char16_t>(u'a' + (state >> 16) % 26);
        }
        t[1] = TXString(random.data(), random.size(), 1);
        return t;
    }();
    return texts;
}

/// The run then "b" forwards, "b" then the run backwards: a miss found only
/// at the needle's far end, wherever the search stands.
void BM_TrapSearch(benchmark::State& state, bool randomText, bool reverse)
{
    const TXString& text = SearchTexts()[randomText ? 1 : 0];
    const TXString run(u'a', kTrapRunUnits);
    const TXString needle = reverse ? TXString(u"b") + run : run + TXString(u"b");
    for (auto _ : state)
        benchmark::DoNotOptimize(reverse ? text.ReverseFind(needle) : text.Find(needle));
    state.SetItemsProcessed(state.iterations());
}

/// The standard string's search on the random text, for the common case.
void BM_StdFind(benchmark::State& state)
{
    const TXString& text = SearchTexts()[1];
    const std::u16string haystack(text.GetData(), text.GetData() + text.GetLength());
    const std::u16string needle = std::u16string(kTrapRunUnits, u'a') + u"b";
    for (auto _ : state)
        benchmark::DoNotOptimize(haystack.find(needle));
    state.SetItemsProcessed(state.iterations());
}

// ---------------------------------------------------------------------------
// Registration and the table

enum class Goal { AtLeast, AtMost };

struct TargetRow {
    std::string label;
    std::string ours;
    std::string baseline;
    Goal goal;
    double limit;
};

std::vector<TargetRow> RegisterAll()
{
    std::vector<TargetRow> rows;
    for (const Corpus& c : Corpora()) {
        const std::string decode = "Decode/" + c.name;
        const std::string icuDecode = "IcuFromUTF8/" + c.name;
        benchmark::RegisterBenchmark(decode.c_str(), BM_Decode, &c);
        benchmark::RegisterBenchmark(icuDecode.c_str(), BM_IcuFromUtf8, &c);
        rows.push_back({"UTF-8 decode " + c.name + " (speed)", decode, icuDecode, Goal::AtLeast,
                        c.name == "ASCII" ? 2.0 : 1.1});
    }
    for (const Corpus& c : Corpora()) {
        const std::string encode = "ToNarrow/" + c.name;
        const std::string icuEncode = "IcuToUTF8/" + c.name;
        benchmark::RegisterBenchmark(encode.c_str(), BM_ToNarrow, &c);
        benchmark::RegisterBenchmark(icuEncode.c_str(), BM_IcuToUtf8, &c);
        rows.push_back({"ToNarrow(kUTF8) " + c.name + " (speed)", encode, icuEncode, Goal::AtLeast, 1.1});
    }
    benchmark::RegisterBenchmark("EqualNoCase/ASCII", BM_EqualNoCase);
    benchmark::RegisterBenchmark("EqualOperator/ASCII", BM_EqualOperator);
    benchmark::RegisterBenchmark("EqualGeneralPath/ASCII", BM_EqualGeneral);
    rows.push_back({"EqualNoCase ASCII vs general path (speed)", "EqualNoCase/ASCII", "EqualGeneralPath/ASCII",
                    Goal::AtLeast, 4.0});
    rows.push_back({"== ASCII vs general path (speed)", "EqualOperator/ASCII", "EqualGeneralPath/ASCII",
                    Goal::AtLeast, 4.0});
    benchmark::RegisterBenchmark("CompareNoCase/ASCII", BM_CompareNoCase, true);
    benchmark::RegisterBenchmark("CompareNoCase/NonASCII", BM_CompareNoCase, false);
    benchmark::RegisterBenchmark("CompareLocale/ASCII", BM_CompareLocale, true);
    benchmark::RegisterBenchmark("CompareLocale/NonASCII", BM_CompareLocale, false);
    rows.push_back({"CompareNoCase non-ASCII vs ASCII (cost)", "CompareNoCase/NonASCII", "CompareNoCase/ASCII",
                    Goal::AtMost, kNonAsciiCompareCostLimit});
    rows.push_back({"CompareLocale non-ASCII vs ASCII (cost)", "CompareLocale/NonASCII", "CompareLocale/ASCII",
                    Goal::AtMost, kNonAsciiCompareCostLimit});
    for (const Corpus& c : Corpora()) {
        const std::string normalize = "NormalizeComposed/" + c.name;
        const std::string quickCheck = "IcuQuickCheck/" + c.name;
        benchmark::RegisterBenchmark(normalize.c_str(), BM_NormalizeNormalized, &c);
        benchmark::RegisterBenchmark(quickCheck.c_str(), BM_IcuQuickCheck, &c);
        rows.push_back({"NormalizeComposed on NFC " + c.name + " (cost)", normalize, quickCheck, Goal::AtMost, 1.2});
    }
    benchmark::RegisterBenchmark("CopyShort/TXString", CopyShort<TXString>);
    benchmark::RegisterBenchmark("CopyShort/u16string", CopyShort<std::u16string>);
    benchmark::RegisterBenchmark("AssignShort/TXString", AssignShort<TXString>);
    benchmark::RegisterBenchmark("AssignShort/u16string", AssignShort<std::u16string>);
    rows.push_back({"copy 1-7 units vs u16string (cost)", "CopyShort/TXString", "CopyShort/u16string", Goal::AtMost,
                    1.2});
    rows.push_back({"assign 1-7 units vs u16string (cost)", "AssignShort/TXString", "AssignShort/u16string",
                    Goal::AtMost, 1.2});
    benchmark::RegisterBenchmark("Replace/IgnoringCase", BM_Replace, true);
    benchmark::RegisterBenchmark("Replace/WithCase", BM_Replace, false);
    rows.push_back({"Replace 1M units ignoring case vs with case (cost)", "Replace/IgnoringCase", "Replace/WithCase",
                    Goal::AtMost, 2.0});
    benchmark::RegisterBenchmark("FindAll/IgnoringCase", BM_FindAll, true, false);
    benchmark::RegisterBenchmark("FindAll/WithCase", BM_FindAll, false, false);
    benchmark::RegisterBenchmark("ReverseFindAll/IgnoringCase", BM_FindAll, true, true);
    benchmark::RegisterBenchmark("ReverseFindAll/WithCase", BM_FindAll, false, true);
    rows.push_back({"Find-all loop ignoring case vs with case (cost)", "FindAll/IgnoringCase", "FindAll/WithCase",
                    Goal::AtMost, 2.5});
    rows.push_back({"ReverseFind-all ignoring case vs with case (cost)", "ReverseFindAll/IgnoringCase",
                    "ReverseFindAll/WithCase", Goal::AtMost, 2.5});
    benchmark::RegisterBenchmark("Find/WorstCase", BM_TrapSearch, false, false);
    benchmark::RegisterBenchmark("Find/RandomText", BM_TrapSearch, true, false);
    benchmark::RegisterBenchmark("ReverseFind/WorstCase", BM_TrapSearch, false, true);
    benchmark::RegisterBenchmark("ReverseFind/RandomText", BM_TrapSearch, true, true);
    benchmark::RegisterBenchmark("StdFind/RandomText", BM_StdFind);
    rows.push_back({"Find worst case vs random text (cost)", "Find/WorstCase", "Find/RandomText", Goal::AtMost, 3.0});
    rows.push_back({"ReverseFind worst case vs random text (cost)", "ReverseFind/WorstCase", "ReverseFind/RandomText",
                    Goal::AtMost, 3.0});
    rows.push_back({"Find random text vs u16string::find (cost)", "Find/RandomText", "StdFind/RandomText",
                    Goal::AtMost, 1.2});
    return rows;
}

/// The rate reporter with the table of targets.
class TableReporter : public Bench::RateReporter {
public:
    using Bench::RateReporter::RateReporter;

    /// Prints the table; returns the number of targets missed.
    int PrintTable(const std::vector<TargetRow>& rows) const
    {
        std::printf("\nTXString against its baselines (median of the repetitions; ratio = speed-up for speed rows,\n"
                    "relative cost for cost rows)\n\n");
        std::printf("%-48s %10s %8s  %s\n", "target", "ratio", "limit", "result");
        std::printf("%s\n", std::string(78, '-').c_str());
        int missed = 0;
        for (const TargetRow& row : rows) {
            const double ours = Median(row.ours);
            const double baseline = Median(row.baseline);
            if (ours <= 0 || baseline <= 0) {
                std::printf("%-48s %10s %8s  %s\n", row.label.c_str(), "-", "-", "not run");
                continue;
            }
            const double ratio = row.goal == Goal::AtLeast ? ours / baseline : baseline / ours;
            const bool met = row.goal == Goal::AtLeast ? ratio >= row.limit : ratio <= row.limit;
            missed += met ? 0 : 1;
            char limit[16];
            std::snprintf(limit, sizeof limit, "%s%.1fx", row.goal == Goal::AtLeast ? ">=" : "<=", row.limit);
            std::printf("%-48s %9.2fx %8s  %s\n", row.label.c_str(), ratio, limit, met ? "met" : "MISSED");
        }
        std::printf("%s\n", std::string(78, '-').c_str());
        return missed;
    }
};

/// Allocations made by normalizing each already-normalized text repeatedly.
void PrintNormalizeAllocations()
{
    std::printf("\nAllocations while normalizing already-normalized text (%d calls each):", kNormalizeCountCalls);
    for (const Corpus& c : Corpora()) {
        TXString text = AsTXString(c.utf16);
        text.NormalizeComposed();
        const std::size_t before = allocations.load();
        for (int i = 0; i < kNormalizeCountCalls; ++i)
            text.NormalizeComposed();
        std::printf(" %s %zu", c.name.c_str(), allocations.load() - before);
    }
    std::printf("\n");
}

} // namespace

int main(int argc, char** argv)
{
    const Bench::BenchArguments arguments(argc, argv);
    if (!arguments.Ok())
        return 1;
    const bool summary = arguments.Summary();

    SetMainPartition(KXMM::Partition::GetPartitionByIdentifier(kMainPartitionIdentifier, true));
    const std::vector<TargetRow> rows = RegisterAll();
    TableReporter reporter(summary);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const int missed = reporter.PrintTable(rows);
    PrintNormalizeAllocations();
    benchmark::Shutdown();
    return missed == 0 ? 0 : 1;
}
