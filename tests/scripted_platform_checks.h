// GoogleTest checks over the scripted platform's counts. Kept apart from the platform itself,
// which the fuzzer uses without GoogleTest.
#pragma once

#include <gtest/gtest.h>

#include "scripted_device_platform.h"

namespace kelto::testing {

// What must hold after every refresh, however it ended: the setup library references back at
// AReferencesBefore, every opened set destroyed, no module held and none released twice.
inline void ExpectNothingHeld(const TScriptedDevicePlatform& APlatform, int AReferencesBefore = 0) {
  EXPECT_EQ(APlatform.SetupLibraryReferences, AReferencesBefore);
  EXPECT_EQ(APlatform.SetsDestroyed, APlatform.SetsOpened);
  EXPECT_EQ(APlatform.ModulesHeld, 0);
  EXPECT_EQ(APlatform.ReleasesOfUnloadedModules, 0);
}

}  // namespace kelto::testing
