// Snapshot tests of forms, for every subsystem that has forms.
//
// In a test:
//     auto form = make_form<Tnew_syr>();
//     form->Show();                               // as the program shows it (OnActivate fills it)
//     EXPECT_FORM_SNAPSHOT(*form, "new_syr");     // compares with snapshots/new_syr.png
//
// and in the folder's CMakeLists.txt:
//     zor_snapshot_test(serial_snapshot_tests SOURCES tests/snapshot_test.cpp LIBS zor_serial)
// which builds the test against this helper, keeps the golden images in tests/snapshots/ of
// that folder and runs it offscreen.
//
// The form is rendered offscreen with the pinned look (qt_session.h) and compared with the
// golden PNG with a small tolerance (anti-aliasing may differ by a few levels); texts cut off
// at the real font metrics fail the test too. On a difference the actual image and one with
// the differing pixels marked are written to snapshot-failures/ in the test's working folder.
//
// A changed look is reviewed by regenerating the golden files and committing them with the
// change: ZOR_UPDATE_SNAPSHOTS=1 ctest -R snapshot (writes every golden the tests render).
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/forms/form.h"
#include "platform/forms_qt/qt_session.h"

namespace platform::forms_qt::testing {

// The test program's Qt session (offscreen), made on first use and freed after the last test;
// each call installs its backend and waiter again (a test's reset of the forms' state removes
// them), so call it in the fixture's SetUp.
QtSession& qt_session();

// Pixels may differ by this much per channel, and this share of the pixels (per mille) may
// differ by more.
inline constexpr int snapshot_channel_tolerance = 48;
inline constexpr int snapshot_pixels_per_mille = 2;

::testing::AssertionResult matches_golden(platform::forms::Form& form, const std::string& golden_folder,
                                          const std::string& name);

}  // namespace platform::forms_qt::testing

#define EXPECT_FORM_SNAPSHOT(form, name) \
    EXPECT_TRUE(::platform::forms_qt::testing::matches_golden((form), ZOR_SNAPSHOT_DIR, (name)))
