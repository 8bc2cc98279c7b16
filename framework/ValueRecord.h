/// @file
/// The value record and the argument access of script routines.
///
/// Script routines exchange their arguments and results with the host through
/// a block of twelve value records: records 0 to 10 carry arguments 0 to 10 and
/// record 11 receives the result. A record is a plain 96-byte unit the host
/// lays out itself: a 16-bit tag at offset 0 naming the kind of value held (0
/// for none yet), 32 bytes of value storage at offset 8 for every kind that is
/// not text, and a TXString at offset 40 for the text kinds. Host and plug-in
/// link the same string library, so the TXString inside a record is one object
/// both sides can read, assign and destroy.
///
/// KXPluginLibraryArgument reads and writes one record by the host's tag
/// rules; KXPluginLibraryArgTable hands a routine the eleven arguments and the
/// result over the block of one call.
///
/// Tag rules shared by every accessor of KXPluginLibraryArgument:
/// - Getters read the value storage whatever the tag is, unless their comment
///   names the tags they accept. They never change the tag, except the
///   MarkAndGet ones.
/// - Output accessors (the ...Out ones) hand out the address of the value for
///   the routine to write through: they write their output tag only when the
///   record has no tag yet (0), and keep any other tag.
/// - Setters store the value and write their own tag, unless the record already
///   carries one of the tags the setter keeps; then only the value changes.
/// - Only GetString and the array getters accept an argument without a record.
///   Every other accessor needs one.
#pragma once

#include "strings/TXString.h"

#include <cstddef>
#include <cstdint>

namespace ZEDA::PluginSupport {

/// @name Value tags
/// The tag at the start of a value record. The output forms are written by the
/// output accessors; the "kept" tags are further host kinds sharing a storage,
/// which the setters of that storage leave in place. A routine's row names the
/// tag of each slot (RoutineArgument::type); the host passes arguments and
/// expects the result in those kinds.
/// @{

/// The kind tag at offset 0 of a value record.
using ValueTag = std::uint16_t;
/// No value yet: a fresh record (the output accessors write their own tag over it).
inline constexpr ValueTag kTagNone = 0;
/// A signed 16-bit integer (GetInt16, SetInt16; GetInt32 widens it).
inline constexpr ValueTag kTagInt16 = 1;
/// A 16-bit integer the routine writes (Int16Out).
inline constexpr ValueTag kTagInt16Out = 2;
/// A signed 32-bit integer (GetInt32, SetInt32).
inline constexpr ValueTag kTagInt32 = 3;
/// A 32-bit integer the routine writes (Int32Out).
inline constexpr ValueTag kTagInt32Out = 4;
/// A real: one double (GetReal, SetReal).
inline constexpr ValueTag kTagReal = 5;
/// A real the routine writes (RealOut).
inline constexpr ValueTag kTagRealOut = 6;
/// The second real kind: one double (GetRealB, SetRealB).
inline constexpr ValueTag kTagRealB = 7;
/// The third real kind: one double (GetRealC, SetRealC).
inline constexpr ValueTag kTagRealC = 8;
/// A 2D point: two doubles (GetPoint2D, SetPoint2D).
inline constexpr ValueTag kTagPoint2D = 9;
/// A 2D point the routine writes (Point2DOut).
inline constexpr ValueTag kTagPoint2DOut = 11;
/// A 3D point: three doubles (GetPoint3D, SetPoint3D).
inline constexpr ValueTag kTagPoint3D = 12;
/// A 3D point the routine writes (Point3DOut).
inline constexpr ValueTag kTagPoint3DOut = 13;
/// The second three-double kind (GetPoint3DB, SetPoint3DB).
inline constexpr ValueTag kTagPoint3DB = 14;
/// A value of the second three-double kind the routine writes (Point3DBOut).
inline constexpr ValueTag kTagPoint3DBOut = 15;
/// A boolean: one byte, 0 for false and anything else for true (GetBool, SetBool).
inline constexpr ValueTag kTagBool = 16;
/// A boolean the routine writes (BoolOut).
inline constexpr ValueTag kTagBoolOut = 17;
/// A text, in the record's TXString (GetString, SetString).
inline constexpr ValueTag kTagString = 18;
/// A text the routine writes (GetString reads it; SetString keeps this tag).
inline constexpr ValueTag kTagStringOut = 19;
/// An unsigned 16-bit value the routine writes (UInt16Out).
inline constexpr ValueTag kTagUInt16Out = 21;
/// The second text kind (MarkAndGetStringB, SetStringB).
inline constexpr ValueTag kTagStringB = 22;
/// The third text kind (SetStringC).
inline constexpr ValueTag kTagStringC = 23;
/// A signed 64-bit integer (GetInt64, SetInt64).
inline constexpr ValueTag kTagInt64 = 25;
/// A 64-bit integer the routine writes (Int64Out).
inline constexpr ValueTag kTagInt64Out = 26;
/// The second 64-bit kind (GetInt64B, MarkAndGetInt64B, SetInt64B).
inline constexpr ValueTag kTagInt64B = 36;
/// The third 64-bit kind (MarkAndGetInt64C).
inline constexpr ValueTag kTagInt64C = 37;
/// The fourth 64-bit kind (GetInt64D, SetInt64D).
inline constexpr ValueTag kTagInt64D = 38;
/// A host kind stored as a 16-bit integer; SetInt16 keeps it.
inline constexpr ValueTag kTagInt16Kept = 40;
/// A host kind stored as a 32-bit integer; SetInt32 keeps it.
inline constexpr ValueTag kTagInt32Kept = 41;
/// A host kind stored as a boolean; SetBool keeps it.
inline constexpr ValueTag kTagBoolKept = 42;
/// A host kind stored as a real; SetReal keeps it.
inline constexpr ValueTag kTagRealKept = 43;
/// A host kind stored as a 64-bit integer; SetInt64 keeps it.
inline constexpr ValueTag kTagInt64Kept = 44;
/// A host kind stored as a text; SetString keeps it (GetString does not read it).
inline constexpr ValueTag kTagStringKept = 45;
/// A host kind stored as a 2D point; SetPoint2D keeps it.
inline constexpr ValueTag kTagPoint2DKept = 47;
/// An array description: a word, two numbers and two pointers of the host's,
/// which the plug-in only passes on (the array getters).
inline constexpr ValueTag kTagArray = 49;

/// Whether `tag` is one of the tags above (kTagNone included); a routine
/// table that declares another has a fault the host cannot pass values for.
constexpr bool IsKnownTag(ValueTag tag)
{
    constexpr ValueTag kKnown[] = {kTagNone,       kTagInt16,      kTagInt16Out,   kTagInt32,       kTagInt32Out,
                                   kTagReal,       kTagRealOut,    kTagRealB,      kTagRealC,       kTagPoint2D,
                                   kTagPoint2DOut, kTagPoint3D,    kTagPoint3DOut, kTagPoint3DB,    kTagPoint3DBOut,
                                   kTagBool,       kTagBoolOut,    kTagString,     kTagStringOut,   kTagUInt16Out,
                                   kTagStringB,    kTagStringC,    kTagInt64,      kTagInt64Out,    kTagInt64B,
                                   kTagInt64C,     kTagInt64D,     kTagInt16Kept,  kTagInt32Kept,   kTagBoolKept,
                                   kTagRealKept,   kTagInt64Kept,  kTagStringKept, kTagPoint2DKept, kTagArray};
    for (const ValueTag known : kKnown)
        if (tag == known)
            return true;
    return false;
}
/// @}

/// @name Record layout
/// Fixed by the host: a record is read at these offsets on both sides.
/// @{

/// The bytes of one record.
inline constexpr std::size_t kValueRecordSize = 96;
/// The offset of the value storage.
inline constexpr std::size_t kValueOffset = 8;
/// The bytes of the value storage.
inline constexpr std::size_t kValueStorageSize = 32;
/// The offset of the record's TXString.
inline constexpr std::size_t kTextOffset = 40;
/// Records in the block of one call: the arguments, then the result.
inline constexpr std::size_t kValueBlockRecords = 12;
/// Argument records: records 0 to 10 carry arguments 0 to 10.
inline constexpr std::size_t kArgumentCount = 11;
/// The record that receives the result.
inline constexpr std::size_t kResultRecord = 11;
/// @}

/// @name Array description (tag 49)
/// Byte offsets inside the value storage (record offsets 8, 12, 16, 24, 32).
/// @{

/// The unsigned 16-bit word (record offset 8).
inline constexpr std::size_t kArrayWordOffset = 0;
/// The first 32-bit number (record offset 12).
inline constexpr std::size_t kArrayFirstNumberOffset = 4;
/// The second 32-bit number (record offset 16).
inline constexpr std::size_t kArraySecondNumberOffset = 8;
/// The first pointer (record offset 24).
inline constexpr std::size_t kArrayFirstPointerOffset = 16;
/// The second pointer (record offset 32).
inline constexpr std::size_t kArraySecondPointerOffset = 24;
/// @}

/// Two doubles as the 2D point kind stores them (x at offset 8, y at 16).
struct ValuePoint2D {
    double x = 0; ///< the first coordinate
    double y = 0; ///< the second coordinate
};

/// Three doubles as the 3D kinds store them (x, y, z from offset 8).
struct ValuePoint3D {
    double x = 0; ///< the first coordinate
    double y = 0; ///< the second coordinate
    double z = 0; ///< the third coordinate
};

/// One value record. A default-constructed record has tag 0, zeroed storage
/// and an empty text (which allocates nothing). Records are owned by whoever
/// made the block: the host for the block of a call, an argument table for
/// its own records.
struct ValueRecord {
    /// The kind of value held (a kTag constant); kTagNone for none yet.
    ValueTag tag = kTagNone;
    /// Unused by either side; spells out the gap before the 8-aligned storage.
    std::uint8_t reserved[kValueOffset - sizeof(ValueTag)] = {};
    /// The value of every kind that is not text. Accessed only by copying bytes
    /// in and out, so any kind may be read after any other was written.
    alignas(8) std::byte value[kValueStorageSize] = {};
    /// The value of the text kinds (18, 19, 22, 23, 45).
    TXString text;
};

static_assert(sizeof(ValueRecord) == kValueRecordSize, "the host's value record is 96 bytes");
static_assert(sizeof(ValuePoint3D) <= kValueStorageSize);
static_assert(kArraySecondPointerOffset + sizeof(void*) <= kValueStorageSize,
              "both array pointers must fit the value storage");
// TXString has a virtual destructor, so ValueRecord is not standard-layout and
// offsetof on it is only conditionally supported. GCC, Clang and MSVC all give
// the plain member offset for a type without virtual bases, which is exactly
// what the host relies on, so the warning is silenced for these two checks.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
#endif
static_assert(offsetof(ValueRecord, value) == kValueOffset, "the value storage starts at offset 8");
static_assert(offsetof(ValueRecord, text) == kTextOffset, "the record's TXString starts at offset 40");
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

/// Access to one value record by the host's tag rules (see the top of this
/// file). The argument refers to a record it does not own; the record must
/// outlive every access. Copies refer to the same record.
class KXPluginLibraryArgument {
public:
    /// Refers to `target`; null means no record, which only GetString and the
    /// array getters accept.
    explicit KXPluginLibraryArgument(ValueRecord* target = nullptr) noexcept : record(target) {}
    /// Refers to the same record as the source.
    KXPluginLibraryArgument(const KXPluginLibraryArgument&) = default;
    /// Refers to the same record as the source from now on; no record's
    /// value changes.
    KXPluginLibraryArgument& operator=(const KXPluginLibraryArgument&) = default;
    /// Leaves the record alone.
    virtual ~KXPluginLibraryArgument();

    /// The record referred to, or null.
    ValueRecord* GetRecord() const noexcept { return record; }
    /// Refers to another record (null for none).
    void SetRecord(ValueRecord* other) noexcept { record = other; }

    /// @name 16-bit integer (tag 1)
    /// @{

    /// The 16-bit value at offset 8, whatever the tag.
    std::int16_t GetInt16() const noexcept;
    /// Writes tag 2 when the record has none; the address of the 16-bit value.
    std::int16_t* Int16Out() noexcept;
    /// Stores the value; writes tag 1 unless the tag is 2 or 40.
    void SetInt16(std::int16_t value) noexcept;
    /// @}

    /// @name 32-bit integer (tag 3)
    /// @{

    /// Tag 3: the 32-bit value. Tag 1: the 16-bit value, sign-extended. Any
    /// other tag, output forms included: 0.
    std::int32_t GetInt32() const noexcept;
    /// Writes tag 4 when the record has none; the address of the 32-bit value.
    std::int32_t* Int32Out() noexcept;
    /// Stores the value; writes tag 3 unless the tag is 4 or 41.
    void SetInt32(std::int32_t value) noexcept;
    /// @}

    /// @name Real (tag 5) and the second and third real kinds (tags 7, 8)
    /// All three store one double at offset 8.
    /// @{

    /// The double, whatever the tag.
    double GetReal() const noexcept;
    /// Writes tag 6 when the record has none; the address of the double.
    double* RealOut() noexcept;
    /// Stores the value; writes tag 5 unless the tag is 6 or 43.
    void SetReal(double value) noexcept;
    /// The double, whatever the tag.
    double GetRealB() const noexcept;
    /// Stores the value and always writes tag 7.
    void SetRealB(double value) noexcept;
    /// The double, whatever the tag.
    double GetRealC() const noexcept;
    /// Stores the value and always writes tag 8.
    void SetRealC(double value) noexcept;
    /// @}

    /// @name 2D point (tag 9)
    /// @{

    /// Both coordinates, whatever the tag.
    ValuePoint2D GetPoint2D() const noexcept;
    /// Writes tag 11 when the record has none; the address of the point.
    ValuePoint2D* Point2DOut() noexcept;
    /// Stores both coordinates; writes tag 9 unless the tag is 11 or 47.
    void SetPoint2D(const ValuePoint2D& value) noexcept;
    /// @}

    /// @name 3D point (tag 12) and the second three-double kind (tag 14)
    /// @{

    /// All three coordinates, whatever the tag.
    ValuePoint3D GetPoint3D() const noexcept;
    /// Writes tag 13 when the record has none; the address of the point.
    ValuePoint3D* Point3DOut() noexcept;
    /// Stores the coordinates; writes tag 12 unless the tag is 13.
    void SetPoint3D(const ValuePoint3D& value) noexcept;
    /// All three coordinates, whatever the tag.
    ValuePoint3D GetPoint3DB() const noexcept;
    /// Writes tag 15 when the record has none; the address of the triple.
    ValuePoint3D* Point3DBOut() noexcept;
    /// Stores the coordinates and always writes tag 14.
    void SetPoint3DB(const ValuePoint3D& value) noexcept;
    /// @}

    /// @name Boolean (tag 16): one byte at offset 8
    /// @{

    /// True when the byte is not 0, whatever the tag.
    bool GetBool() const noexcept;
    /// Writes tag 17 when the record has none; the address of the byte, which
    /// holds 0 or 1 from then on.
    bool* BoolOut() noexcept;
    /// Stores 1 or 0; writes tag 16 unless the tag is 17 or 42.
    void SetBool(bool value) noexcept;
    /// @}

    /// @name Text (tags 18, 22, 23): the record's TXString
    /// @{

    /// A copy of the text when the tag is 18, 19, 22 or 23; the empty text for
    /// any other tag and when the argument has no record. Throws what copying a
    /// TXString throws (std::bad_alloc).
    TXString GetString() const;
    /// Assigns the text; writes tag 18 unless the tag is 19 or 45. Throws what
    /// assigning a TXString throws; the tag is unchanged then.
    void SetString(const TXString& value);
    /// Writes tag 22 when the record has none, then returns a copy of the text
    /// whatever the tag.
    TXString MarkAndGetStringB();
    /// Assigns the text and always writes tag 22 (not on failure).
    void SetStringB(const TXString& value);
    /// Assigns the text and always writes tag 23 (not on failure).
    void SetStringC(const TXString& value);
    /// @}

    /// @name Unsigned 16-bit value (written by the callee only)
    /// @{

    /// The unsigned 16-bit value at offset 8, whatever the tag.
    std::uint16_t GetUInt16() const noexcept;
    /// Writes tag 21 when the record has none; the address of the value.
    std::uint16_t* UInt16Out() noexcept;
    /// @}

    /// @name 64-bit values (tags 25, 36, 37, 38): 8 bytes at offset 8
    /// @{

    /// The value, whatever the tag.
    std::int64_t GetInt64() const noexcept;
    /// Writes tag 26 when the record has none; the address of the value.
    std::int64_t* Int64Out() noexcept;
    /// Stores the value; writes tag 25 unless the tag is 26 or 44.
    void SetInt64(std::int64_t value) noexcept;
    /// The value, whatever the tag; the tag is left alone.
    std::int64_t GetInt64B() const noexcept;
    /// Writes tag 36 when the record has none, then reads the value.
    std::int64_t MarkAndGetInt64B() noexcept;
    /// Stores the value and always writes tag 36.
    void SetInt64B(std::int64_t value) noexcept;
    /// Writes tag 37 when the record has none, then reads the value.
    std::int64_t MarkAndGetInt64C() noexcept;
    /// The value, whatever the tag.
    std::int64_t GetInt64D() const noexcept;
    /// The address of the value; the tag is left alone.
    std::int64_t* Int64DAddress() noexcept;
    /// Stores the value and always writes tag 38.
    void SetInt64D(std::int64_t value) noexcept;
    /// @}

    /// @name Array description (tag 49)
    /// Each getter yields 0 or null when the argument has no record or the
    /// tag is not 49. What the numbers and pointers describe is the host's
    /// business; the plug-in only passes them on.
    /// @{

    /// The unsigned 16-bit word at offset 8.
    std::uint16_t GetArrayWord() const noexcept;
    /// The 32-bit number at offset 12.
    std::int32_t GetArrayFirstNumber() const noexcept;
    /// The 32-bit number at offset 16.
    std::int32_t GetArraySecondNumber() const noexcept;
    /// The pointer at offset 24; stores the pointer at offset 32 in `second`
    /// (null together with the result when there is no array description).
    void* GetArrayPointers(void*& second) const noexcept;
    /// @}

private:
    ValueRecord* record;
};

/// The arguments and the result of one routine call.
///
/// Built either over its own twelve records (tags 0, empty texts) or over the
/// host's block of one call. Argument k refers to record k of the block in
/// use, the result to record 11. The table owns only its own records: their
/// texts die with it, and a host block is never touched by its destruction.
/// Not copyable: the arguments point into the table's own records.
class KXPluginLibraryArgTable {
public:
    /// Uses the table's own records.
    KXPluginLibraryArgTable() noexcept;
    /// Uses the host's block of twelve records; `block` may be null, and then
    /// every argument and the result refer to no record and must not be used
    /// (GetValueBlock tells). The block must outlive the table.
    explicit KXPluginLibraryArgTable(ValueRecord* block) noexcept;
    KXPluginLibraryArgTable(const KXPluginLibraryArgTable&) = delete;
    KXPluginLibraryArgTable& operator=(const KXPluginLibraryArgTable&) = delete;
    /// Destroys the own records (their texts); a host block is left as it is.
    virtual ~KXPluginLibraryArgTable();

    /// Argument `index` (0 to 10; not checked, other values are undefined).
    KXPluginLibraryArgument& GetArgument(std::size_t index) noexcept { return arguments[index]; }
    /// The result argument (record 11).
    KXPluginLibraryArgument& GetResult() noexcept { return result; }
    /// The block in use: the own records, the host's block, or null when the
    /// host passed none.
    ValueRecord* GetValueBlock() const noexcept { return valueBlock; }

private:
    /// Points the arguments and the result at the records of `block`.
    void ReferTo(ValueRecord* block) noexcept;

    ValueRecord ownRecords[kValueBlockRecords];
    ValueRecord* valueBlock;
    KXPluginLibraryArgument arguments[kArgumentCount];
    KXPluginLibraryArgument result;
};

} // namespace ZEDA::PluginSupport
