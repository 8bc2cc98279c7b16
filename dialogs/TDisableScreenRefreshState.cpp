// The nesting count of the screen-refresh guards and the host calls at its
// outer edges.
#include "dialogs/TDisableScreenRefreshState.h"

#include "framework/HostInterfaces.h"
#include "framework/ModuleState.h"

namespace {

std::uint64_t nestingDepth = 0;

void TellHostScreenRefresh(bool on) noexcept
{
    Calvera::Extension::IHostApplication* const application = ZEDA::PluginSupport::Module().application;
    if (application != nullptr)
        application->SetHostValue(Calvera::Extension::kHostValueScreenRefresh, on);
}

} // namespace

TDisableScreenRefreshState::TDisableScreenRefreshState() noexcept
{
    if (nestingDepth == 0)
        TellHostScreenRefresh(false);
    ++nestingDepth;
}

TDisableScreenRefreshState::~TDisableScreenRefreshState()
{
    if (nestingDepth > 0) {
        --nestingDepth;
        if (nestingDepth > 0)
            return;
    }
    TellHostScreenRefresh(true);
}

std::uint64_t TDisableScreenRefreshState::NestingDepth() noexcept
{
    return nestingDepth;
}
