// Each platform's store for the user's own profile, which the profile
// functions use while no other store is set: QSettings on Linux, the
// registry on Windows.
#pragma once

#include "ProfileStore.h"

IProfileStore& UserProfileStore();
