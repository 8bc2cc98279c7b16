// The reference the pull-down collections take over from their callers.
#include "dialogs/CDQPulldownCollections.h"

CDQCountedPulldownCollection::CDQCountedPulldownCollection(IKXUnknown** reference) noexcept
{
    if (reference == nullptr || *reference == nullptr)
        return;
    object = *reference;
    // Count ours before giving the caller's back, so the count never
    // touches 0 and the host never sees the object as unused.
    object->AddRef();
    (*reference)->Release();
    *reference = nullptr;
}

CDQCountedPulldownCollection::~CDQCountedPulldownCollection()
{
    if (object != nullptr)
        object->Release();
}
