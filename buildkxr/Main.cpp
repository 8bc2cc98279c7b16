// buildkxr: checks the strings files of a resource folder and packs the
// folder into an archive, or links it, as the environment says (see
// BuildDriver.h). Takes no arguments.
#include "buildkxr/BuildDriver.h"

int main()
{
    return BuildKxr::BuildDriver().Run();
}
