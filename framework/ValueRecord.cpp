// The accessors of KXPluginLibraryArgument and the construction of
// KXPluginLibraryArgTable (ValueRecord.h).
//
// The value storage is raw bytes that the host reinterprets by tag, and a
// record may be read as a different kind than it was written, so values move
// in and out only through std::memcpy; the output accessors start the life of
// a typed object in the storage before handing out its address.
#include "framework/ValueRecord.h"

#include "framework/HostStubs.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <new>
#include <type_traits>

namespace ZEDA::PluginSupport {

namespace {

template <typename T>
T Load(const ValueRecord& record, std::size_t offset = 0) noexcept
{
    static_assert(std::is_trivially_copyable_v<T>);
    T result;
    std::memcpy(&result, record.value + offset, sizeof(T));
    return result;
}

template <typename T>
void Store(ValueRecord& record, const T& value, std::size_t offset = 0) noexcept
{
    static_assert(std::is_trivially_copyable_v<T>);
    std::memcpy(record.value + offset, &value, sizeof(T));
}

/// Begins the life of a T at the start of the storage, holding the value the
/// bytes already hold, so that the caller may read and write through the
/// pointer without breaking the aliasing rules.
template <typename T>
T* Expose(ValueRecord& record) noexcept
{
    const T current = Load<T>(record);
    return ::new (static_cast<void*>(record.value)) T(current);
}

/// The tag a setter leaves: the current one when it is among `kept`, else
/// its own.
void WriteTag(ValueRecord& record, ValueTag own, std::initializer_list<ValueTag> kept) noexcept
{
    if (std::find(kept.begin(), kept.end(), record.tag) == kept.end())
        record.tag = own;
}

void MarkIfNone(ValueRecord& record, ValueTag tag) noexcept
{
    if (record.tag == kTagNone)
        record.tag = tag;
}

template <typename T>
T* Out(ValueRecord& record, ValueTag outTag) noexcept
{
    MarkIfNone(record, outTag);
    return Expose<T>(record);
}

// The byte is read as an integer: a host may leave any value in it, and only
// 0 and 1 are valid object representations of bool.
bool LoadBool(const ValueRecord& record) noexcept
{
    return Load<std::uint8_t>(record) != 0;
}

/// Reading `record` as a value of tag `readAs` when it holds none of the
/// tags in `holds` is told to the host (ReportValueMisread); the value read
/// is whatever the getter reads all the same.
void CheckRead(const ValueRecord& record, ValueTag readAs, std::initializer_list<ValueTag> holds) noexcept
{
    if (std::find(holds.begin(), holds.end(), record.tag) == holds.end())
        ReportValueMisread::Call(Module().callbackBlock, &record, readAs);
}

bool IsArray(const ValueRecord* record) noexcept
{
    return record != nullptr && record->tag == kTagArray;
}

} // namespace

// Out of line so that the class has one home for its virtual table.
KXPluginLibraryArgument::~KXPluginLibraryArgument() = default;

// 16-bit integer

std::int16_t KXPluginLibraryArgument::GetInt16() const noexcept
{
    CheckRead(*record, kTagInt16, {kTagInt16, kTagInt16Out, kTagInt16Kept});
    return Load<std::int16_t>(*record);
}

std::int16_t* KXPluginLibraryArgument::Int16Out() noexcept
{
    return Out<std::int16_t>(*record, kTagInt16Out);
}

void KXPluginLibraryArgument::SetInt16(std::int16_t value) noexcept
{
    Store(*record, value);
    WriteTag(*record, kTagInt16, {kTagInt16Out, kTagInt16Kept});
}

// 32-bit integer

std::int32_t KXPluginLibraryArgument::GetInt32() const noexcept
{
    CheckRead(*record, kTagInt32, {kTagInt32, kTagInt16, kTagInt32Out, kTagInt32Kept});
    switch (record->tag) {
    case kTagInt32:
        return Load<std::int32_t>(*record);
    case kTagInt16:
        return Load<std::int16_t>(*record);
    default:
        return 0;
    }
}

std::int32_t* KXPluginLibraryArgument::Int32Out() noexcept
{
    return Out<std::int32_t>(*record, kTagInt32Out);
}

void KXPluginLibraryArgument::SetInt32(std::int32_t value) noexcept
{
    Store(*record, value);
    WriteTag(*record, kTagInt32, {kTagInt32Out, kTagInt32Kept});
}

// Reals

double KXPluginLibraryArgument::GetReal() const noexcept
{
    CheckRead(*record, kTagReal, {kTagReal, kTagRealOut, kTagRealB, kTagRealC, kTagRealKept});
    return Load<double>(*record);
}

double* KXPluginLibraryArgument::RealOut() noexcept
{
    return Out<double>(*record, kTagRealOut);
}

void KXPluginLibraryArgument::SetReal(double value) noexcept
{
    Store(*record, value);
    WriteTag(*record, kTagReal, {kTagRealOut, kTagRealKept});
}

double KXPluginLibraryArgument::GetRealB() const noexcept
{
    return Load<double>(*record);
}

void KXPluginLibraryArgument::SetRealB(double value) noexcept
{
    Store(*record, value);
    record->tag = kTagRealB;
}

double KXPluginLibraryArgument::GetRealC() const noexcept
{
    return Load<double>(*record);
}

void KXPluginLibraryArgument::SetRealC(double value) noexcept
{
    Store(*record, value);
    record->tag = kTagRealC;
}

// Points

ValuePoint2D KXPluginLibraryArgument::GetPoint2D() const noexcept
{
    return Load<ValuePoint2D>(*record);
}

ValuePoint2D* KXPluginLibraryArgument::Point2DOut() noexcept
{
    return Out<ValuePoint2D>(*record, kTagPoint2DOut);
}

void KXPluginLibraryArgument::SetPoint2D(const ValuePoint2D& value) noexcept
{
    Store(*record, value);
    WriteTag(*record, kTagPoint2D, {kTagPoint2DOut, kTagPoint2DKept});
}

ValuePoint3D KXPluginLibraryArgument::GetPoint3D() const noexcept
{
    return Load<ValuePoint3D>(*record);
}

ValuePoint3D* KXPluginLibraryArgument::Point3DOut() noexcept
{
    return Out<ValuePoint3D>(*record, kTagPoint3DOut);
}

void KXPluginLibraryArgument::SetPoint3D(const ValuePoint3D& value) noexcept
{
    Store(*record, value);
    WriteTag(*record, kTagPoint3D, {kTagPoint3DOut});
}

ValuePoint3D KXPluginLibraryArgument::GetPoint3DB() const noexcept
{
    return Load<ValuePoint3D>(*record);
}

ValuePoint3D* KXPluginLibraryArgument::Point3DBOut() noexcept
{
    return Out<ValuePoint3D>(*record, kTagPoint3DBOut);
}

void KXPluginLibraryArgument::SetPoint3DB(const ValuePoint3D& value) noexcept
{
    Store(*record, value);
    record->tag = kTagPoint3DB;
}

// Boolean

bool KXPluginLibraryArgument::GetBool() const noexcept
{
    CheckRead(*record, kTagBool, {kTagBool, kTagBoolOut, kTagBoolKept});
    return LoadBool(*record);
}

bool* KXPluginLibraryArgument::BoolOut() noexcept
{
    MarkIfNone(*record, kTagBoolOut);
    // Normalised to 0 or 1 first, so that the bool living there from now on
    // has a valid value.
    const bool current = LoadBool(*record);
    return ::new (static_cast<void*>(record->value)) bool(current);
}

void KXPluginLibraryArgument::SetBool(bool value) noexcept
{
    Store(*record, static_cast<std::uint8_t>(value ? 1 : 0));
    WriteTag(*record, kTagBool, {kTagBoolOut, kTagBoolKept});
}

// Text

TXString KXPluginLibraryArgument::GetString() const
{
    if (record == nullptr)
        return {};
    CheckRead(*record, kTagString, {kTagString, kTagStringOut, kTagStringB, kTagStringC, kTagStringKept});
    switch (record->tag) {
    case kTagString:
    case kTagStringOut:
    case kTagStringB:
    case kTagStringC:
        return record->text;
    default:
        return {};
    }
}

void KXPluginLibraryArgument::SetString(const TXString& value)
{
    record->text = value;
    WriteTag(*record, kTagString, {kTagStringOut, kTagStringKept});
}

TXString KXPluginLibraryArgument::MarkAndGetStringB()
{
    MarkIfNone(*record, kTagStringB);
    return record->text;
}

void KXPluginLibraryArgument::SetStringB(const TXString& value)
{
    record->text = value;
    record->tag = kTagStringB;
}

void KXPluginLibraryArgument::SetStringC(const TXString& value)
{
    record->text = value;
    record->tag = kTagStringC;
}

// Unsigned 16-bit value

std::uint16_t KXPluginLibraryArgument::GetUInt16() const noexcept
{
    return Load<std::uint16_t>(*record);
}

std::uint16_t* KXPluginLibraryArgument::UInt16Out() noexcept
{
    return Out<std::uint16_t>(*record, kTagUInt16Out);
}

// 64-bit values

std::int64_t KXPluginLibraryArgument::GetInt64() const noexcept
{
    CheckRead(*record, kTagInt64,
              {kTagInt64, kTagInt64Out, kTagInt64Kept, kTagInt64B, kTagInt64C, kTagInt64D});
    return Load<std::int64_t>(*record);
}

std::int64_t* KXPluginLibraryArgument::Int64Out() noexcept
{
    return Out<std::int64_t>(*record, kTagInt64Out);
}

void KXPluginLibraryArgument::SetInt64(std::int64_t value) noexcept
{
    Store(*record, value);
    WriteTag(*record, kTagInt64, {kTagInt64Out, kTagInt64Kept});
}

std::int64_t KXPluginLibraryArgument::GetInt64B() const noexcept
{
    return Load<std::int64_t>(*record);
}

std::int64_t KXPluginLibraryArgument::MarkAndGetInt64B() noexcept
{
    MarkIfNone(*record, kTagInt64B);
    return Load<std::int64_t>(*record);
}

void KXPluginLibraryArgument::SetInt64B(std::int64_t value) noexcept
{
    Store(*record, value);
    record->tag = kTagInt64B;
}

std::int64_t KXPluginLibraryArgument::MarkAndGetInt64C() noexcept
{
    MarkIfNone(*record, kTagInt64C);
    return Load<std::int64_t>(*record);
}

std::int64_t KXPluginLibraryArgument::GetInt64D() const noexcept
{
    return Load<std::int64_t>(*record);
}

std::int64_t* KXPluginLibraryArgument::Int64DAddress() noexcept
{
    return Expose<std::int64_t>(*record);
}

void KXPluginLibraryArgument::SetInt64D(std::int64_t value) noexcept
{
    Store(*record, value);
    record->tag = kTagInt64D;
}

// Array description

std::uint16_t KXPluginLibraryArgument::GetArrayWord() const noexcept
{
    return IsArray(record) ? Load<std::uint16_t>(*record, kArrayWordOffset) : 0;
}

std::int32_t KXPluginLibraryArgument::GetArrayFirstNumber() const noexcept
{
    return IsArray(record) ? Load<std::int32_t>(*record, kArrayFirstNumberOffset) : 0;
}

std::int32_t KXPluginLibraryArgument::GetArraySecondNumber() const noexcept
{
    return IsArray(record) ? Load<std::int32_t>(*record, kArraySecondNumberOffset) : 0;
}

void* KXPluginLibraryArgument::GetArrayPointers(void*& second) const noexcept
{
    if (!IsArray(record)) {
        second = nullptr;
        return nullptr;
    }
    second = Load<void*>(*record, kArraySecondPointerOffset);
    return Load<void*>(*record, kArrayFirstPointerOffset);
}

// Argument table

// The own records are constructed before valueBlock (declaration order), so
// their address is taken only once they exist.
KXPluginLibraryArgTable::KXPluginLibraryArgTable() noexcept : valueBlock(ownRecords)
{
    ReferTo(ownRecords);
}

KXPluginLibraryArgTable::KXPluginLibraryArgTable(ValueRecord* block) noexcept : valueBlock(block)
{
    // Without a block the arguments refer to no record at all rather than to
    // addresses computed from null, so that a stray use fails plainly.
    if (block != nullptr)
        ReferTo(block);
}

KXPluginLibraryArgTable::~KXPluginLibraryArgTable() = default;

void KXPluginLibraryArgTable::ReferTo(ValueRecord* block) noexcept
{
    for (std::size_t k = 0; k < kArgumentCount; ++k)
        arguments[k].SetRecord(block + k);
    result.SetRecord(block + kResultRecord);
}

} // namespace ZEDA::PluginSupport
