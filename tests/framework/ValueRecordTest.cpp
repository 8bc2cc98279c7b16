// The value record and argument access: the record layout the host relies
// on, one table that runs every accessor of KXPluginLibraryArgument on a
// record with a given tag and checks the tag and the value it leaves, and
// KXPluginLibraryArgTable over its own records, a host block and no block.
//
// Every case starts from a record whose value storage is filled with noise
// bytes and whose text is not empty, so that a getter that must yield 0 or
// the empty text cannot pass by reading zeroed storage. Values are seeded
// and checked through raw bytes at the host's offsets, never through the
// accessor under test.
#include "framework/ValueRecord.h"

#include "KXMM/KXMM.h"
#include "strings/MainPartition.h"
#include "strings/TXString.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <variant>
#include <vector>

namespace {

using namespace ZEDA::PluginSupport;
using Arg = KXPluginLibraryArgument;
using Rec = ValueRecord;

constexpr unsigned char kNoiseByte = 0xA5;
const char* const kNoiseText = "stale";
const char* const kSeedText = "Gr\xC3\xBC\xC3\x9F" "e";

/// What an operation yields: an integer (booleans as 0 or 1), a real, a list
/// of reals (points), UTF-8 text, or a list of addresses (array pointers).
using Observed = std::variant<std::int64_t, double, std::vector<double>, std::string, std::vector<const void*>>;

template <typename T>
void Poke(Rec& r, T value, std::size_t offset = 0)
{
    std::memcpy(r.value + offset, &value, sizeof value);
}

template <typename T>
T Peek(const Rec& r, std::size_t offset = 0)
{
    T value;
    std::memcpy(&value, r.value + offset, sizeof value);
    return value;
}

void PokeReals(Rec& r, const std::vector<double>& reals)
{
    for (std::size_t i = 0; i < reals.size(); ++i)
        Poke(r, reals[i], i * sizeof(double));
}

Observed PeekReals(const Rec& r, std::size_t count)
{
    std::vector<double> reals(count);
    for (std::size_t i = 0; i < count; ++i)
        reals[i] = Peek<double>(r, i * sizeof(double));
    return reals;
}

Observed Int(std::int64_t value)
{
    return value;
}

Observed Text(const TXString& s)
{
    return s.ToStdString();
}

/// Checks that an output accessor handed out the address of the value
/// storage, and yields what it sees there (the seeded value must show).
template <typename T>
const T& Exposed(const Rec& r, const T* address)
{
    EXPECT_EQ(static_cast<const void*>(address), static_cast<const void*>(r.value)) << "not the value's address";
    return *address;
}

// Distinct objects whose addresses the array description carries.
const int kFirstArray = 1;
const int kSecondArray = 2;

struct Row {
    const char* name;
    ValueTag initialTag;
    std::function<Observed(Arg&, Rec&)> op;
    ValueTag expectedTag;
    Observed expected;
};

// Failure reports name the case instead of dumping the row's bytes.
void PrintTo(const Row& row, std::ostream* out)
{
    *out << row.name;
}

const std::vector<Row> kRows = {
    // 16-bit integer
    {"Int16Get", kTagInt16, [](Arg& a, Rec& r) { Poke<std::int16_t>(r, -1234); return Int(a.GetInt16()); },
     kTagInt16, Int(-1234)},
    {"Int16SetOnNone", kTagNone, [](Arg& a, Rec& r) { a.SetInt16(-7); return Int(Peek<std::int16_t>(r)); },
     kTagInt16, Int(-7)},
    {"Int16SetKeeps2", kTagInt16Out, [](Arg& a, Rec& r) { a.SetInt16(8); return Int(Peek<std::int16_t>(r)); },
     kTagInt16Out, Int(8)},
    {"Int16SetKeeps40", kTagInt16Kept, [](Arg& a, Rec& r) { a.SetInt16(9); return Int(Peek<std::int16_t>(r)); },
     kTagInt16Kept, Int(9)},
    {"Int16SetOverInt32", kTagInt32, [](Arg& a, Rec& r) { a.SetInt16(10); return Int(Peek<std::int16_t>(r)); },
     kTagInt16, Int(10)},
    {"Int16OutOnNone", kTagNone,
     [](Arg& a, Rec& r) { Poke<std::int16_t>(r, 11); return Int(Exposed(r, a.Int16Out())); }, kTagInt16Out, Int(11)},
    {"Int16OutKeepsTag", kTagInt16,
     [](Arg& a, Rec& r) { Poke<std::int16_t>(r, 12); return Int(Exposed(r, a.Int16Out())); }, kTagInt16, Int(12)},

    // 32-bit integer
    {"Int32Get", kTagInt32, [](Arg& a, Rec& r) { Poke<std::int32_t>(r, -100000); return Int(a.GetInt32()); },
     kTagInt32, Int(-100000)},
    {"Int32FromTag1SignExtends", kTagInt16, [](Arg& a, Rec& r) { Poke<std::int16_t>(r, -2); return Int(a.GetInt32()); },
     kTagInt16, Int(-2)},
    {"Int32FromTag1Positive", kTagInt16,
     [](Arg& a, Rec& r) { Poke<std::int16_t>(r, 0x7FFF); return Int(a.GetInt32()); }, kTagInt16, Int(0x7FFF)},
    {"Int32FromRealIsZero", kTagReal, [](Arg& a, Rec& r) { Poke(r, 3.0); return Int(a.GetInt32()); }, kTagReal,
     Int(0)},
    {"Int32FromOutputFormIsZero", kTagInt32Out,
     [](Arg& a, Rec& r) { Poke<std::int32_t>(r, 5); return Int(a.GetInt32()); }, kTagInt32Out, Int(0)},
    {"Int32FromNoneIsZero", kTagNone, [](Arg& a, Rec&) { return Int(a.GetInt32()); }, kTagNone, Int(0)},
    {"Int32SetOnNone", kTagNone, [](Arg& a, Rec& r) { a.SetInt32(70000); return Int(Peek<std::int32_t>(r)); },
     kTagInt32, Int(70000)},
    {"Int32SetKeeps4", kTagInt32Out, [](Arg& a, Rec& r) { a.SetInt32(-3); return Int(Peek<std::int32_t>(r)); },
     kTagInt32Out, Int(-3)},
    {"Int32SetKeeps41", kTagInt32Kept, [](Arg& a, Rec& r) { a.SetInt32(4); return Int(Peek<std::int32_t>(r)); },
     kTagInt32Kept, Int(4)},
    {"Int32SetOverInt16", kTagInt16, [](Arg& a, Rec& r) { a.SetInt32(5); return Int(Peek<std::int32_t>(r)); },
     kTagInt32, Int(5)},
    {"Int32OutOnNone", kTagNone,
     [](Arg& a, Rec& r) { Poke<std::int32_t>(r, -6); return Int(Exposed(r, a.Int32Out())); }, kTagInt32Out, Int(-6)},
    {"Int32OutKeepsTag", kTagInt32Kept,
     [](Arg& a, Rec& r) { Poke<std::int32_t>(r, 7); return Int(Exposed(r, a.Int32Out())); }, kTagInt32Kept, Int(7)},

    // Reals
    {"RealGet", kTagReal, [](Arg& a, Rec& r) { Poke(r, -2.5); return Observed(a.GetReal()); }, kTagReal, -2.5},
    {"RealSetOnNone", kTagNone, [](Arg& a, Rec& r) { a.SetReal(1.25); return Observed(Peek<double>(r)); }, kTagReal,
     1.25},
    {"RealSetKeeps6", kTagRealOut, [](Arg& a, Rec& r) { a.SetReal(2.0); return Observed(Peek<double>(r)); },
     kTagRealOut, 2.0},
    {"RealSetKeeps43", kTagRealKept, [](Arg& a, Rec& r) { a.SetReal(3.0); return Observed(Peek<double>(r)); },
     kTagRealKept, 3.0},
    {"RealSetOverRealB", kTagRealB, [](Arg& a, Rec& r) { a.SetReal(4.0); return Observed(Peek<double>(r)); },
     kTagReal, 4.0},
    {"RealOutOnNone", kTagNone, [](Arg& a, Rec& r) { Poke(r, 0.5); return Observed(Exposed(r, a.RealOut())); },
     kTagRealOut, 0.5},
    {"RealOutKeepsTag", kTagReal, [](Arg& a, Rec& r) { Poke(r, 0.75); return Observed(Exposed(r, a.RealOut())); },
     kTagReal, 0.75},
    {"RealBGet", kTagRealB, [](Arg& a, Rec& r) { Poke(r, 6.5); return Observed(a.GetRealB()); }, kTagRealB, 6.5},
    {"RealBSetAlwaysWrites7", kTagRealOut, [](Arg& a, Rec& r) { a.SetRealB(7.5); return Observed(Peek<double>(r)); },
     kTagRealB, 7.5},
    {"RealCGet", kTagRealC, [](Arg& a, Rec& r) { Poke(r, 8.5); return Observed(a.GetRealC()); }, kTagRealC, 8.5},
    {"RealCSetAlwaysWrites8", kTagReal, [](Arg& a, Rec& r) { a.SetRealC(9.5); return Observed(Peek<double>(r)); },
     kTagRealC, 9.5},

    // Points
    {"Point2DGet", kTagPoint2D,
     [](Arg& a, Rec& r) {
         PokeReals(r, {1.5, -2.5});
         const ValuePoint2D p = a.GetPoint2D();
         return Observed(std::vector<double>{p.x, p.y});
     },
     kTagPoint2D, std::vector<double>{1.5, -2.5}},
    {"Point2DSetOnNone", kTagNone, [](Arg& a, Rec& r) { a.SetPoint2D({3.0, 4.0}); return PeekReals(r, 2); },
     kTagPoint2D, std::vector<double>{3.0, 4.0}},
    {"Point2DSetKeeps11", kTagPoint2DOut, [](Arg& a, Rec& r) { a.SetPoint2D({5.0, 6.0}); return PeekReals(r, 2); },
     kTagPoint2DOut, std::vector<double>{5.0, 6.0}},
    {"Point2DSetKeeps47", kTagPoint2DKept, [](Arg& a, Rec& r) { a.SetPoint2D({7.0, 8.0}); return PeekReals(r, 2); },
     kTagPoint2DKept, std::vector<double>{7.0, 8.0}},
    {"Point2DOutOnNone", kTagNone,
     [](Arg& a, Rec& r) {
         PokeReals(r, {9.0, 10.0});
         const ValuePoint2D& p = Exposed(r, a.Point2DOut());
         return Observed(std::vector<double>{p.x, p.y});
     },
     kTagPoint2DOut, std::vector<double>{9.0, 10.0}},
    {"Point3DGet", kTagPoint3D,
     [](Arg& a, Rec& r) {
         PokeReals(r, {1.0, 2.0, -3.0});
         const ValuePoint3D p = a.GetPoint3D();
         return Observed(std::vector<double>{p.x, p.y, p.z});
     },
     kTagPoint3D, std::vector<double>{1.0, 2.0, -3.0}},
    {"Point3DSetOnNone", kTagNone, [](Arg& a, Rec& r) { a.SetPoint3D({4.0, 5.0, 6.0}); return PeekReals(r, 3); },
     kTagPoint3D, std::vector<double>{4.0, 5.0, 6.0}},
    {"Point3DSetKeeps13", kTagPoint3DOut,
     [](Arg& a, Rec& r) { a.SetPoint3D({7.0, 8.0, 9.0}); return PeekReals(r, 3); }, kTagPoint3DOut,
     std::vector<double>{7.0, 8.0, 9.0}},
    {"Point3DSetOver47", kTagPoint2DKept, [](Arg& a, Rec& r) { a.SetPoint3D({1.0, 1.0, 1.0}); return PeekReals(r, 3); },
     kTagPoint3D, std::vector<double>{1.0, 1.0, 1.0}},
    {"Point3DOutOnNone", kTagNone,
     [](Arg& a, Rec& r) {
         PokeReals(r, {2.0, 3.0, 4.0});
         const ValuePoint3D& p = Exposed(r, a.Point3DOut());
         return Observed(std::vector<double>{p.x, p.y, p.z});
     },
     kTagPoint3DOut, std::vector<double>{2.0, 3.0, 4.0}},
    {"Point3DBGet", kTagPoint3DB,
     [](Arg& a, Rec& r) {
         PokeReals(r, {-1.0, -2.0, -3.0});
         const ValuePoint3D p = a.GetPoint3DB();
         return Observed(std::vector<double>{p.x, p.y, p.z});
     },
     kTagPoint3DB, std::vector<double>{-1.0, -2.0, -3.0}},
    {"Point3DBSetAlwaysWrites14", kTagPoint3DBOut,
     [](Arg& a, Rec& r) { a.SetPoint3DB({0.5, 1.5, 2.5}); return PeekReals(r, 3); }, kTagPoint3DB,
     std::vector<double>{0.5, 1.5, 2.5}},
    {"Point3DBOutOnNone", kTagNone,
     [](Arg& a, Rec& r) {
         PokeReals(r, {6.0, 7.0, 8.0});
         const ValuePoint3D& p = Exposed(r, a.Point3DBOut());
         return Observed(std::vector<double>{p.x, p.y, p.z});
     },
     kTagPoint3DBOut, std::vector<double>{6.0, 7.0, 8.0}},

    // Boolean
    {"BoolGetTrue", kTagBool, [](Arg& a, Rec& r) { Poke<std::uint8_t>(r, 1); return Int(a.GetBool()); }, kTagBool,
     Int(1)},
    {"BoolGetFalse", kTagBool, [](Arg& a, Rec& r) { Poke<std::uint8_t>(r, 0); return Int(a.GetBool()); }, kTagBool,
     Int(0)},
    {"BoolSetOnNoneWrites16", kTagNone, [](Arg& a, Rec& r) { a.SetBool(true); return Int(Peek<std::uint8_t>(r)); },
     kTagBool, Int(1)},
    {"BoolSetKeeps17", kTagBoolOut, [](Arg& a, Rec& r) { a.SetBool(true); return Int(Peek<std::uint8_t>(r)); },
     kTagBoolOut, Int(1)},
    {"BoolSetKeeps42", kTagBoolKept, [](Arg& a, Rec& r) { a.SetBool(false); return Int(Peek<std::uint8_t>(r)); },
     kTagBoolKept, Int(0)},
    {"BoolSetOverString", kTagString, [](Arg& a, Rec& r) { a.SetBool(false); return Int(Peek<std::uint8_t>(r)); },
     kTagBool, Int(0)},
    {"BoolOutOnNone", kTagNone, [](Arg& a, Rec& r) { Poke<std::uint8_t>(r, 1); return Int(Exposed(r, a.BoolOut())); },
     kTagBoolOut, Int(1)},

    // Text
    {"StringGetTag18", kTagString, [](Arg& a, Rec& r) { r.text = kSeedText; return Text(a.GetString()); },
     kTagString, std::string(kSeedText)},
    {"StringGetTag19", kTagStringOut, [](Arg& a, Rec& r) { r.text = kSeedText; return Text(a.GetString()); },
     kTagStringOut, std::string(kSeedText)},
    {"StringGetTag22", kTagStringB, [](Arg& a, Rec& r) { r.text = kSeedText; return Text(a.GetString()); },
     kTagStringB, std::string(kSeedText)},
    {"StringGetTag23", kTagStringC, [](Arg& a, Rec& r) { r.text = kSeedText; return Text(a.GetString()); },
     kTagStringC, std::string(kSeedText)},
    {"StringFromBoolIsEmpty", kTagBool, [](Arg& a, Rec&) { return Text(a.GetString()); }, kTagBool, std::string()},
    {"StringFromNoneIsEmpty", kTagNone, [](Arg& a, Rec&) { return Text(a.GetString()); }, kTagNone, std::string()},
    {"StringFromKeptTagIsEmpty", kTagStringKept, [](Arg& a, Rec&) { return Text(a.GetString()); }, kTagStringKept,
     std::string()},
    {"StringSetOnNone", kTagNone, [](Arg& a, Rec& r) { a.SetString(kSeedText); return Text(r.text); }, kTagString,
     std::string(kSeedText)},
    {"StringSetKeeps19", kTagStringOut, [](Arg& a, Rec& r) { a.SetString("x"); return Text(r.text); },
     kTagStringOut, std::string("x")},
    {"StringSetKeeps45", kTagStringKept, [](Arg& a, Rec& r) { a.SetString("y"); return Text(r.text); },
     kTagStringKept, std::string("y")},
    {"StringSetOverStringB", kTagStringB, [](Arg& a, Rec& r) { a.SetString("z"); return Text(r.text); }, kTagString,
     std::string("z")},
    {"StringBMarksNone", kTagNone, [](Arg& a, Rec& r) { r.text = kSeedText; return Text(a.MarkAndGetStringB()); },
     kTagStringB, std::string(kSeedText)},
    {"StringBReadsAnyTag", kTagBool, [](Arg& a, Rec& r) { r.text = kSeedText; return Text(a.MarkAndGetStringB()); },
     kTagBool, std::string(kSeedText)},
    {"StringBSetAlwaysWrites22", kTagString, [](Arg& a, Rec& r) { a.SetStringB("b"); return Text(r.text); },
     kTagStringB, std::string("b")},
    {"StringCSetAlwaysWrites23", kTagStringOut, [](Arg& a, Rec& r) { a.SetStringC("c"); return Text(r.text); },
     kTagStringC, std::string("c")},

    // Unsigned 16-bit value
    {"UInt16GetIsUnsigned", kTagUInt16Out,
     [](Arg& a, Rec& r) { Poke<std::uint16_t>(r, 0xFFFE); return Int(a.GetUInt16()); }, kTagUInt16Out, Int(0xFFFE)},
    {"UInt16OutOnNone", kTagNone,
     [](Arg& a, Rec& r) { Poke<std::uint16_t>(r, 40000); return Int(Exposed(r, a.UInt16Out())); }, kTagUInt16Out,
     Int(40000)},

    // 64-bit values
    {"Int64Get", kTagInt64,
     [](Arg& a, Rec& r) { Poke<std::int64_t>(r, -(std::int64_t{1} << 40)); return Int(a.GetInt64()); }, kTagInt64,
     Int(-(std::int64_t{1} << 40))},
    {"Int64SetOnNone", kTagNone,
     [](Arg& a, Rec& r) { a.SetInt64(std::int64_t{1} << 33); return Int(Peek<std::int64_t>(r)); }, kTagInt64,
     Int(std::int64_t{1} << 33)},
    {"Int64SetKeeps26", kTagInt64Out, [](Arg& a, Rec& r) { a.SetInt64(1); return Int(Peek<std::int64_t>(r)); },
     kTagInt64Out, Int(1)},
    {"Int64SetKeeps44", kTagInt64Kept, [](Arg& a, Rec& r) { a.SetInt64(2); return Int(Peek<std::int64_t>(r)); },
     kTagInt64Kept, Int(2)},
    {"Int64SetOverInt64B", kTagInt64B, [](Arg& a, Rec& r) { a.SetInt64(3); return Int(Peek<std::int64_t>(r)); },
     kTagInt64, Int(3)},
    {"Int64OutOnNone", kTagNone,
     [](Arg& a, Rec& r) { Poke<std::int64_t>(r, 44); return Int(Exposed(r, a.Int64Out())); }, kTagInt64Out, Int(44)},
    {"Int64BGet", kTagInt64B, [](Arg& a, Rec& r) { Poke<std::int64_t>(r, 45); return Int(a.GetInt64B()); },
     kTagInt64B, Int(45)},
    {"Int64BGetLeavesNone", kTagNone, [](Arg& a, Rec& r) { Poke<std::int64_t>(r, 46); return Int(a.GetInt64B()); },
     kTagNone, Int(46)},
    {"Int64BMarkOnNone", kTagNone,
     [](Arg& a, Rec& r) { Poke<std::int64_t>(r, 47); return Int(a.MarkAndGetInt64B()); }, kTagInt64B, Int(47)},
    {"Int64BMarkKeepsTag", kTagInt64,
     [](Arg& a, Rec& r) { Poke<std::int64_t>(r, 48); return Int(a.MarkAndGetInt64B()); }, kTagInt64, Int(48)},
    {"Int64BSetAlwaysWrites36", kTagInt64Out,
     [](Arg& a, Rec& r) { a.SetInt64B(49); return Int(Peek<std::int64_t>(r)); }, kTagInt64B, Int(49)},
    {"Int64CMarkOnNone", kTagNone,
     [](Arg& a, Rec& r) { Poke<std::int64_t>(r, 50); return Int(a.MarkAndGetInt64C()); }, kTagInt64C, Int(50)},
    {"Int64CMarkKeepsTag", kTagInt64B,
     [](Arg& a, Rec& r) { Poke<std::int64_t>(r, 51); return Int(a.MarkAndGetInt64C()); }, kTagInt64B, Int(51)},
    {"Int64DGet", kTagInt64D, [](Arg& a, Rec& r) { Poke<std::int64_t>(r, 52); return Int(a.GetInt64D()); },
     kTagInt64D, Int(52)},
    {"Int64DAddressLeavesNone", kTagNone,
     [](Arg& a, Rec& r) { Poke<std::int64_t>(r, 53); return Int(Exposed(r, a.Int64DAddress())); }, kTagNone, Int(53)},
    {"Int64DSetAlwaysWrites38", kTagInt64, [](Arg& a, Rec& r) { a.SetInt64D(54); return Int(Peek<std::int64_t>(r)); },
     kTagInt64D, Int(54)},

    // Array description
    {"ArrayWord", kTagArray,
     [](Arg& a, Rec& r) { Poke<std::uint16_t>(r, 0xBEEF, kArrayWordOffset); return Int(a.GetArrayWord()); },
     kTagArray, Int(0xBEEF)},
    {"ArrayFirstNumber", kTagArray,
     [](Arg& a, Rec& r) { Poke<std::int32_t>(r, -5, kArrayFirstNumberOffset); return Int(a.GetArrayFirstNumber()); },
     kTagArray, Int(-5)},
    {"ArraySecondNumber", kTagArray,
     [](Arg& a, Rec& r) {
         Poke<std::int32_t>(r, 70000, kArraySecondNumberOffset);
         return Int(a.GetArraySecondNumber());
     },
     kTagArray, Int(70000)},
    {"ArrayPointers", kTagArray,
     [](Arg& a, Rec& r) {
         Poke<const void*>(r, &kFirstArray, kArrayFirstPointerOffset);
         Poke<const void*>(r, &kSecondArray, kArraySecondPointerOffset);
         void* second = nullptr;
         const void* first = a.GetArrayPointers(second);
         return Observed(std::vector<const void*>{first, second});
     },
     kTagArray, std::vector<const void*>{&kFirstArray, &kSecondArray}},
    {"ArrayWordOtherTagIsZero", kTagInt16, [](Arg& a, Rec&) { return Int(a.GetArrayWord()); }, kTagInt16, Int(0)},
    {"ArrayFirstNumberOtherTagIsZero", kTagNone, [](Arg& a, Rec&) { return Int(a.GetArrayFirstNumber()); }, kTagNone,
     Int(0)},
    {"ArraySecondNumberOtherTagIsZero", kTagInt32, [](Arg& a, Rec&) { return Int(a.GetArraySecondNumber()); },
     kTagInt32, Int(0)},
    {"ArrayPointersOtherTagAreNull", kTagInt64,
     [](Arg& a, Rec&) {
         void* second = &second;
         const void* first = a.GetArrayPointers(second);
         return Observed(std::vector<const void*>{first, second});
     },
     kTagInt64, std::vector<const void*>{nullptr, nullptr}},
};

class ValueRecordTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetMainPartition(KXMM::Partition::GetPartitionByIdentifier(kMainPartitionIdentifier, true));
        ASSERT_NE(GetMainPartition(), nullptr);
    }
};

class AccessorTest : public ValueRecordTest, public ::testing::WithParamInterface<Row> {};

TEST_P(AccessorTest, LeavesTagAndValue)
{
    const Row& row = GetParam();
    Rec record;
    record.tag = row.initialTag;
    std::memset(record.value, kNoiseByte, sizeof record.value);
    record.text = kNoiseText;
    Arg argument(&record);

    const Observed observed = row.op(argument, record);

    EXPECT_EQ(record.tag, row.expectedTag);
    EXPECT_EQ(observed, row.expected);
}

INSTANTIATE_TEST_SUITE_P(Kinds, AccessorTest, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

TEST_F(ValueRecordTest, LayoutMatchesTheHost)
{
    Rec block[kValueBlockRecords];
    const auto offset = [&](const void* member) {
        return static_cast<std::size_t>(static_cast<const char*>(member) - reinterpret_cast<const char*>(&block[1]));
    };
    EXPECT_EQ(sizeof block, kValueBlockRecords * kValueRecordSize);
    EXPECT_EQ(offset(&block[1].tag), 0u);
    EXPECT_EQ(offset(&block[1].value), kValueOffset);
    EXPECT_EQ(offset(&block[1].text), kTextOffset);
    EXPECT_EQ(block[1].tag, kTagNone);
    EXPECT_TRUE(block[1].text.IsEmpty());
}

TEST_F(ValueRecordTest, ArgumentWithoutRecordGivesEmptyTextAndNoArray)
{
    const Arg none;
    EXPECT_EQ(none.GetRecord(), nullptr);
    EXPECT_TRUE(none.GetString().IsEmpty());
    EXPECT_EQ(none.GetArrayWord(), 0);
    EXPECT_EQ(none.GetArrayFirstNumber(), 0);
    EXPECT_EQ(none.GetArraySecondNumber(), 0);
    void* second = &second;
    EXPECT_EQ(none.GetArrayPointers(second), nullptr);
    EXPECT_EQ(second, nullptr);
}

TEST_F(ValueRecordTest, OutputAddressCarriesWritesToTheRecord)
{
    // What a routine writes through an output accessor is what the host reads.
    Rec record;
    Arg argument(&record);
    *argument.RealOut() = 2.75;
    argument.Point2DOut()->y = -1.0;
    EXPECT_EQ(record.tag, kTagRealOut);
    EXPECT_EQ(Peek<double>(record), 2.75);
    EXPECT_EQ(Peek<double>(record, sizeof(double)), -1.0);
}

TEST_F(ValueRecordTest, OwnTableUsesItsOwnRecords)
{
    KXPluginLibraryArgTable table;
    Rec* block = table.GetValueBlock();
    ASSERT_NE(block, nullptr);
    for (std::size_t k = 0; k < kArgumentCount; ++k) {
        EXPECT_EQ(table.GetArgument(k).GetRecord(), block + k) << "argument " << k;
        EXPECT_EQ(block[k].tag, kTagNone) << "record " << k;
    }
    EXPECT_EQ(table.GetResult().GetRecord(), block + kResultRecord);
    EXPECT_EQ(block[kResultRecord].tag, kTagNone);

    table.GetResult().SetString("a result longer than the inline text");
    EXPECT_EQ(block[kResultRecord].tag, kTagString);
}

TEST_F(ValueRecordTest, HostBlockIsUsedAndLeftIntact)
{
    Rec host[kValueBlockRecords];
    Poke<std::int16_t>(host[3], -9);
    host[3].tag = kTagInt16;
    {
        KXPluginLibraryArgTable table(host);
        EXPECT_EQ(table.GetValueBlock(), host);
        for (std::size_t k = 0; k < kArgumentCount; ++k)
            EXPECT_EQ(table.GetArgument(k).GetRecord(), &host[k]) << "argument " << k;
        EXPECT_EQ(table.GetResult().GetRecord(), &host[kResultRecord]);
        EXPECT_EQ(table.GetArgument(3).GetInt32(), -9);
        table.GetResult().SetString("a result longer than the inline text");
    }
    // The table is gone; the host still owns and reads its result.
    EXPECT_EQ(host[kResultRecord].tag, kTagString);
    EXPECT_EQ(host[kResultRecord].text.ToStdString(), "a result longer than the inline text");
}

TEST_F(ValueRecordTest, NullHostBlockLeavesArgumentsWithoutRecords)
{
    KXPluginLibraryArgTable table(nullptr);
    EXPECT_EQ(table.GetValueBlock(), nullptr);
    for (std::size_t k = 0; k < kArgumentCount; ++k)
        EXPECT_EQ(table.GetArgument(k).GetRecord(), nullptr) << "argument " << k;
    EXPECT_EQ(table.GetResult().GetRecord(), nullptr);
}

} // namespace
