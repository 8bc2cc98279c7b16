/// @file
/// The host's numbered entries, reached through stubs.
///
/// Every stub has the one form of HostStub: given the callback block, it asks
/// `resolve` for its entry anew on every call, returns the entry's default
/// when there is no block or no such entry, and otherwise calls the host
/// function with the caller's arguments (plus any fixed trailing ones). A host
/// function may re-enter the module with another callback block; the stub
/// puts back the block that was current before the call, so the module keeps
/// using its own. Nothing is cached and nothing can fail: the caller cannot
/// tell a default from a real result of the same value, and treats it as
/// failure where that matters.
///
/// An entry is declared as one alias:
///
/// @code
/// using Entry855 = HostStub<855, bool(const TXString&, bool, TXString&), false>;
/// bool encrypted = Entry855::Call(Module().callbackBlock, path, true, target);
/// @endcode
#pragma once

#include "framework/HostServices.h"
#include "framework/ModuleState.h"

#include <cstddef>
#include <cstdint>
#include <type_traits>

class TXString;

namespace ZEDA::PluginSupport {

/// The default of a stub whose host function returns nothing.
struct NoResult {};

/// The stub of host entry `Entry`. `Signature` is the caller's view,
/// R(A...); `Default` (converted to R) is what the stub returns without the
/// host; `Trailing` are fixed arguments the stub appends, so the host
/// function's type is R(A..., decltype(Trailing)...).
template <std::int32_t Entry, typename Signature, auto Default, auto... Trailing>
struct HostStub;

/// The form every stub has: HostStub for a caller's signature R(A...). Only
/// static members; never instantiated as an object.
template <std::int32_t Entry, typename R, typename... A, auto Default, auto... Trailing>
struct HostStub<Entry, R(A...), Default, Trailing...> {
    /// The host function's type: the caller's arguments, then the trailing ones.
    using Function = R (*)(A..., decltype(Trailing)...);
    /// The entry number asked of `resolve`.
    static constexpr std::int32_t kEntry = Entry;

    /// Calls the entry with `args` (and the trailing arguments), resolving it
    /// through `block` on every call. Returns `Default` as R, or nothing for
    /// a void R, when `block` or its `resolve` is null or the host offers no
    /// such entry. After the host function returns, puts back the module's
    /// current callback block. Lets through whatever the host function
    /// throws.
    static R Call(HostCallbackBlock* block, A... args)
    {
        const Function function = Resolve(block);
        if (function == nullptr)
            return Fallback();
        ModuleState& module = Module();
        HostCallbackBlock* const saved = module.callbackBlock;
        if constexpr (std::is_void_v<R>) {
            function(static_cast<A>(args)..., Trailing...);
            module.callbackBlock = saved;
        } else {
            R result = function(static_cast<A>(args)..., Trailing...);
            module.callbackBlock = saved;
            return result;
        }
    }

private:
    static Function Resolve(HostCallbackBlock* block)
    {
        if (block == nullptr || block->resolve == nullptr)
            return nullptr;
        return reinterpret_cast<Function>(block->resolve(Entry));
    }

    static R Fallback()
    {
        if constexpr (!std::is_void_v<R>)
            return static_cast<R>(Default);
    }
};

/// @name The entries the module's own code calls
/// @{

/// The host fills the module's service table: (request 499, address of the
/// module version, address of the table pointer), and the stub adds true.
using GetHostServices = HostStub<326, bool(std::int16_t, std::int32_t*, HostServices**), false, true>;
/// Encrypts a script file into a target folder: (path, true, target folder).
using EncryptScriptFile = HostStub<855, bool(const TXString&, bool, TXString&), false>;
/// Host memory: a block of the given size, or null.
using AllocateHostBlock = HostStub<503, void*(std::uint64_t), nullptr>;
/// Gives a block of AllocateHostBlock back to the host.
using ReleaseHostBlock = HostStub<504, void(void*), NoResult{}>;
/// A number conversion of the host: the double at the first pointer in, the
/// result written to the second (left alone without the host).
using ConvertNumber102 = HostStub<102, void(const double*, double*), NoResult{}>;
/// The host's other number conversion, with the same form as entry 102.
using ConvertNumber82 = HostStub<82, void(const double*, double*), NoResult{}>;
/// Entry 1142: tells the host that routine `routineName` ended with an
/// exception whose text is `what` (both NUL-terminated UTF-8). The framework
/// catches what a routine throws and reports it here; a host without the
/// entry hears nothing, as before.
using ReportRoutineFault = HostStub<1142, void(const char*, const char*), NoResult{}>;
/// Entry 1143: tells the host that the value record `record` was read as a
/// value of tag `readAs` while it holds another kind (or none). A routine
/// that reads its arguments as its table declares them never calls it; the
/// framework's getters do when one does not.
using ReportValueMisread = HostStub<1143, void(const void*, std::uint16_t), NoResult{}>;

/// The request number a module passes GetHostServices for the service table.
inline constexpr std::int16_t kHostServicesRequest = 499;
/// @}

/// @name Helpers over those entries
/// @{

/// A block of `size` bytes: from the host while a callback block is current
/// (and the host offers the entry), else from the run-time heap. `fromHost`
/// records which, for ReleaseBlock. Null when neither can supply it.
void* AllocateBlock(std::size_t size, bool& fromHost);
/// Gives a block of AllocateBlock back where it came from; null is ignored.
void ReleaseBlock(void* block, bool fromHost);
/// `value` converted through entry 102; `value` unchanged without the host.
double ConvertThroughEntry102(double value);
/// `value` converted through entry 82; `value` unchanged without the host.
double ConvertThroughEntry82(double value);
/// @}

} // namespace ZEDA::PluginSupport
