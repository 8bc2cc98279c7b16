// The host query every dialog value object makes as it is built.
#include "dialogs/CDQBaseDataContainer.h"

#include "framework/HostInterfaces.h"
#include "framework/ModuleState.h"

namespace {

std::int16_t QueryDialogData() noexcept
{
    Calvera::Extension::IHostApplication* const application = ZEDA::PluginSupport::Module().application;
    if (application == nullptr)
        return 0;
    std::int16_t answer = 0;
    // A host that does not answer may still have written the output; only
    // an answer counts.
    if (!application->QueryHostValue(Calvera::Extension::kHostValueDialogData, nullptr, &answer))
        return 0;
    return answer;
}

} // namespace

CDQBaseDataContainer::~CDQBaseDataContainer() = default;

CDQBaseDataContainer::CDQBaseDataContainer() noexcept : hostValue(QueryDialogData()) {}

CDQBaseDataContainer::CDQBaseDataContainer(const CDQBaseDataContainer&) noexcept : hostValue(QueryDialogData()) {}
